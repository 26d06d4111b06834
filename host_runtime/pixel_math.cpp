#include "host_runtime/pixel_math.h"

#include <algorithm>
#include <cmath>

namespace host_runtime {

uint16_t FloatToWord16(float v) {
  if (!(v > 0.0f)) return 0;  // NaN and negatives
  if (v >= 1.0f) return 65535;
  return static_cast<uint16_t>(std::lround(v * 65535.0f));
}

uint8_t FloatToByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  return static_cast<uint8_t>(std::lround(v * 255.0f));
}

void UnpremultiplyArgb(uint8_t* argb, size_t count) {
  for (uint8_t* p = argb; p != argb + 4 * count; p += 4) {
    const unsigned a = p[0];
    if (a == 0 || a == 255) continue;
    for (int c = 1; c < 4; ++c) p[c] = static_cast<uint8_t>(std::min((p[c] * 255u + a / 2) / a, 255u));
  }
}

void PremultiplyArgb(uint8_t* argb, size_t count) {
  for (uint8_t* p = argb; p != argb + 4 * count; p += 4) {
    const unsigned a = p[0];
    if (a == 255) continue;
    for (int c = 1; c < 4; ++c) p[c] = static_cast<uint8_t>((p[c] * a + 127u) / 255u);
  }
}

void UnpremultiplyArgb(float* argb, size_t count) {
  for (float* p = argb; p != argb + 4 * count; p += 4) {
    const float a = p[0];
    if (a == 0.0f || a == 1.0f) continue;
    for (int c = 1; c < 4; ++c) p[c] /= a;
  }
}

void PremultiplyArgb(float* argb, size_t count) {
  for (float* p = argb; p != argb + 4 * count; p += 4) {
    const float a = p[0];
    if (a == 1.0f) continue;
    for (int c = 1; c < 4; ++c) p[c] *= a;
  }
}

}  // namespace host_runtime
