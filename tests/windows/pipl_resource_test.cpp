// The resource script, compiled by windres exactly as the Windows build compiles it, holds the
// one resource the host reads, byte for byte, and its words are global set-up's.
#include <gtest/gtest.h>

#include "host/effect_version.h"
#include "host_runtime/plugin_pipl.h"
#include "tests/windows/binary_readers.h"
#include "tests/windows/pipl_expected.h"

namespace {

// The non-empty records of the compiled script (a .res file starts with an empty one).
std::vector<wintest::Resource> CompiledResources() {
  std::vector<uint8_t> file;
  std::vector<wintest::Resource> all, used;
  std::string error;
  EXPECT_TRUE(wintest::ReadWholeFile(FXAA_PIPL_RES_PATH, &file, &error)) << error;
  EXPECT_TRUE(wintest::ReadResFile(file, &all, &error)) << error;
  for (const wintest::Resource& r : all)
    if (!r.data.empty() || r.type.isString || r.type.id != 0) used.push_back(r);
  return used;
}

TEST(PiplResourceScript, CompilesToOnePiplResourceWithIdAndLanguage) {
  const std::vector<wintest::Resource> resources = CompiledResources();
  ASSERT_EQ(resources.size(), 1u);
  const wintest::Resource& r = resources[0];
  EXPECT_TRUE(r.type.isString);
  EXPECT_EQ(r.type.text, "PIPL");
  EXPECT_FALSE(r.name.isString);
  EXPECT_EQ(r.name.id, 16000u);
  EXPECT_EQ(r.language, 1033u);  // English, United States
}

TEST(PiplResourceScript, HoldsExactlyTheHostLayoutBytes) {
  const std::vector<wintest::Resource> resources = CompiledResources();
  ASSERT_EQ(resources.size(), 1u);
  const std::vector<uint8_t> expected = wintest::AssemblePipl(wintest::ExpectedProperties());
  EXPECT_EQ(wintest::FirstDifference(resources[0].data, expected), "");
}

TEST(PiplResourceScript, EachPropertyHasItsKeyLengthAndPaddedValue) {
  const std::vector<wintest::Resource> resources = CompiledResources();
  ASSERT_EQ(resources.size(), 1u);
  const std::vector<uint8_t>& data = resources[0].data;
  size_t at = 10;
  for (const wintest::ExpectedProperty& p : wintest::ExpectedProperties()) {
    SCOPED_TRACE(p.key);
    std::vector<uint8_t> expected = wintest::CodeBytes("8BIM");
    for (auto part : {wintest::CodeBytes(p.key), wintest::Le32(0), wintest::Le32(p.lengthField), p.value})
      expected.insert(expected.end(), part.begin(), part.end());
    while ((expected.size() - 16) % 4 != 0) expected.push_back(0);
    ASSERT_LE(at + expected.size(), data.size());
    const std::vector<uint8_t> actual(data.begin() + long(at), data.begin() + long(at + expected.size()));
    EXPECT_EQ(wintest::FirstDifference(actual, expected), "");
    at += expected.size();
  }
  EXPECT_EQ(at, data.size());
}

TEST(PiplResourceScript, VersionAndFlagWordsAreThoseGlobalSetUpWrites) {
  const std::vector<wintest::Resource> resources = CompiledResources();
  ASSERT_EQ(resources.size(), 1u);
  host_runtime::PluginPipl pipl;
  std::string error;
  ASSERT_TRUE(host_runtime::ParsePipl(resources[0].data.data(), resources[0].data.size(), &pipl, &error))
      << error;
  EXPECT_EQ(pipl.version, uint32_t(FXAA_VERSION_WORD));
  EXPECT_EQ(pipl.outFlags, uint32_t(FXAA_OUT_FLAGS));
  EXPECT_EQ(pipl.outFlags2, uint32_t(FXAA_OUT_FLAGS2));
  EXPECT_TRUE(host_runtime::CheckGlobalSetupWords(pipl, FXAA_VERSION_WORD, FXAA_OUT_FLAGS,
                                             FXAA_OUT_FLAGS2, &error)) << error;
  EXPECT_EQ(pipl.name, "FXAA");
  EXPECT_EQ(pipl.category, "Corvella");
  EXPECT_EQ(pipl.matchName, "CVFXAA");
  EXPECT_EQ(pipl.entryPoint, "EffectMain");
}

}  // namespace
