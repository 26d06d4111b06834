// Images of any layout and sample type with pseudo-random pixels, for the tests of the tool's
// readers and writers and the fuzzers' seeds. Header-only: the fuzz build links no test library.
#pragma once

#include <cstdint>
#include <random>

#include "cli/formats/format.h"

namespace test_support {

// An image of the given description with pseudo-random pixels (the same for the same seed).
// Grey layouts get equal red, green and blue; layouts without alpha get opaque alpha; float
// values span -0.5..2 for kFloat and 0..1 in half steps for kHalf, so each type's own values
// are exact in the file.
inline fxaa_cli::Image MakeImage(int width, int height, fxaa_cli::ChannelLayout layout,
                                 fxaa_cli::SampleType type, unsigned seed = 1) {
  using namespace fxaa_cli;
  Image image;
  image.width = width;
  image.height = height;
  image.layout = layout;
  image.type = type;
  image.Allocate();
  std::mt19937 random(seed);
  const bool grey = IsGrey(layout), alpha = HasAlpha(layout);
  for (size_t i = 0; i < size_t(width) * height; ++i) {
    // Bytes as bytes; the others as the float the reader makes of the file's value.
    float v[4];
    uint8_t b[4];
    for (int c = 0; c < 4; ++c) {
      b[c] = static_cast<uint8_t>(random() % 256);
      switch (type) {
        case SampleType::kUInt8: v[c] = 0; break;
        case SampleType::kUInt16: v[c] = Word16ToFloat(static_cast<uint16_t>(random() % 65536)); break;
        case SampleType::kHalf: v[c] = float(random() % 1025) / 1024.0f; break;  // exact in half
        case SampleType::kFloat: v[c] = std::uniform_real_distribution<float>(-0.5f, 2.0f)(random); break;
      }
    }
    if (!alpha) v[0] = 1.0f, b[0] = 255;
    if (grey) v[2] = v[3] = v[1], b[2] = b[3] = b[1];
    for (int c = 0; c < 4; ++c) {
      if (type == SampleType::kUInt8)
        image.bytes[4 * i + c] = b[c];
      else
        image.floats[4 * i + c] = v[c];
    }
  }
  return image;
}

}  // namespace test_support
