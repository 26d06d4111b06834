// Texts embedded by the same build rule as the GLSL programs, to test the rule itself.
#pragma once

#include <string>

extern const std::string kAllByteValuesText;  // all_bytes.bin: bytes 0 to 255 in order
extern const std::string kEmptyText;          // empty.txt
