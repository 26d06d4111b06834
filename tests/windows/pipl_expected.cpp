#include "tests/windows/pipl_expected.h"

#include <algorithm>
#include <cstdio>

namespace wintest {

std::vector<uint8_t> CodeBytes(const std::string& code) {
  return {uint8_t(code[3]), uint8_t(code[2]), uint8_t(code[1]), uint8_t(code[0])};
}
std::vector<uint8_t> Le16(uint16_t value) { return {uint8_t(value), uint8_t(value >> 8)}; }
std::vector<uint8_t> Le32(uint32_t value) {
  return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}
std::vector<uint8_t> Counted(const std::string& text) {
  std::vector<uint8_t> bytes(text.size() + 1);
  bytes[0] = uint8_t(text.size());
  std::copy(text.begin(), text.end(), bytes.begin() + 1);
  return bytes;
}
std::vector<uint8_t> Terminated(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

static std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<ExpectedProperty> ExpectedProperties() {
  // Length fields are the padded sizes, except eINF's, which is its unpadded 2.
  return {
      {"kind", CodeBytes("eFKT"), 4},
      {"name", Counted("FXAA"), 8},
      {"catg", Counted("Corvella"), 12},
      {"8664", Terminated("EffectMain"), 12},
      {"ePVR", Join(Le16(2), Le16(0)), 4},
      {"eSVR", Join(Le16(13), Le16(25)), 4},
      {"eVER", Le32(0x00088001), 4},
      {"eINF", Le16(0), 2},
      {"eGLO", Le32(0x04000000), 4},
      {"eGL2", Le32(0x08001408), 4},
      {"eMNA", Counted("CVFXAA"), 8},
      {"aeFL", Le32(0), 4},
  };
}

std::vector<uint8_t> AssemblePipl(const std::vector<ExpectedProperty>& properties) {
  std::vector<uint8_t> bytes = Join(Le16(1), Le32(0));
  bytes = Join(bytes, Le32(uint32_t(properties.size())));
  for (const ExpectedProperty& p : properties) {
    bytes = Join(bytes, CodeBytes("8BIM"));
    bytes = Join(bytes, CodeBytes(p.key));
    bytes = Join(bytes, Le32(0));
    bytes = Join(bytes, Le32(p.lengthField));
    std::vector<uint8_t> padded = p.value;
    while (padded.size() % 4 != 0) padded.push_back(0);
    bytes = Join(bytes, padded);
  }
  return bytes;
}

std::string FirstDifference(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected) {
  const size_t common = actual.size() < expected.size() ? actual.size() : expected.size();
  char text[96];
  for (size_t i = 0; i < common; ++i) {
    if (actual[i] != expected[i]) {
      std::snprintf(text, sizeof text, "byte %zu is 0x%02X, expected 0x%02X", i, actual[i], expected[i]);
      return text;
    }
  }
  if (actual.size() != expected.size()) {
    std::snprintf(text, sizeof text, "%zu bytes, expected %zu", actual.size(), expected.size());
    return text;
  }
  return "";
}

}  // namespace wintest
