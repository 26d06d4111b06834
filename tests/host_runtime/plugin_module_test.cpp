// Loading plug-in files: the stand-in loads and answers; bad files give one clear reason.
#include <gtest/gtest.h>

#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"
#include "tests/host_runtime/fake_effect.h"

namespace {

TEST(PluginModule, LoadsTheEntryPointAndCallsIntoIt) {
  std::string error;
  auto module = host_runtime::PluginModule::Load(FAKE_EFFECT_PATH, &error);
  ASSERT_NE(module, nullptr) << error;
  EXPECT_EQ(module->entryName(), "EffectMain");
  EXPECT_EQ(module->path(), FAKE_EFFECT_PATH);
  host_runtime::Host host(module->entry());
  std::string text;
  EXPECT_EQ(host.About(&text), PF_Err_NONE);
  EXPECT_EQ(text, "Fake 7");
}

TEST(PluginModule, RefusesBadFilesWithTheirReason) {
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {"no/such/dir/FXAA.so", "no such plug-in file"},
      {".", "a folder, not a plug-in file"},
      {NOT_A_LIBRARY_PATH, "cannot load the plug-in"},
      {NO_ENTRY_PATH, "not an effect plug-in: it has no EffectMain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error;
    EXPECT_EQ(host_runtime::PluginModule::Load(c.path, &error), nullptr);
    EXPECT_EQ(error.rfind(c.path + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST(PluginModule, LoadsAgainAfterUnloading) {
  for (int round = 0; round < 3; ++round) {
    std::string error;
    auto module = host_runtime::PluginModule::Load(FAKE_EFFECT_PATH, &error);
    ASSERT_NE(module, nullptr) << error;
    host_runtime::Host host(module->entry());
    EXPECT_EQ(host.GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(host.GlobalSetdown(), PF_Err_NONE);
  }
}

}  // namespace
