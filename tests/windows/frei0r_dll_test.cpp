// Windows: fxaa.dll as Shotcut and Kdenlive load it. It describes the filter and its five
// controls, renders, and is unloaded completely, so a second load renders the same frames afresh.
// FXAA_FREI0R_DUMP names a file for the frames, which the Linux build compares with its own
// module's.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/windows/frei0r_cases.h"

namespace {

TEST(Frei0rDll, DescribesItselfRendersAndRendersTheSameAfterReloading) {
  wintest::Frei0rRun first, second;
  std::string error;
  ASSERT_TRUE(wintest::RenderThroughFrei0r(FXAA_FREI0R_DLL, &first, &error)) << error;
  EXPECT_EQ(first.names,
            (std::vector<std::string>{"FXAA", "Source", "Strength", "FXAA Span",
                                      "FXAA Reduce Multiplier", "FXAA Reduce Minimum"}));
  // Unloaded for good: no thread of an instance, nor anything else, holds it loaded. (The same
  // lookup finds it while it is loaded.)
  EXPECT_EQ(GetModuleHandleA(FXAA_FREI0R_DLL), nullptr);
  HMODULE dll = LoadLibraryA(FXAA_FREI0R_DLL);
  EXPECT_EQ(GetModuleHandleA(FXAA_FREI0R_DLL), dll);
  FreeLibrary(dll);

  ASSERT_TRUE(wintest::RenderThroughFrei0r(FXAA_FREI0R_DLL, &second, &error)) << error;
  const wintest::Frei0rFrames& frames = first.frames;
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames, second.frames);
  // A frame that failed would be passed on unchanged.
  EXPECT_GT(wintest::LargestByteDifference(frames[1], frames[0]), 8);
  EXPECT_NE(frames[2], frames[1]);

  if (const char* dump = std::getenv("FXAA_FREI0R_DUMP")) {
    EXPECT_TRUE(wintest::WriteFrei0rFrames(dump, frames, &error)) << error;
  }
}

}  // namespace
