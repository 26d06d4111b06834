// Windows: fxaa.dll as Shotcut and Kdenlive load it. It describes the filter and its five
// controls, renders, and is unloaded completely each time, so a second load renders the same
// frames afresh. FXAA_FREI0R_DUMP names a file for the frames, which the Linux build compares
// with its own module's.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/windows/frei0r_cases.h"

extern "C" {
#include <frei0r.h>
}

namespace {

template <typename F>
F* Proc(HMODULE dll, const char* name) {
  return reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

TEST(Frei0rDll, DescribesTheFilterAndTheEffectsFiveControls) {
  HMODULE dll = LoadLibraryA(FXAA_FREI0R_DLL);
  ASSERT_NE(dll, nullptr) << "cannot load " << FXAA_FREI0R_DLL;
  EXPECT_EQ(GetModuleHandleA(FXAA_FREI0R_DLL), dll);  // the lookup the second test relies on
  auto init = Proc<decltype(f0r_init)>(dll, "f0r_init");
  auto deinit = Proc<decltype(f0r_deinit)>(dll, "f0r_deinit");
  auto pluginInfo = Proc<decltype(f0r_get_plugin_info)>(dll, "f0r_get_plugin_info");
  auto paramInfo = Proc<decltype(f0r_get_param_info)>(dll, "f0r_get_param_info");
  ASSERT_TRUE(init && deinit && pluginInfo && paramInfo);

  ASSERT_EQ(init(), 1);
  f0r_plugin_info_t info = {};
  pluginInfo(&info);
  EXPECT_STREQ(info.name, "FXAA");
  EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
  std::vector<std::string> names;
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t param = {};
    paramInfo(&param, i);
    EXPECT_EQ(param.type, F0R_PARAM_DOUBLE);
    names.push_back(param.name ? param.name : "");
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Source", "Strength", "FXAA Span",
                                             "FXAA Reduce Multiplier", "FXAA Reduce Minimum"}));
  deinit();
  FreeLibrary(dll);
}

TEST(Frei0rDll, RendersTheSameFramesEachTimeItIsLoaded) {
  wintest::Frei0rFrames first, second;
  std::string error;
  ASSERT_TRUE(wintest::RenderThroughFrei0r(FXAA_FREI0R_DLL, &first, &error)) << error;
  // Unloaded for good: no thread of an instance, nor anything else, holds it loaded.
  EXPECT_EQ(GetModuleHandleA(FXAA_FREI0R_DLL), nullptr);
  ASSERT_TRUE(wintest::RenderThroughFrei0r(FXAA_FREI0R_DLL, &second, &error)) << error;
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(first, second);
  // A frame that failed would be passed on unchanged.
  EXPECT_GT(wintest::LargestByteDifference(first[1], first[0]), 8);
  EXPECT_NE(first[2], first[1]);

  if (const char* dump = std::getenv("FXAA_FREI0R_DUMP")) {
    EXPECT_TRUE(wintest::WriteFrei0rFrames(dump, first, &error)) << error;
  }
}

}  // namespace
