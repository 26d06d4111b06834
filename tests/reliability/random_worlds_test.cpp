// Generated frames through the built plug-in: sizes from 1 pixel to a few hundred, and single
// sizes beyond the driver's texture limit; padded rows of any length; 8 and 32 bits and depths
// the plug-in must refuse; NaN and infinite floats; output worlds larger and smaller than the
// input. After every frame: nothing outside the host's buffers was written, no row padding was
// touched, the input is unchanged, a refused frame (its depth, its size, input rows too short
// or without memory) returned its error with the output cleared,
// and an accepted one equals the same frame rendered into plain, unpadded worlds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/reliability/max_texture_size.h"
#include "tests/reliability/reliability_support.h"
#include "tests/render/render_plugin_fixture.h"
#include "tests/support/capture_stdout.h"

namespace {

using host_runtime::World;

constexpr unsigned kSeed = 20261208;
constexpr int kFrames = 1200;

// Depths a host might send that the plug-in never announced.
const int kRefusedDepths[] = {16, 0, 1, 10, 24, 64, -32};

struct FrameCase {
  int width = 1, height = 1;
  int outWidth = 1, outHeight = 1;
  int depth = 8;
  int inPadding = 0, outPadding = 0;  // bytes, any number: not always whole pixels
  bool noPixels = false;              // a layer without pixels
  bool huge = false;                  // one side beyond GL_MAX_TEXTURE_SIZE
  int malformed = 0;                  // input rows too short (1), backwards (2), no memory (3)
  FrameParams params;
  unsigned contentSeed = 0;
};

bool Accepted(const FrameCase& f) { return f.depth == 8 || f.depth == 32; }

// Mostly small frames (llvmpipe is slow and the sanitizers slower), some up to a few hundred
// pixels a side, one in a hundred beyond the texture limit in one direction.
FrameCase Generate(std::mt19937& rng, int maxTextureSize) {
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto chance = [&](double p) { return std::bernoulli_distribution(p)(rng); };
  auto side = [&] {
    const int band = uniform(0, 99);
    return band < 70 ? uniform(1, 48) : band < 95 ? uniform(49, 200) : uniform(201, 320);
  };
  FrameCase f;
  f.width = side();
  f.height = side();
  const int kind = uniform(0, 99);
  f.depth = kind < 42 ? 8 : kind < 84 ? 32 : kRefusedDepths[uniform(0, 6)];
  if (chance(0.01) && Accepted(f)) {
    f.huge = true;
    f.depth = 8;  // keeps the huge world small in memory: it is refused before any upload
    const int beyond = maxTextureSize + uniform(1, maxTextureSize);
    if (chance(0.5)) {
      f.width = beyond;
      f.height = uniform(1, 2);
    } else {
      f.width = uniform(1, 2);
      f.height = beyond;
    }
  }
  f.inPadding = chance(0.5) ? 0 : uniform(1, 70);
  f.outPadding = chance(0.5) ? 0 : uniform(1, 70);
  const int shape = uniform(0, 9);
  f.outWidth = f.width;
  f.outHeight = f.height;
  if (!f.huge && shape >= 6 && shape < 8) {  // larger
    f.outWidth += uniform(0, 20);
    f.outHeight += uniform(1, 20);
  } else if (!f.huge && shape >= 8) {  // smaller, possibly empty
    f.outWidth = uniform(0, f.width);
    f.outHeight = uniform(0, f.height);
  }
  f.noPixels = chance(0.02);
  if (!f.huge && Accepted(f) && chance(0.02)) f.malformed = uniform(1, 3);
  f.params.source = chance(0.2) ? 2 : 1;
  f.params.strength = uniform(0, 100);
  f.params.span = uniform(0, 16);
  f.params.reduceMult = uniform(0, 4);
  f.params.reduceMin = uniform(0, 4);
  const unsigned den[] = {1, 2, 4};
  f.params.downsample = {1, den[uniform(0, 2)]};
  f.contentSeed = static_cast<unsigned>(rng());
  return f;
}

// Random pixels in the world's units; float worlds also get NaN, infinities, negatives,
// denormals and values far above 1 in some channels.
void FillContent(World* world, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            -2.5f,
                            std::numeric_limits<float>::denorm_min(),
                            65504.0f,
                            1e30f};
  const bool floats = world->bitDepth() == 32;
  for (int y = 0; y < world->height(); ++y)
    for (int x = 0; x < world->width(); ++x)
      for (int c = 0; c < 4; ++c) {
        float v = unit(rng);
        if (floats && unit(rng) < 0.05f) v = specials[rng() % 7];
        world->setChannel(x, y, c, floats ? v : std::round(v * 255.0f));
      }
}

class RandomWorldsTest : public RenderPluginTest {
 protected:
  void SetUp() override {
    // Asked before the plug-in makes any context, on a context of the test's own.
    maxTextureSize_ = reliability::MaxTextureSize();
    ASSERT_GT(maxTextureSize_, 0) << "no OpenGL context to ask for GL_MAX_TEXTURE_SIZE";
    RenderPluginTest::SetUp();
  }

  // The frame with no padding and an output of the input's size: what the overlap must hold.
  std::unique_ptr<World> Plain(const FrameCase& f) {
    World input(f.width, f.height, f.depth);
    FillContent(&input, f.contentSeed);
    std::unique_ptr<World> output(new World(f.width, f.height, f.depth));
    CaptureStdout quiet;
    EXPECT_EQ(host().SmartRender(&input, output.get(), f.depth), PF_Err_NONE);
    quiet.Finish();
    return output;
  }

  int maxTextureSize_ = 0;
};

TEST_F(RandomWorldsTest, GeneratedFramesStayInsideTheHostBuffersAndRefuseWhatTheyMust) {
  std::mt19937 rng(kSeed);
  int accepted = 0, refusedDepth = 0, refusedSize = 0, refusedLayout = 0, noPixels = 0;
  int padded = 0, resized = 0;
  for (int frame = 0; frame < kFrames; ++frame) {
    const FrameCase f = Generate(rng, maxTextureSize_);
    SCOPED_TRACE("frame " + std::to_string(frame) + ": " + std::to_string(f.width) + "x" +
                 std::to_string(f.height) + " into " + std::to_string(f.outWidth) + "x" +
                 std::to_string(f.outHeight) + " at " + std::to_string(f.depth) +
                 " bits, padding " + std::to_string(f.inPadding) + "/" +
                 std::to_string(f.outPadding) + ", source " + std::to_string(f.params.source));
    Apply(f.params);
    World input(f.width, f.height, f.depth, f.inPadding);
    World output(f.outWidth, f.outHeight, f.depth, f.outPadding);
    if (!f.huge) FillContent(&input, f.contentSeed);
    reliability::FillBytes(&output, 0x6B);
    const std::vector<uint8_t> inputBefore = reliability::RawBytes(input);
    PF_EffectWorld& in = *input.get();
    const PF_EffectWorld inputAsMade = in;
    if (f.malformed == 1) in.rowbytes = in.width * input.bytesPerPixel() - 1;
    if (f.malformed == 2) in.rowbytes = -in.rowbytes;
    if (f.malformed == 3) in.data = nullptr;

    CaptureStdout quiet;  // refusals print their reason; the codes are checked here
    const PF_Err err = host().SmartRender(f.noPixels ? nullptr : &input, &output, f.depth);
    quiet.Finish();
    in = inputAsMade;

    ASSERT_TRUE(output.GuardsIntact()) << "written outside the output buffer";
    ASSERT_TRUE(output.PaddingIntact()) << "written into an output row's padding";
    ASSERT_TRUE(reliability::RawBytes(input) == inputBefore) << "the input was written";
    ASSERT_EQ(host().OutstandingParams(), 0);
    ASSERT_EQ(host().OutstandingSuites(), 0);
    padded += f.inPadding != 0 || f.outPadding != 0;
    resized += f.outWidth != f.width || f.outHeight != f.height;

    if (f.noPixels) {
      ++noPixels;
      ASSERT_EQ(err, PF_Err_NONE);
      ASSERT_TRUE(output.AllZero());
      continue;
    }
    if (f.malformed != 0) {
      ++refusedLayout;
      ASSERT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
      ASSERT_TRUE(output.AllZero()) << "a refused frame leaves the output cleared";
      continue;
    }
    if (!Accepted(f)) {
      ++refusedDepth;
      ASSERT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
      ASSERT_TRUE(output.AllZero()) << "a refused frame leaves the output cleared";
      continue;
    }
    if (f.huge) {
      ++refusedSize;
      ASSERT_EQ(err, PF_Err_OUT_OF_MEMORY);
      ASSERT_TRUE(output.AllZero()) << "a refused frame leaves the output cleared";
      continue;
    }
    ++accepted;
    ASSERT_EQ(err, PF_Err_NONE);

    const bool plain = f.inPadding == 0 && f.outPadding == 0 && f.outWidth == f.width &&
                       f.outHeight == f.height;
    if (plain) continue;  // this frame is its own plain render
    const std::unique_ptr<World> want = Plain(f);
    const size_t pixelBytes = size_t(output.bytesPerPixel());
    for (int y = 0; y < f.outHeight; ++y) {
      const uint8_t* got = output.row(y);
      for (int x = 0; x < f.outWidth; ++x) {
        const uint8_t* p = got + size_t(x) * pixelBytes;
        if (x < f.width && y < f.height) {
          ASSERT_EQ(std::memcmp(p, want->row(y) + size_t(x) * pixelBytes, pixelBytes), 0)
              << "pixel " << x << ", " << y << " differs from the plain render";
        } else {
          for (size_t b = 0; b < pixelBytes; ++b)
            ASSERT_EQ(p[b], 0) << "pixel " << x << ", " << y << " outside the input is not clear";
        }
      }
    }
  }
  EXPECT_GT(accepted, kFrames / 2);
  EXPECT_GT(refusedDepth, 0);
  EXPECT_GT(refusedSize, 0);
  EXPECT_GT(refusedLayout, 0);
  reliability::ReportFigure("random frames run", kFrames);
  reliability::ReportFigure("random frames rendered", accepted);
  reliability::ReportFigure("random frames refused for their bit depth", refusedDepth);
  reliability::ReportFigure("random frames refused beyond GL_MAX_TEXTURE_SIZE", refusedSize);
  reliability::ReportFigure("random frames refused for input rows they cannot reach",
                            refusedLayout);
  reliability::ReportFigure("random frames of a layer without pixels", noPixels);
  reliability::ReportFigure("random frames with padded rows", padded);
  reliability::ReportFigure("random frames with an output of another size", resized);
  reliability::ReportFigure("GL_MAX_TEXTURE_SIZE", maxTextureSize_);
}

}  // namespace
