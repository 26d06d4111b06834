// TIFF and JPEG files made with the libraries themselves: a TIFF comes back at its depth, sample
// format, channels, compression and alpha kind, whatever its layout on disk; palette and low-depth
// grey TIFFs read as the PNGs of the same samples; a JPEG keeps its ICC profile, EXIF,
// subsampling and progressive mode, and --quality reaches the encoder.
#include <png.h>

#include <cmath>

#include "cli_test_util.h"
#include "tests/support/raw_png.h"
#include "tiff_jpeg_files.h"

namespace {

using namespace fxaa_cli;
using cli_test::ScratchDir;
using cli_test::TiffRecipe;

struct TiffCase {
  const char* name;
  TiffRecipe recipe;
  ChannelLayout layout;
  SampleType type;
};

std::ostream& operator<<(std::ostream& out, const TiffCase& c) { return out << c.name; }

TiffRecipe Recipe(uint16_t bits, uint16_t format, int colour, int alphaKind, uint16_t compression,
                  bool tiled, bool planar) {
  TiffRecipe r;
  r.width = 37, r.height = 21;  // tiles of 16 hang over both edges
  r.bits = bits, r.sampleFormat = format, r.colour = colour, r.alphaKind = alphaKind;
  r.compression = compression, r.tiled = tiled, r.planar = planar;
  return r;
}

class TiffVariant : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffVariant, IsWrittenBackAsItCameWithTheSameSamples) {
  const TiffCase& c = GetParam();
  ScratchDir dir;
  const std::vector<uint8_t> samples = cli_test::TiffSamples(c.recipe);
  ASSERT_TRUE(cli_test::WriteTiffFile(dir / "in.tif", c.recipe, samples));

  const Image image = ReadImage(dir / "in.tif");
  EXPECT_EQ(image.format, &TiffFormat());
  EXPECT_EQ(image.layout, c.layout);
  EXPECT_EQ(image.type, c.type);
  WriteImage(image, dir / "out.tif");

  const cli_test::TiffContent out = cli_test::ReadTiffFile(dir / "out.tif");
  EXPECT_EQ(out.bits, c.recipe.bits);
  EXPECT_EQ(out.sampleFormat, c.recipe.sampleFormat);
  EXPECT_EQ(out.samplesPerPixel, cli_test::TiffSamplesPerPixel(c.recipe));
  EXPECT_EQ(out.compression, c.recipe.compression);
  EXPECT_EQ(out.alphaKind, c.recipe.alphaKind);
  ASSERT_EQ(out.samples.size(), samples.size());
  if (c.type != SampleType::kFloat || c.recipe.alphaKind != EXTRASAMPLE_ASSOCALPHA) {
    // Integers and half: un-premultiplying and premultiplying again lands on the same step.
    EXPECT_TRUE(out.samples == samples);
    return;
  }
  // Float colour divided by alpha and multiplied again: two roundings of 2^-24 each.
  for (size_t i = 0; i < samples.size(); i += 4) {
    float in, back;
    std::memcpy(&in, &samples[i], 4);
    std::memcpy(&back, &out.samples[i], 4);
    ASSERT_NEAR(back, in, std::ldexp(std::fabs(in), -22)) << "sample " << i / 4;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffVariant,
    ::testing::Values(
        TiffCase{"y8_deflate", Recipe(8, SAMPLEFORMAT_UINT, 1, -1, COMPRESSION_ADOBE_DEFLATE, false, false),
                 ChannelLayout::kY, SampleType::kUInt8},
        TiffCase{"rgb16_lzw_tiles_planes", Recipe(16, SAMPLEFORMAT_UINT, 3, -1, COMPRESSION_LZW, true, true),
                 ChannelLayout::kRGB, SampleType::kUInt16},
        TiffCase{"ya16_packbits_associated",
                 Recipe(16, SAMPLEFORMAT_UINT, 1, EXTRASAMPLE_ASSOCALPHA, COMPRESSION_PACKBITS, false, false),
                 ChannelLayout::kYA, SampleType::kUInt16},
        TiffCase{"rgba8_tiles_associated",
                 Recipe(8, SAMPLEFORMAT_UINT, 3, EXTRASAMPLE_ASSOCALPHA, COMPRESSION_NONE, true, false),
                 ChannelLayout::kRGBA, SampleType::kUInt8},
        TiffCase{"rgbahalf_planes_unassociated",
                 Recipe(16, SAMPLEFORMAT_IEEEFP, 3, EXTRASAMPLE_UNASSALPHA, COMPRESSION_ADOBE_DEFLATE, false, true),
                 ChannelLayout::kRGBA, SampleType::kHalf},
        TiffCase{"rgbafloat_lzw_tiles_associated",
                 Recipe(32, SAMPLEFORMAT_IEEEFP, 3, EXTRASAMPLE_ASSOCALPHA, COMPRESSION_LZW, true, false),
                 ChannelLayout::kRGBA, SampleType::kFloat},
        TiffCase{"yafloat_unspecified_extra",
                 Recipe(32, SAMPLEFORMAT_IEEEFP, 1, EXTRASAMPLE_UNSPECIFIED, COMPRESSION_NONE, false, false),
                 ChannelLayout::kYA, SampleType::kFloat}),
    [](const ::testing::TestParamInfo<TiffCase>& info) { return std::string(info.param.name); });

// A palette or grey TIFF of one colour sample a pixel (and an alpha plane), and the compression
// of the 8-bit file written back from it.
struct ExpandedCase {
  const char* name;
  uint16_t bits, photometric, compression;
  bool tiled, alphaPlane, leastBitFirst, eightBitColormap;
  uint16_t written;
};

std::ostream& operator<<(std::ostream& out, const ExpandedCase& c) { return out << c.name; }

class ExpandedTiff : public ::testing::TestWithParam<ExpandedCase> {};

TEST_P(ExpandedTiff, ReadsAsThePngOfTheSameSamplesAndIsWrittenBackAtEightBits) {
  const ExpandedCase& c = GetParam();
  if (!TIFFIsCODECConfigured(c.compression)) GTEST_SKIP() << "no codec " << c.compression;
  ScratchDir dir;
  TiffRecipe r = Recipe(c.bits, SAMPLEFORMAT_UINT, 1, c.alphaPlane ? EXTRASAMPLE_UNASSALPHA : -1,
                        c.compression, c.tiled, c.alphaPlane);
  r.photometric = c.photometric;
  if (c.leastBitFirst) r.fillOrder = FILLORDER_LSB2MSB;
  const size_t entries = c.photometric == PHOTOMETRIC_PALETTE ? size_t(1) << c.bits : 0;
  for (size_t i = 0; i < 3 * entries; ++i)
    r.colormap.push_back(uint16_t(c.eightBitColormap ? i * 7 % 256 : i * 40503 + 1234));
  // libtiff's converters keep the high byte of a 16-bit entry.
  auto byte = [&](size_t i) { return uint8_t(c.eightBitColormap ? r.colormap[i] : r.colormap[i] >> 8); };
  std::vector<png_color> palette;
  for (size_t i = 0; i < entries; ++i) palette.push_back({byte(i), byte(entries + i), byte(2 * entries + i)});
  std::vector<uint8_t> samples = cli_test::TiffSamples(r), values, trns;
  const int top = (1 << c.bits) - 1;
  for (int i = 0; c.alphaPlane && i <= top; ++i) trns.push_back(uint8_t(i * 97 + 13));
  for (size_t p = 0; p < samples.size(); p += c.alphaPlane ? 2 : 1) {
    if (c.alphaPlane) samples[p + 1] = trns[samples[p]];  // a PNG palette holds alpha by entry
    values.push_back(c.photometric == PHOTOMETRIC_MINISWHITE ? uint8_t(top - samples[p]) : samples[p]);
  }
  // The same samples as a PNG: grey, or indexes into the palette with alpha by entry.
  test_support::RawPng same(r.width, r.height, r.bits,
                            palette.empty() ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE);
  same.unpacked = true;
  same.palette = palette;
  same.paletteAlpha = trns;
  for (int y = 0; y < r.height; ++y)
    same.rows.emplace_back(values.begin() + y * r.width, values.begin() + (y + 1) * r.width);
  ASSERT_TRUE(test_support::WriteRawPng(dir / "same.png", same));
  ASSERT_TRUE(cli_test::WriteTiffFile(dir / "in.tif", r, samples));

  const Image tiff = ReadImage(dir / "in.tif"), png = ReadImage(dir / "same.png");
  EXPECT_EQ(tiff.layout, png.layout);
  EXPECT_EQ(tiff.fromPalette, png.fromPalette);
  EXPECT_TRUE(cli_test::SamePixels(tiff, png));
  WriteImage(tiff, dir / "out.tif");
  EXPECT_EQ(cli_test::ReadTiffFile(dir / "out.tif").bits, 8);
  EXPECT_EQ(cli_test::ReadTiffFile(dir / "out.tif").compression, c.written);
}

INSTANTIATE_TEST_SUITE_P(
    PaletteAndGrey, ExpandedTiff,
    ::testing::Values(
        ExpandedCase{"palette4_lzw_tiles", 4, PHOTOMETRIC_PALETTE, COMPRESSION_LZW, true, false, false, false,
                     COMPRESSION_LZW},
        ExpandedCase{"palette2_packbits_lsb_first", 2, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS, false, false,
                     true, false, COMPRESSION_PACKBITS},
        ExpandedCase{"palette8_alpha_plane_8_bit_map", 8, PHOTOMETRIC_PALETTE, COMPRESSION_ADOBE_DEFLATE, false,
                     true, false, true, COMPRESSION_ADOBE_DEFLATE},
        ExpandedCase{"white_is_zero1_g4_lsb_first", 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, false,
                     false, true, false, COMPRESSION_ADOBE_DEFLATE},
        ExpandedCase{"black_is_zero1_g3", 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_CCITTFAX3, false, false, false,
                     false, COMPRESSION_ADOBE_DEFLATE},
        ExpandedCase{"white_is_zero2_tiles", 2, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE, true, false, false,
                     false, COMPRESSION_NONE},
        ExpandedCase{"black_is_zero4", 4, PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE, false, false, false,
                     false, COMPRESSION_ADOBE_DEFLATE},
        ExpandedCase{"white_is_zero8_lzw", 8, PHOTOMETRIC_MINISWHITE, COMPRESSION_LZW, false, false, false,
                     false, COMPRESSION_LZW}),
    [](const ::testing::TestParamInfo<ExpandedCase>& info) { return std::string(info.param.name); });

TEST(TiffFiles, AssociatedAlphaIsStraightColourInTheFrame) {
  ScratchDir dir;
  TiffRecipe r = Recipe(8, SAMPLEFORMAT_UINT, 1, EXTRASAMPLE_ASSOCALPHA, COMPRESSION_NONE, false, false);
  r.width = 1, r.height = 1;
  ASSERT_TRUE(cli_test::WriteTiffFile(dir / "in.tif", r, {60, 120}));  // grey 60 at alpha 120
  const Image image = ReadImage(dir / "in.tif");
  EXPECT_EQ(image.bytes, (std::vector<uint8_t>{120, 128, 128, 128}));
}

TEST(TiffFiles, MultiPageFileGivesItsFirstPageAndJpegCompressionIsKept) {
  ScratchDir dir;
  TiffRecipe r = Recipe(8, SAMPLEFORMAT_UINT, 3, -1, COMPRESSION_JPEG, false, false);
  r.photometric = PHOTOMETRIC_YCBCR;
  r.width = 32, r.height = 16, r.pages = 2;
  ASSERT_TRUE(cli_test::WriteTiffFile(dir / "in.tif", r, cli_test::TiffSamples(r)));
  const Image image = ReadImage(dir / "in.tif");
  EXPECT_EQ(image.width, 32);
  EXPECT_EQ(image.layout, ChannelLayout::kRGB);
  WriteImage(image, dir / "out.tif");
  const cli_test::TiffContent out = cli_test::ReadTiffFile(dir / "out.tif");
  EXPECT_EQ(out.compression, COMPRESSION_JPEG);
  EXPECT_EQ(out.photometric, PHOTOMETRIC_YCBCR);
}

TEST(JpegFiles, KeepIccProfileExifSubsamplingAndProgression) {
  ScratchDir dir;
  cli_test::JpegRecipe r;
  r.progressive = true;
  r.lumaSampling = 1;  // 4:4:4, not the encoder's default
  for (int i = 0; i < 70000; ++i) r.icc.push_back(uint8_t(i * 31));  // two APP2 markers
  const std::string exif = std::string("Exif\0\0II*\0\x08\0\0\0", 14) + "camera notes";
  r.exif.assign(exif.begin(), exif.end());
  cli_test::WriteBytes(dir / "in.jpg", cli_test::JpegBytes(r));

  const Image image = ReadImage(dir / "in.jpg");
  EXPECT_EQ(image.format, &JpegFormat());
  EXPECT_EQ(image.layout, ChannelLayout::kRGB);
  WriteImage(image, dir / "out.jpeg");
  const cli_test::JpegContent out = cli_test::ReadJpegFile(dir / "out.jpeg");
  EXPECT_EQ(out.icc, r.icc);
  EXPECT_EQ(out.exif, r.exif);
  EXPECT_EQ(out.lumaSampling[0], 1);
  EXPECT_EQ(out.lumaSampling[1], 1);
  EXPECT_TRUE(out.progressive);
}

TEST(JpegFiles, QualityOptionReachesTheEncoderAndGreyStaysGrey) {
  ScratchDir dir;
  const Image grey = cli_test::MakeImage(64, 64, ChannelLayout::kY, SampleType::kUInt8, 5);
  WriteOptions low;
  low.formatOptions["quality"] = "20";
  WriteImage(grey, dir / "95.jpg");
  WriteImage(grey, dir / "20.jpg", low);
  EXPECT_LT(cli_test::FileBytes(dir / "20.jpg").size(), cli_test::FileBytes(dir / "95.jpg").size() / 2);
  EXPECT_EQ(cli_test::ReadJpegFile(dir / "20.jpg").components, 1);
  low.formatOptions["quality"] = "101";
  EXPECT_THROW(WriteImage(grey, dir / "bad.jpg", low), ImageError);
}

}  // namespace
