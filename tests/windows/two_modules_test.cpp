// Windows: the plug-in and the frei0r filter in one process, making and ending contexts on
// threads at once, round after round, with no window of either left between rounds. Their hidden
// windows share one class: one module's clean-up must not take it from under the other's window.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"

extern "C" {
#include <frei0r.h>
}

TEST(TwoModules, ContextsMadeAndEndedOnThreadsInBothAllRender) {
  std::string error;
  auto plugin = host_runtime::PluginModule::Load(FXAA_PLUGIN_PATH, &error);
  HMODULE filter = LoadLibraryA(FXAA_FREI0R_DLL);
  ASSERT_TRUE(plugin && filter) << error;
  auto find = [filter](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(filter, name));
  };
  auto construct = reinterpret_cast<decltype(f0r_construct)*>(find("f0r_construct"));
  auto update = reinterpret_cast<decltype(f0r_update)*>(find("f0r_update"));
  auto destruct = reinterpret_cast<decltype(f0r_destruct)*>(find("f0r_destruct"));
  std::atomic<int> failed{0};
  auto effectFrame = [&] {  // a root context and one of the thread's, ended with it
    host_runtime::Host host(plugin->entry());
    host_runtime::World input(8, 6, 8), output(8, 6, 8);
    input.FillAll(255, 200, 100, 50);
    failed += host.GlobalSetup() != PF_Err_NONE || host.ParamsSetup() != PF_Err_NONE ||
              host.SmartRender(&input, &output, 8) != PF_Err_NONE || output.channel(7, 5, 1) != 200;
    host.GlobalSetdown();
  };
  auto filterFrame = [&] {  // the last instance: its workers and their contexts end with it
    const int w = 47, h = 31;  // diagonal stripes below: edges for the effect
    std::vector<uint32_t> in(size_t(w) * h), out(in.size());
    for (size_t i = 0; i < in.size(); ++i) in[i] = i % 3 ? 0xFF2040F0u : 0xFFF0F0F0u;
    f0r_instance_t instance = construct(w, h);
    if (instance) update(instance, 0, in.data(), out.data()), destruct(instance);
    failed += !instance || out == in;  // a frame that failed is passed on unchanged
  };
  for (int round = 0; round < 60; ++round) {
    std::thread threads[] = {std::thread(effectFrame), std::thread(filterFrame),
                             std::thread(effectFrame), std::thread(filterFrame)};
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(failed.load(), 0);
  FreeLibrary(filter);
}
