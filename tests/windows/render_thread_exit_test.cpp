// Windows: a render thread's context and programs are released on that thread when it ends,
// inside the plug-in library as the host loads it, and a library unloaded while render threads
// still live leaves nothing behind that would run when they end.
#include <gtest/gtest.h>
#include <windows.h>

#include <future>
#include <memory>
#include <string>
#include <thread>

#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"
#include "tests/support/capture_stdout.h"

namespace {

std::unique_ptr<host_runtime::PluginModule> LoadPlugin() {
  std::string error;
  std::unique_ptr<host_runtime::PluginModule> module =
      host_runtime::PluginModule::Load(FXAA_PLUGIN_PATH, &error);
  EXPECT_NE(module, nullptr) << error;
  return module;
}

// Renders one small frame on the calling thread; true when it rendered.
bool RenderSmallFrame(host_runtime::Host& host) {
  host_runtime::World input(8, 6, 8), output(8, 6, 8);
  input.FillAll(255, 200, 100, 50);
  return host.SmartRender(&input, &output, 8) == PF_Err_NONE && output.channel(7, 5, 1) == 200;
}

TEST(RenderThreadExit, EndingRenderThreadsReleaseTheirContextsWithoutComplaint) {
  std::unique_ptr<host_runtime::PluginModule> module = LoadPlugin();
  ASSERT_NE(module, nullptr);
  host_runtime::Host host(module->entry());
  ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);

  // Several rounds, so that a clean-up reading freed memory has chances to corrupt the heap.
  CaptureStdout capture;
  for (int round = 0; round < 3; ++round) {
    bool rendered[3] = {false, false, false};
    std::thread threads[3];
    for (int t = 0; t < 3; ++t)
      threads[t] = std::thread([&, t] { rendered[t] = RenderSmallFrame(host); });
    for (std::thread& thread : threads) thread.join();
    for (bool r : rendered) EXPECT_TRUE(r) << "round " << round;
  }
  // Each thread's clean-up made its own context current, deleted its programs and the context;
  // a clean-up on the wrong thread or on freed storage says "Cannot Set OpenGL Context" or "GL
  // Context Destruction Failed".
  EXPECT_EQ(capture.Finish(), "");
  EXPECT_EQ(host.GlobalSetdown(), PF_Err_NONE);
}

TEST(RenderThreadExit, ThreadsOutlivingTheUnloadedLibraryEndSafely) {
  std::promise<bool> rendered;
  std::promise<void> mayEnd;
  std::shared_future<void> end = mayEnd.get_future().share();
  std::unique_ptr<host_runtime::PluginModule> module = LoadPlugin();
  ASSERT_NE(module, nullptr);
  const std::string path = module->path();
  auto host = std::make_unique<host_runtime::Host>(module->entry());
  ASSERT_EQ(host->GlobalSetup(), PF_Err_NONE);
  ASSERT_EQ(host->ParamsSetup(), PF_Err_NONE);

  std::thread renderer([&] {
    rendered.set_value(RenderSmallFrame(*host));
    end.wait();
  });
  EXPECT_TRUE(rendered.get_future().get());
  EXPECT_EQ(host->GlobalSetdown(), PF_Err_NONE);
  host.reset();
  module.reset();
  EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr) << "the library is unloaded";

  // The thread ends now; a clean-up left registered would call into the unloaded library.
  mayEnd.set_value();
  renderer.join();

  // And the library loads and renders again afterwards.
  module = LoadPlugin();
  ASSERT_NE(module, nullptr);
  host_runtime::Host again(module->entry());
  ASSERT_EQ(again.GlobalSetup(), PF_Err_NONE);
  ASSERT_EQ(again.ParamsSetup(), PF_Err_NONE);
  EXPECT_TRUE(RenderSmallFrame(again));
  EXPECT_EQ(again.GlobalSetdown(), PF_Err_NONE);
}

}  // namespace
