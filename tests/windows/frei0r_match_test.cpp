// fxaa.dll, run under Wine, renders the same frames as the Linux module: the frames
// frei0r_dll_tests.exe wrote (FXAA_WINDOWS_FREI0R_DUMP names the file) against the same picture
// rendered here.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/windows/frei0r_cases.h"

namespace {

TEST(WindowsBuild, Frei0rDllRendersTheSameFramesAsTheLinuxModule) {
  const char* dump = std::getenv("FXAA_WINDOWS_FREI0R_DUMP");
  if (dump == nullptr || *dump == 0)
    GTEST_SKIP() << "FXAA_WINDOWS_FREI0R_DUMP is not set (scripts/test-windows.sh sets it)";
  wintest::Frei0rFrames windows;
  wintest::Frei0rRun linux;
  std::string error;
  ASSERT_TRUE(wintest::ReadFrei0rFrames(dump, &windows, &error)) << error;
  ASSERT_TRUE(wintest::RenderThroughFrei0r(FXAA_FREI0R_PATH, &linux, &error)) << error;
  ASSERT_EQ(windows.size(), linux.frames.size());
  EXPECT_EQ(windows[0], linux.frames[0]) << "the two sides rendered different pictures";
  // The same programs on Mesa's software renderer: a float result may round to the other byte.
  for (size_t i = 1; i < windows.size(); ++i)
    EXPECT_LE(wintest::LargestByteDifference(windows[i], linux.frames[i]), 1) << "frame " << i;
}

}  // namespace
