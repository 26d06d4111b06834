// FXAA.ofx for Win64, run under Wine, renders the same frames as the Linux bundle: the frames
// ofx_bundle_tests.exe wrote (FXAA_WINDOWS_OFX_DUMP names the file) against the same cases
// rendered here.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/openfx/ofx_cases.h"

namespace {

TEST(WindowsBuild, OfxBundleRendersTheSameFramesAsTheLinuxBundle) {
  const char* dump = std::getenv("FXAA_WINDOWS_OFX_DUMP");
  if (dump == nullptr || *dump == 0)
    GTEST_SKIP() << "FXAA_WINDOWS_OFX_DUMP is not set (scripts/test-windows.sh sets it)";
  std::vector<ofxtest::OfxFrame> windows, linux;
  std::vector<std::string> names;
  std::string error;
  ASSERT_TRUE(ofxtest::ReadOfxFrames(dump, &windows, &error)) << error;
  ASSERT_TRUE(ofxtest::RenderOfxCases(FXAA_OFX_BINARY, &names, &linux, &error)) << error;
  ASSERT_EQ(windows.size(), linux.size());
  for (size_t i = 0; i < linux.size(); ++i) {
    SCOPED_TRACE(linux[i].name);
    EXPECT_EQ(windows[i].name, linux[i].name);
    // The same programs on Mesa's software renderer: a float result may round to the other byte,
    // and float evaluation order differs well below 1e-5.
    EXPECT_LE(ofxtest::LargestDifference(windows[i], linux[i]), linux[i].sampleBytes == 4 ? 1e-5 : 1.0);
  }
}

}  // namespace
