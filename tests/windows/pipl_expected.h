// The plug-in resource's bytes as the host expects them, assembled here from the published
// layout independently of the resource script, so the two are checked against each other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wintest {

// One property: its key, its value before padding, and what its length field must say.
struct ExpectedProperty {
  std::string key;
  std::vector<uint8_t> value;
  uint32_t lengthField;
};

// Little-endian bytes of a four-character code, taken as a 32-bit integer ("8BIM" -> "MIB8").
std::vector<uint8_t> CodeBytes(const std::string& code);
std::vector<uint8_t> Le16(uint16_t value);
std::vector<uint8_t> Le32(uint32_t value);
// A length byte followed by the characters.
std::vector<uint8_t> Counted(const std::string& text);
// The characters followed by one zero.
std::vector<uint8_t> Terminated(const std::string& text);

// The twelve properties of the effect's resource, in order.
std::vector<ExpectedProperty> ExpectedProperties();

// Header, then each property as vendor, key, id 0, length and the value padded with zeros.
std::vector<uint8_t> AssemblePipl(const std::vector<ExpectedProperty>& properties);

// Offset and both bytes of the first difference, or "" when equal.
std::string FirstDifference(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected);

}  // namespace wintest
