// The Windows build, run under Wine, renders the same pictures as the Linux build: the frames
// fxaa_render_dump.exe wrote (FXAA_WINDOWS_RENDER_DUMP and FXAA_WINDOWS_THREADED_RENDER_DUMP name
// the files) against the same frames rendered here through the Linux plug-in.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/windows/render_cases.h"

namespace {

// Compares the frames in the file named by `variable` with the same frames rendered here.
void ExpectSameFrames(const char* variable, bool onThreads) {
  const char* dump = std::getenv(variable);
  if (dump == nullptr || *dump == 0)
    GTEST_SKIP() << variable << " is not set (scripts/test-windows.sh sets it)";
  std::vector<wintest::Frame> windows, linux;
  std::string error;
  ASSERT_TRUE(wintest::ReadFrames(dump, &windows, &error)) << error;
  ASSERT_TRUE(wintest::RenderCases(FXAA_PLUGIN_PATH, onThreads, &linux, &error)) << error;
  ASSERT_EQ(windows.size(), linux.size());
  for (size_t i = 0; i < linux.size(); ++i) {
    SCOPED_TRACE(linux[i].name);
    ASSERT_EQ(windows[i].name, linux[i].name);
    EXPECT_EQ(linux[i].err, PF_Err_NONE);
    EXPECT_EQ(windows[i].err, PF_Err_NONE);
    // A failed render leaves transparent black on both sides, which would compare equal.
    EXPECT_TRUE(wintest::HasContent(linux[i]));
    EXPECT_TRUE(wintest::HasContent(windows[i]));
    // Both sides run the same programs on Mesa's software renderer; the one freedom left is the
    // rounding of a float result to a byte (one step) and float evaluation order (well below
    // 1e-5 for values in 0..1).
    const double tolerance = linux[i].bitDepth == 32 ? 1e-5 : 1.0;
    EXPECT_LE(wintest::LargestDifference(windows[i], linux[i]), tolerance);
  }
}

TEST(WindowsBuild, RendersTheSameFramesAsTheLinuxBuild) {
  ExpectSameFrames("FXAA_WINDOWS_RENDER_DUMP", false);
}

TEST(WindowsBuild, RendersTheSameFramesOnTwoThreadsAsTheLinuxBuild) {
  ExpectSameFrames("FXAA_WINDOWS_THREADED_RENDER_DUMP", true);
}

}  // namespace
