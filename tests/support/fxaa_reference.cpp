#include "tests/support/fxaa_reference.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace fxaa_reference {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr int kBoxRadius = 10;
// Below the smallest normal float the program takes no FXAA step.
constexpr float kSmallestNormal = std::numeric_limits<float>::min();

Vec4 Add(const Vec4& x, const Vec4& y) { return {x.r + y.r, x.g + y.g, x.b + y.b, x.a + y.a}; }
Vec4 Scale(const Vec4& x, float s) { return {x.r * s, x.g * s, x.b * s, x.a * s}; }

// GLSL min and max: the second operand when it compares smaller (larger), else the first.
float GlslMin(float x, float y) { return y < x ? y : x; }
float GlslMax(float x, float y) { return x < y ? y : x; }

// dot(c, (0.299, 0.587, 0.114, 1.0)), summed left to right.
float Luma(const Vec4& c) { return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b + 1.0f * c.a; }

// a + f * (b - a), channel by channel.
Vec4 Lerp(const Vec4& x, const Vec4& y, float f) {
  return {x.r + f * (y.r - x.r), x.g + f * (y.g - x.g), x.b + f * (y.b - x.b),
          x.a + f * (y.a - x.a)};
}

// Bytes per pixel of a host depth; throws for any other depth.
int PixelBytes(int bitDepth) {
  if (bitDepth == 8) return 4;
  if (bitDepth == 32) return 16;
  throw std::invalid_argument("fxaa_reference: bit depth must be 8 or 32");
}

}  // namespace

Texture::Texture(int width, int height)
    : width_(width), height_(height),
      texels_(static_cast<std::size_t>(width < 0 ? 0 : width) *
              static_cast<std::size_t>(height < 0 ? 0 : height)) {
  if (width < 0 || height < 0) throw std::invalid_argument("fxaa_reference: negative size");
}

std::size_t Texture::Index(int x, int y) const {
  return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
         static_cast<std::size_t>(x);
}

float TexelCentre(int i, int size) {
  return (static_cast<float>(i) + 0.5f) / static_cast<float>(size);
}

int MirrorIndex(double index, int size) {
  // (size - 1) - mirror((index mod 2 size) - size), mirror(a) = a >= 0 ? a : -(1 + a).
  const double period = 2.0 * size;
  double m = std::fmod(index, period);
  if (m < 0) m += period;
  const double a = m - size;
  const double mirrored = a >= 0 ? a : -(1.0 + a);
  return static_cast<int>((size - 1) - mirrored);
}

Vec4 Sample(const Texture& texture, float s, float t) {
  if (!std::isfinite(s) || !std::isfinite(t) || texture.width() <= 0 || texture.height() <= 0)
    return {kNaN, kNaN, kNaN, kNaN};
  const float x = s * static_cast<float>(texture.width()) - 0.5f;
  const float y = t * static_cast<float>(texture.height()) - 0.5f;
  const float x0 = std::floor(x);
  const float y0 = std::floor(y);
  const float fx = x - x0;
  const float fy = y - y0;
  // The neighbour's index is taken in double: x0 + 1 may not exist as a float far out.
  const int i0 = MirrorIndex(x0, texture.width());
  const int i1 = MirrorIndex(static_cast<double>(x0) + 1.0, texture.width());
  const int j0 = MirrorIndex(y0, texture.height());
  const int j1 = MirrorIndex(static_cast<double>(y0) + 1.0, texture.height());
  const Vec4 row0 = Lerp(texture.at(i0, j0), texture.at(i1, j0), fx);
  const Vec4 row1 = Lerp(texture.at(i0, j1), texture.at(i1, j1), fx);
  return Lerp(row0, row1, fy);
}

Texture Upload(const HostImage& image) {
  const int pixelBytes = PixelBytes(image.bitDepth);
  if (image.width < 0 || image.height < 0 ||
      (image.width > 0 && image.height > 0 &&
       (image.data == nullptr ||
        image.rowbytes < static_cast<std::ptrdiff_t>(image.width) * pixelBytes)))
    throw std::invalid_argument("fxaa_reference: inconsistent host image");
  Texture texture(image.width, image.height);
  const unsigned char* base = static_cast<const unsigned char*>(image.data);
  for (int y = 0; y < image.height; ++y) {
    const unsigned char* row = base + y * image.rowbytes;
    for (int x = 0; x < image.width; ++x) {
      float c[4];
      if (image.bitDepth == 8) {
        for (int k = 0; k < 4; ++k) c[k] = static_cast<float>(row[x * 4 + k]) / 255.0f;
      } else {
        std::memcpy(c, row + x * 16, sizeof c);
      }
      texture.at(x, y) = {c[0], c[1], c[2], c[3]};
    }
  }
  return texture;
}

Texture SwizzlePass(const Texture& upload) {
  Texture target(upload.width(), upload.height());
  for (int y = 0; y < upload.height(); ++y) {
    for (int x = 0; x < upload.width(); ++x) {
      const Vec4 c = Sample(upload, TexelCentre(x, upload.width()), TexelCentre(y, upload.height()));
      target.at(x, y) = {c.g, c.b, c.a, c.r};
    }
  }
  return target;
}

Vec4 FxaaFragment(const Texture& tex, int px, int py, const FxaaParams& params) {
  const float u = TexelCentre(px, tex.width());
  const float v = TexelCentre(py, tex.height());
  const float dx = 1.0f / static_cast<float>(tex.width());
  const float dy = 1.0f / static_cast<float>(tex.height());
  const Vec4 S = Sample(tex, u, v);
  Vec4 out;

  if (params.mode == 1) {
    float pu = u - static_cast<float>(kBoxRadius) * dx;
    float pv = v + static_cast<float>(kBoxRadius) * dy;
    Vec4 sum;
    float weight = 0.0f;
    for (int row = -kBoxRadius; row <= kBoxRadius; ++row) {
      for (int col = -kBoxRadius; col <= kBoxRadius; ++col) {
        sum = Add(sum, Sample(tex, pu, pv));
        weight += 1.0f;
        pu += dx;
      }
      pv -= dy;
      pu = u - dx * static_cast<float>(kBoxRadius);
    }
    Vec4 A{sum.r / weight, sum.g / weight, sum.b / weight, sum.a / weight};
    if (A.a != 0.0f) {
      A.r /= A.a;
      A.g /= A.a;
      A.b /= A.a;
    } else {
      A.r = A.g = A.b = 0.0f;
    }
    out.r = A.r * (1.0f - S.a);
    out.g = A.g * (1.0f - S.a);
    out.b = A.b * (1.0f - S.a);
    out.r += S.r * S.a;
    out.g += S.g * S.a;
    out.b += S.b * S.a;
    out.a = 1.0f;
  }

  const float ax = 1.0f / static_cast<float>(tex.width());
  const float ay = 1.0f / static_cast<float>(tex.height());
  const Vec4 NW = Sample(tex, u + -ax, v + -ay);
  const Vec4 NE = Sample(tex, u + ax, v + -ay);
  const Vec4 SW = Sample(tex, u + -ax, v + ay);
  const Vec4 SE = Sample(tex, u + ax, v + ay);
  const Vec4 M = Sample(tex, u, v);
  const float lNW = Luma(NW);
  const float lNE = Luma(NE);
  const float lSW = Luma(SW);
  const float lSE = Luma(SE);
  const float lM = Luma(M);
  const float lMin = GlslMin(lM, GlslMin(GlslMin(lNW, lNE), GlslMin(lSW, lSE)));
  const float lMax = GlslMax(lM, GlslMax(GlslMax(lNW, lNE), GlslMax(lSW, lSE)));

  float dirX = -((lNW + lNE) - (lSW + lSE));
  float dirY = (lNW + lSW) - (lNE + lSE);
  const float dirReduce =
      GlslMax((lNW + lNE + lSW + lSE) * (0.25f * params.reduceMult), params.reduceMin);
  const float dirMin = GlslMin(std::fabs(dirX), std::fabs(dirY)) + dirReduce;
  const float rcpDirMin = dirMin >= kSmallestNormal ? 1.0f / dirMin : 0.0f;
  dirX = GlslMin(params.span, GlslMax(-params.span, dirX * rcpDirMin)) * ax;
  dirY = GlslMin(params.span, GlslMax(-params.span, dirY * rcpDirMin)) * ay;

  const auto tap = [&](float f) { return Sample(tex, u + dirX * f, v + dirY * f); };
  const Vec4 RA = Scale(Add(tap(1.0f / 3.0f - 0.5f), tap(2.0f / 3.0f - 0.5f)), 0.5f);
  const Vec4 RB = Add(Scale(RA, 0.5f), Scale(Add(tap(-0.5f), tap(0.5f)), 0.25f));
  const float lB = Luma(RB);
  const Vec4 R = (lB < lMin || lB > lMax) ? RA : RB;

  if (params.mode == 0) {
    out = R;
  } else {
    out.a = R.a;
  }

  const float keep = 1.0f - params.strength;
  out = Add(Scale(out, params.strength), Scale(S, keep));
  return {out.a, out.r, out.g, out.b};
}

Texture FxaaPass(const Texture& swizzled, const FxaaParams& params) {
  Texture target(swizzled.width(), swizzled.height());
  for (int y = 0; y < swizzled.height(); ++y)
    for (int x = 0; x < swizzled.width(); ++x) target.at(x, y) = FxaaFragment(swizzled, x, y, params);
  return target;
}

FloatImage ReadBackFloats(const Texture& target) {
  FloatImage image;
  image.width = target.width();
  image.height = target.height();
  image.argb.reserve(static_cast<std::size_t>(image.width) * image.height * 4);
  for (int y = 0; y < target.height(); ++y) {
    for (int x = 0; x < target.width(); ++x) {
      const Vec4& c = target.at(x, y);
      image.argb.insert(image.argb.end(), {c.r, c.g, c.b, c.a});
    }
  }
  return image;
}

uint8_t FloatToByte(float value) {
  if (std::isnan(value)) return 0;
  const float clamped = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
  // nearbyint rounds half to even in the default rounding mode.
  return static_cast<uint8_t>(std::nearbyint(clamped * 255.0f));
}

std::vector<uint8_t> ReadBackBytes(const Texture& target) {
  const FloatImage floats = ReadBackFloats(target);
  std::vector<uint8_t> bytes(floats.argb.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = FloatToByte(floats.argb[i]);
  return bytes;
}

FloatImage RenderFloats(const HostImage& image, const FxaaParams& params) {
  return ReadBackFloats(FxaaPass(SwizzlePass(Upload(image)), params));
}

std::vector<uint8_t> RenderBytes(const HostImage& image, const FxaaParams& params) {
  return ReadBackBytes(FxaaPass(SwizzlePass(Upload(image)), params));
}

}  // namespace fxaa_reference
