// Windows: two of our modules in one process, the plug-in and the frei0r filter, making and
// ending OpenGL contexts on several threads at once. Their hidden windows share one class; one
// module's clean-up must never take it from under the other's next window.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"

extern "C" {
#include <frei0r.h>
}

namespace {

TEST(TwoModules, ContextsMadeAndEndedOnManyThreadsInBothAllRender) {
  std::string error;
  std::unique_ptr<host_runtime::PluginModule> plugin =
      host_runtime::PluginModule::Load(FXAA_PLUGIN_PATH, &error);
  ASSERT_NE(plugin, nullptr) << error;
  HMODULE filter = LoadLibraryA(FXAA_FREI0R_DLL);
  ASSERT_NE(filter, nullptr);
  auto find = [filter](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(filter, name));
  };
  auto construct = reinterpret_cast<decltype(f0r_construct)*>(find("f0r_construct"));
  auto update = reinterpret_cast<decltype(f0r_update)*>(find("f0r_update"));
  auto destruct = reinterpret_cast<decltype(f0r_destruct)*>(find("f0r_destruct"));
  ASSERT_TRUE(construct && update && destruct);

  std::atomic<int> failed{0};
  // Neither module keeps a window between rounds: each frame's thread sets the plug-in up (its
  // root context), renders (a context of the thread's) and sets it down, and each filter
  // instance is the module's last, so its workers end with it, their contexts with them.
  auto pluginFrame = [&] {
    host_runtime::Host host(plugin->entry());
    host_runtime::World input(8, 6, 8), output(8, 6, 8);
    input.FillAll(255, 200, 100, 50);
    if (host.GlobalSetup() != PF_Err_NONE || host.ParamsSetup() != PF_Err_NONE ||
        host.SmartRender(&input, &output, 8) != PF_Err_NONE || output.channel(7, 5, 1) != 200)
      ++failed;
    host.GlobalSetdown();
  };
  auto filterFrame = [&] {
    std::vector<uint32_t> in(8 * 6), out(in.size(), 0);
    for (size_t i = 0; i < in.size(); ++i) in[i] = i % 3 ? 0xFF2040F0u : 0xFFF0F0F0u;
    f0r_instance_t instance = construct(8, 6);
    if (instance == nullptr) {
      ++failed;
      return;
    }
    update(instance, 0, in.data(), out.data());
    destruct(instance);
    if (out == in) ++failed;  // passed on unchanged: the frame failed
  };
  for (int round = 0; round < 30; ++round) {
    std::vector<std::thread> threads;
    threads.emplace_back(pluginFrame);
    threads.emplace_back(filterFrame);
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(failed.load(), 0);
  FreeLibrary(filter);
}

}  // namespace
