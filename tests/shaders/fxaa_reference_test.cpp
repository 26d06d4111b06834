// The CPU model of the two passes: GL sampling rules, channel orders, the FXAA properties that
// hold for any correct implementation, and the guards for divisions by zero and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "tests/support/fxaa_reference.h"

namespace {

using fxaa_reference::FloatImage;
using fxaa_reference::FxaaParams;
using fxaa_reference::HostImage;
using fxaa_reference::Texture;
using fxaa_reference::Vec4;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A host world owned by the test: ARGB pixels, rows padded by `padding` pixels of garbage.
class HostWorld {
 public:
  HostWorld(int width, int height, int bitDepth, int padding = 0)
      : width_(width), height_(height), bitDepth_(bitDepth),
        pixelBytes_(bitDepth == 8 ? 4 : 16),
        rowbytes_(static_cast<std::ptrdiff_t>(width + padding) * pixelBytes_),
        data_(static_cast<std::size_t>(rowbytes_) * height, 0xA5) {}

  // Channel c (0 alpha .. 3 blue) of pixel (x, y); 8-bit worlds take values 0 to 255.
  void Set(int x, int y, int c, float value) {
    unsigned char* p = data_.data() + y * rowbytes_ + x * pixelBytes_;
    if (bitDepth_ == 8) {
      p[c] = static_cast<unsigned char>(value);
    } else {
      std::memcpy(p + 4 * c, &value, sizeof value);
    }
  }
  void SetPixel(int x, int y, float a, float r, float g, float b) {
    Set(x, y, 0, a);
    Set(x, y, 1, r);
    Set(x, y, 2, g);
    Set(x, y, 3, b);
  }
  float Get(int x, int y, int c) const {
    const unsigned char* p = data_.data() + y * rowbytes_ + x * pixelBytes_;
    if (bitDepth_ == 8) return p[c];
    float value;
    std::memcpy(&value, p + 4 * c, sizeof value);
    return value;
  }
  HostImage image() const { return {data_.data(), width_, height_, rowbytes_, bitDepth_}; }
  int width() const { return width_; }
  int height() const { return height_; }
  int bitDepth() const { return bitDepth_; }
  float one() const { return bitDepth_ == 8 ? 255.0f : 1.0f; }

 private:
  int width_, height_, bitDepth_, pixelBytes_;
  std::ptrdiff_t rowbytes_;
  std::vector<unsigned char> data_;
};

// Renders through the model at the world's depth and returns host-order values in world units.
FloatImage Render(const HostWorld& world, const FxaaParams& params) {
  if (world.bitDepth() == 32) return fxaa_reference::RenderFloats(world.image(), params);
  const std::vector<uint8_t> bytes = fxaa_reference::RenderBytes(world.image(), params);
  FloatImage out{world.width(), world.height(), std::vector<float>(bytes.begin(), bytes.end())};
  return out;
}

void FillRandom(HostWorld* world, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int y = 0; y < world->height(); ++y)
    for (int x = 0; x < world->width(); ++x)
      for (int c = 0; c < 4; ++c)
        world->Set(x, y, c, world->bitDepth() == 8 ? byte(rng) : byte(rng) / 200.0f);
}

// Counts pixels whose output differs from the input in any channel (exact comparison).
int ChangedPixels(const HostWorld& in, const FloatImage& out) {
  int changed = 0;
  for (int y = 0; y < in.height(); ++y)
    for (int x = 0; x < in.width(); ++x)
      for (int c = 0; c < 4; ++c)
        if (!(out.at(x, y, c) == in.Get(x, y, c))) {
          ++changed;
          break;
        }
  return changed;
}

bool AllFinite(const FloatImage& out) {
  for (float v : out.argb)
    if (!std::isfinite(v)) return false;
  return true;
}

Texture Row(const std::vector<float>& reds) {
  Texture t(static_cast<int>(reds.size()), 1);
  for (int i = 0; i < t.width(); ++i) t.at(i, 0) = {reds[i], 0.0f, 0.0f, 1.0f};
  return t;
}

TEST(FxaaReferenceSampling, MirroredRepeatFoldsIndicesBackIntoTheImage) {
  struct Case {
    double index;
    int size;
    int expected;
  };
  // Period 2 * size: 0 1 2 3 3 2 1 0, continuing the same way on both sides.
  const Case cases[] = {{0, 4, 0},  {3, 4, 3},  {4, 4, 3},  {5, 4, 2},  {7, 4, 0},
                        {8, 4, 0},  {11, 4, 3}, {12, 4, 3}, {-1, 4, 0}, {-2, 4, 1},
                        {-4, 4, 3}, {-5, 4, 3}, {-8, 4, 0}, {-9, 4, 0}, {5, 1, 0},
                        {-3, 1, 0}, {8e9, 4, 0}, {8e9 + 5, 4, 2}, {-8e9 - 1, 4, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(fxaa_reference::MirrorIndex(c.index, c.size), c.expected)
        << "index " << c.index << " size " << c.size;
}

TEST(FxaaReferenceSampling, LinearFilterBlendsNeighboursAndMirrorsAtBorders) {
  const Texture t = Row({1.0f, 2.0f, 4.0f, 8.0f});
  struct Case {
    float s;
    float expected;
  };
  const Case cases[] = {
      {0.125f, 1.0f},  {0.375f, 2.0f},  {0.625f, 4.0f}, {0.875f, 8.0f},  // texel centres
      {0.25f, 1.5f},   {0.5f, 3.0f},    {0.75f, 6.0f},                   // half-way
      {0.0f, 1.0f},    {1.0f, 8.0f},                    // borders blend a texel with its mirror
      {-0.125f, 1.0f}, {-0.375f, 2.0f}, {1.125f, 8.0f}, {1.375f, 4.0f},  // beyond the borders
      {0.1875f, 1.25f}, {2.125f, 1.0f}, {-1.125f, 8.0f}};  // a quarter step; one period away
  for (const Case& c : cases) {
    SCOPED_TRACE(c.s);
    const Vec4 v = fxaa_reference::Sample(t, c.s, 0.5f);
    EXPECT_FLOAT_EQ(v.r, c.expected);
    EXPECT_EQ(v.a, 1.0f);
  }
}

TEST(FxaaReferenceSampling, BilinearWeightsFollowBothAxes) {
  Texture t(2, 2);
  t.at(0, 0).r = 1.0f;
  t.at(1, 0).r = 2.0f;
  t.at(0, 1).r = 4.0f;
  t.at(1, 1).r = 8.0f;
  for (float fx : {0.0f, 0.25f, 0.5f, 0.75f}) {
    for (float fy : {0.0f, 0.25f, 0.5f, 0.75f}) {
      const double expected = (1 - fx) * (1 - fy) * 1.0 + fx * (1 - fy) * 2.0 +
                              (1 - fx) * fy * 4.0 + fx * fy * 8.0;
      const float s = (0.5f + fx) / 2.0f;
      const float tt = (0.5f + fy) / 2.0f;
      EXPECT_NEAR(fxaa_reference::Sample(t, s, tt).r, expected, 1e-6) << fx << ", " << fy;
    }
  }
}

TEST(FxaaReferenceSampling, NonFiniteCoordinatesGiveNaNTexels) {
  const Texture t = Row({1.0f, 2.0f});
  for (float s : {kNaN, kInf, -kInf}) {
    EXPECT_TRUE(std::isnan(fxaa_reference::Sample(t, s, 0.5f).r));
    EXPECT_TRUE(std::isnan(fxaa_reference::Sample(t, 0.5f, s).a));
  }
}

TEST(FxaaReferenceChannels, UploadAndSwizzleTurnHostOrderIntoRgba) {
  for (int depth : {8, 32}) {
    SCOPED_TRACE(depth);
    HostWorld world(3, 2, depth, /*padding=*/1);
    const float k = depth == 8 ? 1.0f : 1.0f / 255.0f;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) world.SetPixel(x, y, 255 * k, (10 + x) * k, (20 + y) * k, 30 * k);
    const Texture upload = fxaa_reference::Upload(world.image());
    const Texture swizzled = fxaa_reference::SwizzlePass(upload);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        const Vec4 c = swizzled.at(x, y);
        EXPECT_FLOAT_EQ(upload.at(x, y).r, 1.0f);  // alpha arrives in r
        EXPECT_FLOAT_EQ(c.r, (10 + x) / 255.0f);
        EXPECT_FLOAT_EQ(c.g, (20 + y) / 255.0f);
        EXPECT_FLOAT_EQ(c.b, 30 / 255.0f);
        EXPECT_FLOAT_EQ(c.a, 1.0f);
      }
    }
  }
}

TEST(FxaaReferenceChannels, RejectsDepthsOtherThan8And32) {
  HostWorld world(2, 2, 8);
  HostImage image = world.image();
  image.bitDepth = 16;
  EXPECT_THROW(fxaa_reference::Upload(image), std::invalid_argument);
  image.bitDepth = 32;  // rows too short for float pixels
  EXPECT_THROW(fxaa_reference::Upload(image), std::invalid_argument);
}

TEST(FxaaReferenceReadBack, BytesClampScaleAndRoundHalfToEven) {
  struct Case {
    float value;
    int expected;
  };
  const Case cases[] = {{0.0f, 0},   {1.0f, 255}, {-0.5f, 0},    {2.5f, 255},  {kInf, 255},
                        {-kInf, 0},  {kNaN, 0},   {0.25f, 64},   {0.75f, 191}, {0.5f, 128},
                        {1.0f / 255.0f, 1}, {254.0f / 255.0f, 254}};
  for (const Case& c : cases) EXPECT_EQ(fxaa_reference::FloatToByte(c.value), c.expected) << c.value;
  int halves = 0;
  for (int k = 0; k < 255; ++k) {
    const float v = (k + 0.5f) / 255.0f;
    if (v * 255.0f != k + 0.5f) continue;  // only values that land exactly on a half
    ++halves;
    EXPECT_EQ(fxaa_reference::FloatToByte(v), k % 2 == 0 ? k : k + 1) << k;
  }
  EXPECT_GT(halves, 10);
}

TEST(FxaaReferenceFrame, FlatImagesComeBackUnchanged) {
  struct Case {
    int depth, width, height, mode;
    float a, r, g, b;  // world units
  };
  const Case cases[] = {
      {8, 16, 16, 0, 255, 255, 0, 0},      {8, 13, 7, 0, 128, 40, 90, 7},
      {8, 13, 7, 1, 255, 40, 90, 7},       {32, 16, 16, 0, 0.5f, 0.25f, 0.125f, 0.0f},
      {32, 9, 11, 0, 2.5f, -1.0f, 65504.0f, 3.0f}, {32, 9, 11, 1, 1.0f, 2.5f, 0.3f, 0.7f}};
  for (const Case& c : cases) {
    for (float strength : {1.0f, 0.4f, 0.0f}) {
      SCOPED_TRACE(testing::Message() << c.depth << " bit " << c.width << "x" << c.height
                                      << " mode " << c.mode << " strength " << strength);
      HostWorld world(c.width, c.height, c.depth, 2);
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) world.SetPixel(x, y, c.a, c.r, c.g, c.b);
      FxaaParams params;
      params.mode = c.mode;
      params.strength = strength;
      const FloatImage out = Render(world, params);
      for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
          for (int ch = 0; ch < 4; ++ch) {
            const float in = world.Get(x, y, ch);
            // v * s + v * (1 - s) may round by an ulp between the end points.
            const float slack = (strength == 0.0f || strength == 1.0f) ? 0.0f
                                                                       : 4e-7f * std::fabs(in);
            ASSERT_NEAR(out.at(x, y, ch), in, slack) << x << "," << y << " channel " << ch;
          }
        }
      }
    }
  }
}

TEST(FxaaReferenceFrame, StraightEdgesComeBackUnchanged) {
  struct Case {
    int depth, width, height;
    bool vertical;
    int at;
    float reduceMult, reduceMin;
  };
  const Case cases[] = {
      {8, 16, 16, true, 8, 0.125f, 0.0078125f},   {8, 12, 10, true, 3, 0.125f, 0.0078125f},
      {8, 12, 10, false, 5, 0.125f, 0.0078125f},  {32, 16, 8, true, 1, 0.125f, 0.0078125f},
      {32, 16, 8, false, 4, 0.125f, 0.0078125f},  {8, 12, 10, true, 6, 0.0f, 0.0f},
      {32, 16, 8, false, 2, 0.0f, 0.0f}};
  for (const Case& c : cases) {
    for (int mode : {0, 1}) {
      SCOPED_TRACE(testing::Message() << c.depth << " bit " << c.width << "x" << c.height
                                      << (c.vertical ? " vertical at " : " horizontal at ")
                                      << c.at << " reduce " << c.reduceMin << " mode " << mode);
      HostWorld world(c.width, c.height, c.depth);
      const float k = world.one();
      for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
          const bool first = c.vertical ? x < c.at : y < c.at;
          // Opaque on both sides, so alpha mode's composite keeps the colour too.
          if (first)
            world.SetPixel(x, y, k, 0.2f * k, 0.6f * k, 1.0f * k);
          else
            world.SetPixel(x, y, k, 1.0f * k, 0.0f, 0.4f * k);
        }
      }
      FxaaParams params;
      params.mode = mode;
      params.reduceMult = c.reduceMult;
      params.reduceMin = c.reduceMin;
      const FloatImage out = Render(world, params);
      EXPECT_TRUE(AllFinite(out));
      EXPECT_EQ(ChangedPixels(world, out), 0);
    }
  }
}

TEST(FxaaReferenceFrame, StrengthZeroReturnsTheInputExactly) {
  for (int depth : {8, 32}) {
    for (int mode : {0, 1}) {
      SCOPED_TRACE(testing::Message() << depth << " bit, mode " << mode);
      // Float sizes are powers of two: there the texel centres are exact and nothing leaks.
      HostWorld world(depth == 8 ? 23 : 16, depth == 8 ? 19 : 8, depth, 3);
      FillRandom(&world, 7u + depth + mode);
      FxaaParams params;
      params.mode = mode;
      params.strength = 0.0f;
      params.span = 30.0f;
      EXPECT_EQ(ChangedPixels(world, Render(world, params)), 0);
    }
  }
}

TEST(FxaaReferenceFrame, SpanZeroLeavesColourModeUnchanged) {
  for (int depth : {8, 32}) {
    SCOPED_TRACE(depth);
    HostWorld world(depth == 8 ? 17 : 16, 16, depth);
    FillRandom(&world, 11u + depth);
    FxaaParams params;
    params.span = 0.0f;
    EXPECT_EQ(ChangedPixels(world, Render(world, params)), 0);
    params.span = 8.0f;  // the same image is smoothed once the search may move
    EXPECT_GT(ChangedPixels(world, Render(world, params)), 0);
  }
}

TEST(FxaaReferenceFrame, DiagonalEdgePixelTakesTheFourTapBlend) {
  // White (luma 2 with alpha) where x > y, opaque black (luma 1) elsewhere. At (4, 4) only NE is
  // white: dir = (-1, -1), dirReduce = 5 * 0.25 * 0.125, so each component becomes
  // -d = -1 / (1 + dirReduce) texels along the edge. A tap at offset f * d on both axes picks up
  // one white texel with bilinear weight t * (1 - t), t = |f| * d.
  HostWorld world(8, 8, 32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const float w = x > y ? 1.0f : 0.0f;
      world.SetPixel(x, y, 1.0f, w, w, w);
    }
  const FloatImage out = Render(world, FxaaParams());
  const double d = 1.0 / (1.0 + 5 * 0.25 * 0.125);
  const auto weight = [](double t) { return t * (1.0 - t); };
  const double ra = weight(d / 6.0);  // 0.5 * (two taps of equal weight)
  const double rb = 0.5 * ra + 0.25 * 2.0 * weight(d / 2.0);
  for (int ch = 1; ch < 4; ++ch) EXPECT_NEAR(out.at(4, 4, ch), rb, 2e-6) << ch;
  EXPECT_EQ(out.at(4, 4, 0), 1.0f);
  // Far from the edge nothing moves.
  EXPECT_EQ(out.at(0, 7, 1), 0.0f);
  EXPECT_EQ(out.at(7, 0, 1), 1.0f);
}

TEST(FxaaReferenceFrame, AlphaModeCompositesOverTheUnpremultipliedAverage) {
  // A flat premultiplied pixel: the average equals it, un-premultiplied it is c / a, and the
  // composite gives c / a * (1 - a) + c * a; alpha stays a.
  const float a = 0.5f, c[3] = {0.25f, 0.125f, 0.0625f};
  HostWorld world(16, 16, 32);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) world.SetPixel(x, y, a, c[0], c[1], c[2]);
  FxaaParams params;
  params.mode = 1;
  const FloatImage out = Render(world, params);
  for (int y = 0; y < 16; y += 5) {
    for (int x = 0; x < 16; x += 3) {
      EXPECT_FLOAT_EQ(out.at(x, y, 0), a);
      for (int ch = 0; ch < 3; ++ch)
        EXPECT_FLOAT_EQ(out.at(x, y, ch + 1), c[ch] / a * (1 - a) + c[ch] * a);
    }
  }
}

TEST(FxaaReferenceFrame, AlphaModeSmoothsOnlyAlphaWhereTheSourceIsOpaque) {
  // A diagonal alpha edge over random colours: opaque pixels keep their colour exactly; alpha
  // along the staircase is smoothed.
  HostWorld world(16, 16, 32);
  FillRandom(&world, 5u);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) world.Set(x, y, 0, x > y ? 1.0f : 0.0f);
  FxaaParams params;
  params.mode = 1;
  const FloatImage out = Render(world, params);
  int alphaChanged = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      if (out.at(x, y, 0) != world.Get(x, y, 0)) ++alphaChanged;
      if (world.Get(x, y, 0) != 1.0f) continue;
      for (int ch = 1; ch < 4; ++ch) EXPECT_EQ(out.at(x, y, ch), world.Get(x, y, ch));
    }
  }
  EXPECT_GT(alphaChanged, 0);
}

TEST(FxaaReferenceGuards, TransparentNeighbourhoodInAlphaModeIsBlackNotNaN) {
  // Alpha 0 everywhere except an opaque block in one corner; the far corner's 21 x 21 average
  // has alpha 0. Colour left in transparent pixels must not matter either.
  for (int depth : {8, 32}) {
    SCOPED_TRACE(depth);
    HostWorld world(32, 32, depth);
    const float k = world.one();
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const bool opaque = x < 4 && y < 4;
        world.SetPixel(x, y, opaque ? k : 0.0f, 0.8f * k, 0.5f * k, 0.2f * k);
      }
    FxaaParams params;
    params.mode = 1;
    const FloatImage out = Render(world, params);
    EXPECT_TRUE(AllFinite(out));
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(out.at(31, 31, ch), 0.0f) << ch;
  }
}

TEST(FxaaReferenceGuards, ZeroReduceTermsTakeNoStepInsteadOfNaN) {
  FxaaParams params;
  params.reduceMin = 0.0f;
  for (float reduceMult : {0.125f, 0.0f}) {
    SCOPED_TRACE(reduceMult);
    params.reduceMult = reduceMult;
    // Transparent black around (4, 4), so every luma there is 0: 0 / 0 and 0 * infinity
    // without the guard. A white texel two steps away diagonally would be picked up by any
    // search step along the diagonal.
    HostWorld world(16, 16, 32);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) world.SetPixel(x, y, 0.0f, 0.0f, 0.0f, 0.0f);
    world.SetPixel(6, 6, 1.0f, 1.0f, 1.0f, 1.0f);
    for (int mode : {0, 1}) {
      params.mode = mode;
      const FloatImage out = Render(world, params);
      EXPECT_TRUE(AllFinite(out)) << mode;
      // Alpha mode filters alpha only; its colour comes from the box underlay.
      for (int ch = 0; ch < (mode == 0 ? 4 : 1); ++ch)
        EXPECT_EQ(out.at(4, 4, ch), 0.0f) << mode << " " << ch;
    }
  }
  // Without any reduce term ordinary images stay finite too.
  params.reduceMult = 0.0f;
  for (int mode : {0, 1}) {
    HostWorld world(16, 16, 32);
    FillRandom(&world, 21u);
    params.mode = mode;
    EXPECT_TRUE(AllFinite(Render(world, params))) << mode;
  }
}

TEST(FxaaReferenceGuards, NonFiniteInputStaysNearWhereItIs) {
  struct Case {
    int mode;
    float span;
    int reach;  // texels a value can travel: one in the swizzle pass, then the taps or the box
  };
  const Case cases[] = {{0, 8.0f, 7}, {1, 2.0f, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    HostWorld clean(40, 40, 32);
    FillRandom(&clean, 3u);
    HostWorld dirty = clean;
    dirty.Set(2, 3, 1, kNaN);
    dirty.Set(37, 36, 0, kInf);
    dirty.Set(36, 2, 3, -kInf);
    FxaaParams params;
    params.mode = c.mode;
    params.span = c.span;
    const FloatImage expected = Render(clean, params);
    const FloatImage out = Render(dirty, params);
    const std::vector<uint8_t> bytes = fxaa_reference::RenderBytes(dirty.image(), params);
    ASSERT_EQ(bytes.size(), out.argb.size());
    int compared = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 40; ++x) {
        const auto far = [&](int px, int py) {
          return std::abs(x - px) > c.reach || std::abs(y - py) > c.reach;
        };
        if (!far(2, 3) || !far(37, 36) || !far(36, 2)) continue;
        ++compared;
        for (int ch = 0; ch < 4; ++ch) ASSERT_EQ(out.at(x, y, ch), expected.at(x, y, ch));
      }
    }
    EXPECT_GT(compared, 100);
    EXPECT_FALSE(AllFinite(out));  // the bad values themselves are not hidden
  }
}

}  // namespace
