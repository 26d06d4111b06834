// Images into host worlds and back, premultiplication, and the reduced-resolution frame.
#include "cli/pixel_convert.h"

#include "cli_test_util.h"

namespace {

using namespace fxaa_cli;

TEST(HostWorlds, CarryThePixelsInPaddedRowsAtTheImagesDepth) {
  for (SampleType type : {SampleType::kUInt8, SampleType::kUInt16, SampleType::kFloat}) {
    const Image image = cli_test::MakeImage(11, 5, ChannelLayout::kRGBA, type, 7);
    std::unique_ptr<host_runtime::World> world = ImageToWorld(image);
    const int depth = type == SampleType::kUInt8 ? 8 : 32;
    ASSERT_EQ(world->bitDepth(), depth);
    EXPECT_GT(world->rowbytes(), 11 * host_runtime::World::BytesPerPixel(depth));
    EXPECT_EQ(world->rowbytes() % 64, 0);
    EXPECT_TRUE(world->PaddingIntact());
    // Pixel (3, 2) channel by channel, alpha first as the host keeps it.
    for (int c = 0; c < 4; ++c) {
      const float expected = depth == 8 ? image.bytes[4 * (2 * 11 + 3) + c]
                                        : image.floats[4 * (2 * 11 + 3) + c];
      EXPECT_EQ(world->channel(3, 2, c), expected) << SampleTypeName(type) << " channel " << c;
    }
    const Image back = WorldToImage(*world, image);
    EXPECT_EQ(back.type, type);
    EXPECT_TRUE(cli_test::SamePixels(back, image)) << SampleTypeName(type);
  }
}

TEST(Premultiplication, EightBitRoundTripRestoresEveryValidValue) {
  // Premultiplied colour never exceeds alpha; each such value must come back unchanged.
  Image image;
  image.width = 256 * 257 / 2;
  image.height = 1;
  image.type = SampleType::kUInt8;
  image.Allocate();
  size_t i = 0;
  for (int a = 0; a < 256; ++a)
    for (int c = 0; c <= a; ++c, i += 4) {
      image.bytes[i] = static_cast<uint8_t>(a);
      image.bytes[i + 1] = image.bytes[i + 2] = image.bytes[i + 3] = static_cast<uint8_t>(c);
    }
  ASSERT_EQ(i, image.bytes.size());
  Image straight = image;
  Unpremultiply(&straight);
  // Half-covered mid grey (alpha 128, colour 64) is about 50 % grey once straight.
  EXPECT_EQ(straight.bytes[4 * (128 * 129 / 2 + 64) + 1], 128);
  Premultiply(&straight);
  EXPECT_TRUE(cli_test::SamePixels(straight, image));
}

TEST(Premultiplication, FloatsDivideAndMultiplyByAlpha) {
  Image image;
  image.width = 3;
  image.height = 1;
  image.type = SampleType::kFloat;
  image.floats = {0.5f, 0.25f, 0.1f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 2.0f, 1.0f, 1.0f, 1.0f};
  Image straight = image;
  Unpremultiply(&straight);
  EXPECT_FLOAT_EQ(straight.floats[1], 0.5f);
  EXPECT_FLOAT_EQ(straight.floats[2], 0.2f);
  EXPECT_FLOAT_EQ(straight.floats[3], 1.0f);
  EXPECT_EQ(straight.floats[5], 0.0f);  // alpha 0 keeps its colour
  EXPECT_FLOAT_EQ(straight.floats[9], 0.5f);  // over-range alpha divides as well
  Premultiply(&straight);
  for (size_t k = 0; k < image.floats.size(); ++k)
    EXPECT_FLOAT_EQ(straight.floats[k], image.floats[k]) << k;
}

TEST(Downsampling, AveragesEachBlockWeightedByAlphaAndRoundsTheSizeUp) {
  Image image;
  image.width = 3;
  image.height = 3;
  image.type = SampleType::kFloat;
  image.Allocate();
  auto set = [&](int x, int y, float a, float r) {
    float* p = image.floatRow(y) + 4 * x;
    p[0] = a, p[1] = r, p[2] = r * 0.5f, p[3] = 0;
  };
  // Top-left 2x2 block: two opaque reds 1.0 and 0.0, one half-covered 1.0, one invisible 0.7.
  set(0, 0, 1, 1);
  set(1, 0, 1, 0);
  set(0, 1, 0.5f, 1);
  set(1, 1, 0, 0.7f);
  // Right column (partial blocks) and bottom row.
  set(2, 0, 1, 0.25f);
  set(2, 1, 1, 0.75f);
  set(0, 2, 0, 0.2f);
  set(1, 2, 0, 0.4f);
  set(2, 2, 1, 1);

  const Image half = Downsample(image, 2);
  ASSERT_EQ(half.width, 2);
  ASSERT_EQ(half.height, 2);
  const float* p = half.floatRow(0);
  EXPECT_FLOAT_EQ(p[0], 2.5f / 4);          // mean alpha
  EXPECT_FLOAT_EQ(p[1], 1.5f / 2.5f);       // invisible 0.7 does not count
  EXPECT_FLOAT_EQ(p[2], 0.75f / 2.5f);
  EXPECT_FLOAT_EQ(p[4 + 1], 0.5f);          // right edge: two pixels only
  const float* q = half.floatRow(1);
  EXPECT_FLOAT_EQ(q[0], 0.0f);
  EXPECT_FLOAT_EQ(q[1], 0.3f);              // nothing visible: plain mean
  EXPECT_FLOAT_EQ(q[4 + 1], 1.0f);

  EXPECT_TRUE(cli_test::SamePixels(Downsample(image, 1), image));
}

TEST(Downsampling, EightBitBlocksAverageInBytes) {
  Image image = cli_test::MakeImage(4, 1, ChannelLayout::kRGB, SampleType::kUInt8);
  const uint8_t reds[4] = {10, 12, 100, 250};
  for (int x = 0; x < 4; ++x) image.bytes[4 * x + 1] = reds[x];
  const Image half = Downsample(image, 2);
  ASSERT_EQ(half.width, 2);
  EXPECT_EQ(half.bytes[1], 11);
  EXPECT_EQ(half.bytes[5], 175);
  EXPECT_EQ(half.bytes[0], 255);
}

}  // namespace
