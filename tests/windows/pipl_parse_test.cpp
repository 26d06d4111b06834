// The host side's reading of a PiPL resource: the effect's own resource is understood, and
// every kind of damage is refused with a reason instead of being read past its end.
#include <gtest/gtest.h>

#include <functional>

#include "host_runtime/plugin_pipl.h"
#include "tests/windows/pipl_expected.h"

namespace {

using wintest::ExpectedProperty;
using Properties = std::vector<ExpectedProperty>;
using Bytes = std::vector<uint8_t>;

// Index of the property with `key` in the effect's list.
size_t IndexOf(const Properties& properties, const std::string& key) {
  for (size_t i = 0; i < properties.size(); ++i)
    if (properties[i].key == key) return i;
  ADD_FAILURE() << "no property " << key;
  return 0;
}

Bytes WithProperties(const std::function<void(Properties&)>& change) {
  Properties properties = wintest::ExpectedProperties();
  change(properties);
  return wintest::AssemblePipl(properties);
}

Bytes WithBytes(const std::function<void(Bytes&)>& change) {
  Bytes bytes = wintest::AssemblePipl(wintest::ExpectedProperties());
  change(bytes);
  return bytes;
}

// Offset of the length field of property `index` in the assembled resource.
size_t LengthFieldOffset(size_t index) {
  const Properties properties = wintest::ExpectedProperties();
  size_t at = 10;
  for (size_t i = 0; i < index; ++i) at += 16 + (properties[i].value.size() + 3) / 4 * 4;
  return at + 12;
}

void PutLe32(Bytes& bytes, size_t at, uint32_t value) {
  const Bytes word = wintest::Le32(value);
  std::copy(word.begin(), word.end(), bytes.begin() + long(at));
}

TEST(PiplParse, ReadsTheEffectsResource) {
  const Bytes bytes = wintest::AssemblePipl(wintest::ExpectedProperties());
  host_runtime::PluginPipl pipl;
  std::string error;
  ASSERT_TRUE(host_runtime::ParsePipl(bytes.data(), bytes.size(), &pipl, &error)) << error;
  EXPECT_EQ(pipl.kind, host_runtime::FourCC("eFKT"));
  EXPECT_EQ(pipl.name, "FXAA");
  EXPECT_EQ(pipl.category, "Corvella");
  EXPECT_EQ(pipl.matchName, "CVFXAA");
  EXPECT_EQ(pipl.entryPoint, "EffectMain");
  EXPECT_EQ(pipl.version, 0x00088001u);
  EXPECT_EQ(pipl.outFlags, 0x04000000u);
  EXPECT_EQ(pipl.outFlags2, 0x08001408u);
}

TEST(PiplParse, StepsOverOtherVendorsProperties) {
  Bytes bytes = WithProperties([](Properties& p) {
    p.insert(p.begin(), {"kind", wintest::CodeBytes("AEgx"), 4});
    p.push_back({"8664", wintest::Terminated("Elsewhere"), 12});
  });
  // Re-label the two added properties with a vendor other than 8BIM.
  const Bytes other = wintest::CodeBytes("ACME");
  std::copy(other.begin(), other.end(), bytes.begin() + 10);
  std::copy(other.begin(), other.end(), bytes.end() - 28);
  host_runtime::PluginPipl pipl;
  std::string error;
  ASSERT_TRUE(host_runtime::ParsePipl(bytes.data(), bytes.size(), &pipl, &error)) << error;
  EXPECT_EQ(pipl.kind, host_runtime::FourCC("eFKT"));
  EXPECT_EQ(pipl.entryPoint, "EffectMain");
}

struct Damage {
  const char* what;
  Bytes bytes;
  const char* reason;  // part of the message
};

TEST(PiplParse, RefusesDamagedResourcesWithAReason) {
  const Damage cases[] = {
      {"empty", {}, "too short"},
      {"header only in part", {1, 0, 0, 0}, "too short"},
      {"format word 2", WithBytes([](Bytes& b) { b[0] = 2; }), "format word 2"},
      {"list version 1", WithBytes([](Bytes& b) { b[2] = 1; }), "property list version 1"},
      {"count one too many", WithBytes([](Bytes& b) { b[6] = 13; }), "property 13 of 13 runs past"},
      {"count one too few", WithBytes([](Bytes& b) { b[6] = 11; }), "20 bytes after the last of 11"},
      {"cut short", WithBytes([](Bytes& b) { b.resize(b.size() - 3); }), "'aeFL' of length 4 runs past"},
      {"length near 4 GiB", WithBytes([](Bytes& b) { PutLe32(b, LengthFieldOffset(1), 0xFFFFFFFEu); }),
       "'name' of length 4294967294 runs past"},
      {"not an effect",
       WithProperties([](Properties& p) { p[0].value = wintest::CodeBytes("AEgx"); }),
       "not an effect plug-in: its PiPL kind is 'AEgx'"},
      {"kind of length 2", WithProperties([](Properties& p) { p[0] = {"kind", {0, 0}, 2}; }),
       "'kind' has length 2, not 4"},
      {"no kind", WithProperties([](Properties& p) { p.erase(p.begin()); }), "no 'kind' property"},
      {"no entry point",
       WithProperties([](Properties& p) { p.erase(p.begin() + long(IndexOf(p, "8664"))); }),
       "no '8664' property"},
      {"no eVER",
       WithProperties([](Properties& p) { p.erase(p.begin() + long(IndexOf(p, "eVER"))); }),
       "no 'eVER' property"},
      {"no eGLO",
       WithProperties([](Properties& p) { p.erase(p.begin() + long(IndexOf(p, "eGLO"))); }),
       "no 'eGLO' property"},
      {"no eGL2",
       WithProperties([](Properties& p) { p.erase(p.begin() + long(IndexOf(p, "eGL2"))); }),
       "no 'eGL2' property"},
      {"eVER of length 8",
       WithProperties([](Properties& p) { p[IndexOf(p, "eVER")] = {"eVER", Bytes(8, 0), 8}; }),
       "'eVER' has length 8, not 4"},
      {"two names", WithProperties([](Properties& p) { p.push_back(p[1]); }), "two 'name' properties"},
      {"entry point without its zero",
       WithProperties([](Properties& p) {
         p[IndexOf(p, "8664")] = {"8664", {'E', 'f', 'f', 'e', 'c', 't', 'M', 'a', 'i', 'n', 'X', 'Y'}, 12};
       }),
       "'8664' has no terminating zero"},
      {"empty entry point",
       WithProperties([](Properties& p) { p[IndexOf(p, "8664")] = {"8664", {0, 0, 0, 0}, 4}; }),
       "'8664' names no entry point"},
      {"name longer than its property",
       WithProperties([](Properties& p) { p[1] = {"name", {9, 'F', 'X', 'A', 'A', 0, 0, 0}, 8}; }),
       "'name' holds no counted string"},
      {"match name of length 0",
       WithProperties([](Properties& p) { p[IndexOf(p, "eMNA")] = {"eMNA", {}, 0}; }),
       "'eMNA' holds no counted string"},
  };
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.what);
    host_runtime::PluginPipl pipl;
    std::string error;
    EXPECT_FALSE(host_runtime::ParsePipl(c.bytes.data(), c.bytes.size(), &pipl, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST(PiplParse, GlobalSetUpWordsAreComparedOneByOne) {
  host_runtime::PluginPipl pipl;
  pipl.version = 0x00088001;
  pipl.outFlags = 0x04000000;
  pipl.outFlags2 = 0x08001408;
  struct Case {
    A_u_long version;
    PF_OutFlags flags;
    PF_OutFlags2 flags2;
    const char* message;  // "" when they agree
  };
  const Case cases[] = {
      {0x00088001, 0x04000000, 0x08001408, ""},
      {0x00088002, 0x04000000, 0x08001408,
       "my_version 0x00088002 but the PiPL says 0x00088001"},
      {0x00088001, 0x04000400, 0x08001408, "out_flags 0x04000400 but the PiPL says 0x04000000"},
      {0x00088001, 0x04000000, 0x08001400, "out_flags2 0x08001400 but the PiPL says 0x08001408"},
      {0, 0, 0,
       "my_version 0x00000000 but the PiPL says 0x00088001; out_flags 0x00000000 but the PiPL "
       "says 0x04000000; out_flags2 0x00000000 but the PiPL says 0x08001408"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::string error;
    const bool agree = host_runtime::CheckGlobalSetupWords(pipl, c.version, c.flags, c.flags2, &error);
    EXPECT_EQ(agree, *c.message == 0);
    if (!agree) {
      EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
  }
}

}  // namespace
