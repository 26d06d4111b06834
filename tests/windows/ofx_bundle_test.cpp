// Windows: the bundle's Win64 FXAA.ofx as an OpenFX host loads it. It describes the effect and
// its controls, renders, and is unloaded completely, so a second load renders the same frames.
// FXAA_OFX_DUMP names a file for the frames, which the Linux build compares with its bundle's.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/openfx/ofx_cases.h"

namespace {

TEST(OfxBundle, DescribesItselfRendersAndRendersTheSameAfterReloading) {
  std::vector<std::string> names, namesAgain;
  std::vector<ofxtest::OfxFrame> first, second;
  std::string error;
  ASSERT_TRUE(ofxtest::RenderOfxCases(FXAA_OFX_BINARY, &names, &first, &error)) << error;
  EXPECT_EQ(names, (std::vector<std::string>{"FXAA", "Source", "Strength", "Advanced", "FXAA Span",
                                             "FXAA Reduce Multiplier", "FXAA Reduce Minimum"}));
  EXPECT_EQ(GetModuleHandleA(FXAA_OFX_BINARY), nullptr) << "the binary stays loaded";
  ASSERT_TRUE(ofxtest::RenderOfxCases(FXAA_OFX_BINARY, &namesAgain, &second, &error)) << error;
  ASSERT_EQ(first.size(), 3u);
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i].rgba, second[i].rgba) << i;
  EXPECT_NE(first[0].rgba, first[1].rgba);
  if (const char* dump = std::getenv("FXAA_OFX_DUMP")) {
    EXPECT_TRUE(ofxtest::WriteOfxFrames(dump, first, &error)) << error;
  }
}

}  // namespace
