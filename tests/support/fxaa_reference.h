// CPU model of the effect's GPU work on one frame: upload, the swizzle pass, the FXAA pass and
// the read-back, written step by step after the GLSL programs, in single-precision float.
//
// Texture reads follow GL_LINEAR with GL_MIRRORED_REPEAT on both axes at any coordinate. The
// bilinear blend is two linear interpolations along s and one along t, each a + f * (b - a),
// so equal texels come back exactly, as they do from the GPU. Fragment coordinates are
// the texel centres ((i + 0.5) / size in float); the GPU's interpolated coordinates may differ
// from them in the last bits, so neighbours can leak into a float result by a few units of the
// coordinate's rounding (see the GL_LINEAR note in the platform notes). 8-bit results read back
// through FloatToByte, as the GL read-back does.
//
// The guards of the FXAA program are modelled too: an alpha-mode box average with alpha 0 is
// black, and a direction whose denominator (min(|dir.x|, |dir.y|) + dirReduce) is below the
// smallest normal float takes no step. NaN or infinite input never crashes the model: a bad
// texel poisons every bilinear read that touches it, even with weight 0 (a + 0 * (inf - a) is
// NaN), so NaN spreads one texel in the swizzle pass and then as far as the taps reach (about
// span / 2 + 2 texels, 12 in alpha mode); FloatToByte turns NaN into 0. A GPU may filter such
// texels differently, so compare only finite pixels.
//
// Typical use in a comparison test:
//   fxaa_reference::HostImage in{pixels.data(), width, height, rowbytes, 8};
//   fxaa_reference::FxaaParams params;            // colour mode, parameter defaults
//   params.mode = 1; params.strength = 0.5f;      // as the render path feeds the uniforms
//   std::vector<uint8_t> expected = fxaa_reference::RenderBytes(in, params);    // 8-bit worlds
//   fxaa_reference::FloatImage exact = fxaa_reference::RenderFloats(in, params); // 32-bit worlds
// Both outputs are host order (alpha, red, green, blue per pixel), rows packed without padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fxaa_reference {

// One texel or fragment colour as a shader sees it: channels r, g, b, a.
struct Vec4 {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 0.0f;
};

// A four-channel float texture (RGBA32F); row 0 is the host's top row, as on the GPU.
class Texture {
 public:
  Texture() = default;
  Texture(int width, int height);  // cleared to transparent black, as a new render target

  int width() const { return width_; }
  int height() const { return height_; }
  Vec4& at(int x, int y) { return texels_[Index(x, y)]; }
  const Vec4& at(int x, int y) const { return texels_[Index(x, y)]; }

 private:
  std::size_t Index(int x, int y) const;

  int width_ = 0;
  int height_ = 0;
  std::vector<Vec4> texels_;
};

// A host pixel world, not owned: alpha, red, green, blue per pixel as bytes (bitDepth 8) or
// 32-bit floats (bitDepth 32); row 0 first in memory, rows rowbytes apart.
struct HostImage {
  const void* data = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t rowbytes = 0;
  int bitDepth = 8;
};

// The FXAA program's uniforms, as floats the way the render path hands them over. The defaults
// are the parameters' defaults at full resolution.
struct FxaaParams {
  int mode = 0;  // modeL: 0 colour, 1 alpha
  float strength = 1.0f;
  float span = 8.0f;
  float reduceMult = 0.125f;
  float reduceMin = 0.0078125f;
};

// Host-order float pixels (alpha, red, green, blue), width * height * 4 values, row 0 first.
struct FloatImage {
  int width = 0;
  int height = 0;
  std::vector<float> argb;

  float at(int x, int y, int channel) const {
    return argb[(static_cast<std::size_t>(y) * width + x) * 4 + channel];
  }
};

// Texture coordinate of texel i's centre along an axis of `size` texels: (i + 0.5f) / size.
float TexelCentre(int i, int size);

// Texel index that GL_MIRRORED_REPEAT makes of any integer index along an axis of `size`.
int MirrorIndex(double index, int size);

// texture(sampler, (s, t)) with GL_LINEAR and GL_MIRRORED_REPEAT. A non-finite coordinate
// gives a NaN texel.
Vec4 Sample(const Texture& texture, float s, float t);

// The upload: each host pixel's alpha, red, green, blue land in r, g, b, a; bytes as b / 255.
// Throws std::invalid_argument for a depth other than 8 or 32 or an inconsistent world.
Texture Upload(const HostImage& image);

// Pass 1: every fragment writes texture(videoTexture, out_uvs).gbar.
Texture SwizzlePass(const Texture& upload);

// Pass 2, one fragment: colourOut of the FXAA program for the fragment at pixel (x, y), already
// in host order (its r holds alpha, g red, b green, a blue).
Vec4 FxaaFragment(const Texture& swizzled, int x, int y, const FxaaParams& params);

// Pass 2 over the whole target.
Texture FxaaPass(const Texture& swizzled, const FxaaParams& params);

// Read-back of a float target into host-order floats, unchanged.
FloatImage ReadBackFloats(const Texture& target);

// Read-back of one float channel as a byte: clamp to [0, 1], times 255, round half to even;
// NaN gives 0.
uint8_t FloatToByte(float value);

// Read-back of a float target as host-order bytes, width * height * 4, rows packed.
std::vector<uint8_t> ReadBackBytes(const Texture& target);

// The whole frame: upload, swizzle pass, FXAA pass, read-back.
FloatImage RenderFloats(const HostImage& image, const FxaaParams& params);
std::vector<uint8_t> RenderBytes(const HostImage& image, const FxaaParams& params);

}  // namespace fxaa_reference
