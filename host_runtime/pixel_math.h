// The arithmetic every program on the host side does to pixels the same way, so that the same
// picture gives the same bytes whichever program hands it to the effect: 16-bit words and bytes
// to and from floats, and straight colour from premultiplied colour and back, on ARGB pixels
// (alpha first, as the host's worlds hold them).
#pragma once

#include <cstddef>
#include <cstdint>

namespace host_runtime {

inline float Word16ToFloat(uint16_t v) { return float(v) / 65535.0f; }
uint16_t FloatToWord16(float v);  // clamps to 0..1 (NaN to 0), rounds to nearest
uint8_t FloatToByte(float v);     // the same for bytes

// Straight colour from premultiplied (pixels with alpha 0 keep their colour), and back, on
// `count` ARGB pixels. Bytes are rounded to the nearest step, colour above alpha clamped to 255.
void UnpremultiplyArgb(uint8_t* argb, size_t count);
void PremultiplyArgb(uint8_t* argb, size_t count);
void UnpremultiplyArgb(float* argb, size_t count);
void PremultiplyArgb(float* argb, size_t count);

}  // namespace host_runtime
