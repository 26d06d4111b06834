// Reading and writing PNG and OpenEXR files: every layout and depth round-trips exactly, odd
// encodings are expanded, and bad files fail with a message naming the file and the cause.
#include <png.h>
#include <zlib.h>

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <OpenEXR/ImfOutputPart.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfTiledOutputFile.h>
#include <cstdio>
#include <fstream>

#include "cli_test_util.h"
#include "tests/support/raw_png.h"

namespace {

using namespace fxaa_cli;
using cli_test::ScratchDir;
using test_support::RawPng;
using test_support::WriteRawPng;
namespace fs = std::filesystem;

struct PngHeader {
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = -1;
};

// The header of a PNG file as libpng reports it, to check what the writer chose.
PngHeader ReadPngHeader(const std::string& path) {
  PngHeader h;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return h;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_read_info(png, info);
    h.width = png_get_image_width(png, info);
    h.height = png_get_image_height(png, info);
    h.depth = png_get_bit_depth(png, info);
    h.colourType = png_get_color_type(png, info);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return h;
}

// Channel names and types of an EXR file, e.g. "A:float B:float G:float R:float".
std::string ExrChannels(const std::string& path) {
  Imf::InputFile file(path.c_str());
  std::string text;
  for (auto it = file.header().channels().begin(); it != file.header().channels().end(); ++it)
    text += std::string(text.empty() ? "" : " ") + it.name() + ":" +
            (it.channel().type == Imf::HALF ? "half" : it.channel().type == Imf::FLOAT ? "float" : "uint");
  return text;
}

struct LayoutCase {
  ChannelLayout layout;
  SampleType type;
  const char* file;
  int pngColourType;           // -1 for EXR
  const char* exrChannels;     // nullptr for PNG
};

std::ostream& operator<<(std::ostream& out, const LayoutCase& c) { return out << c.file; }

class RoundTrip : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(RoundTrip, WritesOwnLayoutAndTypeAndReadsBackTheSamePixels) {
  const LayoutCase& c = GetParam();
  ScratchDir dir;
  const Image original = cli_test::MakeImage(13, 7, c.layout, c.type, 42);
  const std::string path = dir / c.file;
  WriteImage(original, path);

  if (c.pngColourType >= 0) {
    const PngHeader h = ReadPngHeader(path);
    EXPECT_EQ(h.colourType, c.pngColourType);
    EXPECT_EQ(h.depth, c.type == SampleType::kUInt16 ? 16 : 8);
    EXPECT_EQ(h.width, 13u);
  } else {
    EXPECT_EQ(ExrChannels(path), c.exrChannels);
  }

  const Image back = ReadImage(path);
  EXPECT_EQ(back.layout, c.layout);
  EXPECT_EQ(back.type, c.type);
  EXPECT_TRUE(cli_test::SamePixels(back, original));
  // Inputs without alpha come in opaque.
  if (!HasAlpha(c.layout)) {
    if (back.type == SampleType::kUInt8)
      EXPECT_EQ(back.bytes[0], 255);
    else
      EXPECT_EQ(back.floats[0], 1.0f);
  }
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(dir.Files(), std::vector<std::string>{c.file});
}

INSTANTIATE_TEST_SUITE_P(
    EveryLayout, RoundTrip,
    ::testing::Values(
        LayoutCase{ChannelLayout::kY, SampleType::kUInt8, "y8.png", PNG_COLOR_TYPE_GRAY, nullptr},
        LayoutCase{ChannelLayout::kYA, SampleType::kUInt8, "ya8.png", PNG_COLOR_TYPE_GRAY_ALPHA, nullptr},
        LayoutCase{ChannelLayout::kRGB, SampleType::kUInt8, "rgb8.png", PNG_COLOR_TYPE_RGB, nullptr},
        LayoutCase{ChannelLayout::kRGBA, SampleType::kUInt8, "rgba8.png", PNG_COLOR_TYPE_RGBA, nullptr},
        LayoutCase{ChannelLayout::kY, SampleType::kUInt16, "y16.png", PNG_COLOR_TYPE_GRAY, nullptr},
        LayoutCase{ChannelLayout::kYA, SampleType::kUInt16, "ya16.png", PNG_COLOR_TYPE_GRAY_ALPHA, nullptr},
        LayoutCase{ChannelLayout::kRGB, SampleType::kUInt16, "rgb16.png", PNG_COLOR_TYPE_RGB, nullptr},
        LayoutCase{ChannelLayout::kRGBA, SampleType::kUInt16, "rgba16.png", PNG_COLOR_TYPE_RGBA, nullptr},
        LayoutCase{ChannelLayout::kY, SampleType::kHalf, "yh.exr", -1, "Y:half"},
        LayoutCase{ChannelLayout::kYA, SampleType::kHalf, "yah.exr", -1, "A:half Y:half"},
        LayoutCase{ChannelLayout::kRGB, SampleType::kHalf, "rgbh.exr", -1, "B:half G:half R:half"},
        LayoutCase{ChannelLayout::kRGBA, SampleType::kHalf, "rgbah.exr", -1, "A:half B:half G:half R:half"},
        LayoutCase{ChannelLayout::kY, SampleType::kFloat, "yf.exr", -1, "Y:float"},
        LayoutCase{ChannelLayout::kRGB, SampleType::kFloat, "rgbf.exr", -1, "B:float G:float R:float"},
        LayoutCase{ChannelLayout::kRGBA, SampleType::kFloat, "rgbaf.exr", -1,
                   "A:float B:float G:float R:float"}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) {
      std::string n = info.param.file;
      n[n.find('.')] = '_';
      return n;
    });

TEST(ImageFiles, PaletteFilesAreExpandedToTruecolourWithTransparency) {
  ScratchDir dir;
  RawPng png(3, 2, 8, PNG_COLOR_TYPE_PALETTE);
  png.palette = {{10, 20, 30}, {200, 100, 50}, {255, 255, 255}};
  png.rows = {{0, 1, 2}, {2, 1, 0}};
  ASSERT_TRUE(WriteRawPng(dir / "opaque.png", png));
  png.paletteAlpha = {0, 128};
  ASSERT_TRUE(WriteRawPng(dir / "keyed.png", png));

  const Image opaque = ReadImage(dir / "opaque.png");
  EXPECT_TRUE(opaque.fromPalette);
  EXPECT_EQ(opaque.layout, ChannelLayout::kRGB);
  EXPECT_EQ(std::vector<uint8_t>(opaque.bytes.begin(), opaque.bytes.begin() + 8),
            (std::vector<uint8_t>{255, 10, 20, 30, 255, 200, 100, 50}));

  const Image keyed = ReadImage(dir / "keyed.png");
  EXPECT_EQ(keyed.layout, ChannelLayout::kRGBA);
  // Entries 0 and 1 carry alpha 0 and 128; entry 2 has none listed, so it is opaque.
  EXPECT_EQ(keyed.bytes[0], 0);
  EXPECT_EQ(keyed.bytes[4], 128);
  EXPECT_EQ(keyed.bytes[8], 255);

  WriteImage(keyed, dir / "out.png");
  EXPECT_EQ(ReadPngHeader(dir / "out.png").colourType, PNG_COLOR_TYPE_RGBA);
  EXPECT_TRUE(cli_test::SamePixels(ReadImage(dir / "out.png"), keyed));
}

TEST(ImageFiles, LowBitDepthGreyIsScaledToFullBytes) {
  ScratchDir dir;
  // 1-bit grey: 0b10100000 gives white, black, white, black.
  RawPng png(4, 1, 1, PNG_COLOR_TYPE_GRAY);
  png.rows = {{0xA0}};
  ASSERT_TRUE(WriteRawPng(dir / "bits.png", png));
  const Image image = ReadImage(dir / "bits.png");
  EXPECT_EQ(image.layout, ChannelLayout::kY);
  EXPECT_EQ(image.type, SampleType::kUInt8);
  const std::vector<uint8_t> reds = {image.bytes[1], image.bytes[5], image.bytes[9], image.bytes[13]};
  EXPECT_EQ(reds, (std::vector<uint8_t>{255, 0, 255, 0}));
}

TEST(ImageFiles, InterlacedGreyWithAColourKeyReadsAsGreyWithAlpha) {
  ScratchDir dir;
  RawPng png(9, 9, 8, PNG_COLOR_TYPE_GRAY);
  png.interlace = PNG_INTERLACE_ADAM7;
  std::vector<std::vector<uint8_t>>& rows = png.rows;
  rows.assign(9, std::vector<uint8_t>(9));
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) rows[y][x] = static_cast<uint8_t>(x * 20 + y);
  png.colourKey.emplace();
  png.colourKey->gray = 43;  // the pixel at x 2, y 3
  ASSERT_TRUE(WriteRawPng(dir / "keyed.png", png));

  const Image image = ReadImage(dir / "keyed.png");
  EXPECT_EQ(image.layout, ChannelLayout::kYA);
  ASSERT_EQ(image.type, SampleType::kUInt8);
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 9; ++x) {
      const uint8_t v = rows[y][x];
      const std::vector<uint8_t> argb(image.byteRow(y) + 4 * x, image.byteRow(y) + 4 * x + 4);
      ASSERT_EQ(argb, (std::vector<uint8_t>{uint8_t(v == 43 ? 0 : 255), v, v, v}))
          << "x " << x << " y " << y;
    }
  }
}

TEST(ImageFiles, ExrDataWindowAndCompressionAreKept) {
  ScratchDir dir;
  const std::string in = dir / "offset.exr";
  {
    Imf::Header header(Imath::Box2i({0, 0}, {39, 29}), Imath::Box2i({10, 20}, {13, 21}));
    header.compression() = Imf::PIZ_COMPRESSION;
    header.channels().insert("Y", Imf::Channel(Imf::FLOAT));
    std::vector<float> y(8);
    for (int i = 0; i < 8; ++i) y[i] = 0.25f * i;
    Imf::FrameBuffer frame;
    frame.insert("Y", Imf::Slice::Make(Imf::FLOAT, y.data(), header.dataWindow()));
    Imf::OutputFile file(in.c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(2);
  }
  const Image image = ReadImage(in);
  ASSERT_EQ(image.width, 4);
  ASSERT_EQ(image.height, 2);
  EXPECT_EQ(image.floats[4 * 5 + 1], 1.25f);  // pixel (1, 1), grey in red
  EXPECT_EQ(image.floats[4 * 5 + 3], 1.25f);  // and in blue

  WriteImage(image, dir / "copy.exr");
  Imf::InputFile copy((dir / "copy.exr").c_str());
  EXPECT_EQ(copy.header().dataWindow(), Imath::Box2i({10, 20}, {13, 21}));
  EXPECT_EQ(copy.header().displayWindow(), Imath::Box2i({0, 0}, {39, 29}));
  EXPECT_EQ(copy.header().compression(), Imf::PIZ_COMPRESSION);
  EXPECT_TRUE(cli_test::SamePixels(ReadImage(dir / "copy.exr"), image));
}

TEST(ImageFiles, MultiPartExrIsRefusedRatherThanReadAsItsFirstPart) {
  ScratchDir dir;
  const std::string in = dir / "layers.exr";
  {
    std::vector<Imf::Header> headers(2, Imf::Header(4, 2));
    for (size_t p = 0; p < headers.size(); ++p) {
      headers[p].setName(p == 0 ? "beauty" : "shadow");
      headers[p].setType("scanlineimage");
      headers[p].channels().insert("Y", Imf::Channel(Imf::HALF));
    }
    Imf::MultiPartOutputFile file(in.c_str(), headers.data(), int(headers.size()));
    std::vector<half> y(8, half(0.5f));
    for (int p = 0; p < 2; ++p) {
      Imf::OutputPart part(file, p);
      Imf::FrameBuffer frame;
      frame.insert("Y", Imf::Slice::Make(Imf::HALF, y.data(), headers[p].dataWindow()));
      part.setFrameBuffer(frame);
      part.writePixels(2);
    }
  }
  try {
    ReadImage(in);
    FAIL() << "read";
  } catch (const ImageError& e) {
    EXPECT_NE(std::string(e.what()).find(in + ": unsupported OpenEXR: 2 parts"), std::string::npos)
        << e.what();
  }
}

TEST(ImageFiles, TiledExrIsReadAndWrittenBackAsScanLines) {
  ScratchDir dir;
  const std::string in = dir / "tiled.exr";
  std::vector<half> rgba(6 * 5 * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = half(float(i % 17) / 16.0f);
  {
    Imf::Header header(6, 5);
    header.setTileDescription(Imf::TileDescription(4, 4));
    for (const char* c : {"R", "G", "B", "A"}) header.channels().insert(c, Imf::Channel(Imf::HALF));
    Imf::FrameBuffer frame;
    const char* names[4] = {"R", "G", "B", "A"};
    for (int c = 0; c < 4; ++c)
      frame.insert(names[c], Imf::Slice::Make(Imf::HALF, rgba.data() + c, header.dataWindow(),
                                              4 * sizeof(half), 6 * 4 * sizeof(half)));
    Imf::TiledOutputFile file(in.c_str(), header);
    file.setFrameBuffer(frame);
    file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
  }
  const Image image = ReadImage(in);
  ASSERT_EQ(image.width, 6);
  EXPECT_EQ(image.type, SampleType::kHalf);
  EXPECT_EQ(image.floats[4 * 7 + 1], float(rgba[4 * 7 + 0]));  // red of pixel 7
  EXPECT_EQ(image.floats[4 * 7 + 0], float(rgba[4 * 7 + 3]));  // its alpha, first in ARGB
  WriteImage(image, dir / "copy.exr");
  EXPECT_FALSE(Imf::InputFile((dir / "copy.exr").c_str()).header().hasTileDescription());
  EXPECT_TRUE(cli_test::SamePixels(ReadImage(dir / "copy.exr"), image));
}

TEST(ImageFiles, OutputEncodingFollowsTheFormatWhenTheInputsCannotBeKept) {
  struct Case {
    SampleType in;
    const Format& format;
    WriteOptions options;
    SampleType expected;
  };
  WriteOptions asFloat;
  asFloat.overrideType = true;
  asFloat.type = SampleType::kFloat;
  const Case cases[] = {
      {SampleType::kUInt8, ExrFormat(), {}, SampleType::kHalf},
      {SampleType::kUInt16, ExrFormat(), {}, SampleType::kHalf},
      {SampleType::kFloat, PngFormat(), {}, SampleType::kUInt16},
      {SampleType::kHalf, PngFormat(), {}, SampleType::kUInt16},
      {SampleType::kUInt8, PngFormat(), asFloat, SampleType::kUInt16},
      {SampleType::kUInt8, ExrFormat(), asFloat, SampleType::kFloat},
      {SampleType::kFloat, JpegFormat(), {}, SampleType::kUInt8},
      {SampleType::kHalf, TiffFormat(), {}, SampleType::kHalf},
  };
  for (const Case& c : cases) {
    Image image = cli_test::MakeImage(1, 1, ChannelLayout::kRGB, c.in);
    ChannelLayout layout;
    SampleType type;
    ResolveOutputEncoding(image, c.format, c.options, &layout, &type);
    EXPECT_EQ(type, c.expected) << SampleTypeName(c.in) << " into " << c.format.name;
    EXPECT_EQ(layout, ChannelLayout::kRGB);
  }
  // JPEG has no alpha channel.
  ChannelLayout layout;
  SampleType type;
  ResolveOutputEncoding(cli_test::MakeImage(1, 1, ChannelLayout::kYA, SampleType::kUInt16),
                        JpegFormat(), {}, &layout, &type);
  EXPECT_EQ(layout, ChannelLayout::kY);
}

TEST(ImageFiles, EightBitPixelsWrittenAsSixteenBitsScaleExactly) {
  ScratchDir dir;
  const Image bytes = cli_test::MakeImage(16, 16, ChannelLayout::kRGBA, SampleType::kUInt8, 3);
  WriteOptions sixteen;
  sixteen.overrideType = true;
  sixteen.type = SampleType::kUInt16;
  WriteImage(bytes, dir / "wide.png", sixteen);
  const Image wide = ReadImage(dir / "wide.png");
  ASSERT_EQ(wide.type, SampleType::kUInt16);
  for (size_t i = 0; i < bytes.bytes.size(); ++i)
    ASSERT_EQ(FloatToWord16(wide.floats[i]), bytes.bytes[i] * 257) << i;
}

// Rewrites the IHDR of a PNG file with a new width and a valid CRC.
void SetPngWidth(const std::string& path, uint32_t width) {
  std::vector<char> bytes = cli_test::FileBytes(path);
  ASSERT_GT(bytes.size(), 33u);
  for (int i = 0; i < 4; ++i) bytes[16 + i] = static_cast<char>(width >> (24 - 8 * i));
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + 12), 17);
  for (int i = 0; i < 4; ++i) bytes[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  cli_test::WriteBytes(path, bytes);
}

struct BadFile {
  const char* name;
  const char* cause;  // part of the message after the file name
  void (*make)(const std::string& path, const ScratchDir& dir);
};

std::ostream& operator<<(std::ostream& out, const BadFile& c) { return out << c.name; }

class BadInput : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadInput, FailsWithTheFileAndTheCause) {
  ScratchDir dir;
  const std::string path = dir / GetParam().name;
  GetParam().make(path, dir);
  try {
    ReadImage(path);
    FAIL() << "read succeeded";
  } catch (const ImageError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(GetParam().cause), std::string::npos) << message;
  }
}

void MakeValidPng(const std::string& path) {
  WriteImage(cli_test::MakeImage(64, 64, ChannelLayout::kRGBA, SampleType::kUInt8, 9), path);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadInput,
    ::testing::Values(
        BadFile{"missing.png", "no such file", [](const std::string&, const ScratchDir&) {}},
        BadFile{"empty.png", "empty file",
                [](const std::string& p, const ScratchDir&) { cli_test::WriteBytes(p, {}); }},
        BadFile{"text.png", "unsupported file type",
                [](const std::string& p, const ScratchDir&) {
                  cli_test::WriteBytes(p, {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
                }},
        BadFile{"folder.png", "is a folder",
                [](const std::string& p, const ScratchDir&) { fs::create_directory(p); }},
        BadFile{"truncated.png", "corrupt or truncated PNG",
                [](const std::string& p, const ScratchDir&) {
                  MakeValidPng(p);
                  auto bytes = cli_test::FileBytes(p);
                  bytes.resize(bytes.size() / 2);
                  cli_test::WriteBytes(p, bytes);
                }},
        BadFile{"flipped.png", "corrupt or truncated PNG",
                [](const std::string& p, const ScratchDir&) {
                  MakeValidPng(p);
                  auto bytes = cli_test::FileBytes(p);
                  bytes[bytes.size() / 2] ^= 0x55;  // inside the image data: its CRC fails
                  cli_test::WriteBytes(p, bytes);
                }},
        BadFile{"huge.png", "image too large",
                [](const std::string& p, const ScratchDir&) {
                  MakeValidPng(p);
                  SetPngWidth(p, 1000000);
                }},
        BadFile{"zero.png", "corrupt",
                [](const std::string& p, const ScratchDir&) {
                  MakeValidPng(p);
                  SetPngWidth(p, 0);
                }},
        BadFile{"truncated.exr", "OpenEXR",
                [](const std::string& p, const ScratchDir&) {
                  WriteImage(cli_test::MakeImage(64, 64, ChannelLayout::kRGBA, SampleType::kFloat, 5), p);
                  auto bytes = cli_test::FileBytes(p);
                  bytes.resize(bytes.size() * 2 / 3);
                  cli_test::WriteBytes(p, bytes);
                }},
        BadFile{"huge.exr", "image too large",
                [](const std::string& p, const ScratchDir&) {
                  // A header that promises 40000 x 2 pixels; no pixels follow.
                  Imf::Header header(40000, 2);
                  header.channels().insert("R", Imf::Channel(Imf::HALF));
                  header.channels().insert("G", Imf::Channel(Imf::HALF));
                  header.channels().insert("B", Imf::Channel(Imf::HALF));
                  Imf::OutputFile file(p.c_str(), header);
                }},
        BadFile{"depth.exr", "no R, G, B or Y channels",
                [](const std::string& p, const ScratchDir&) {
                  Imf::Header header(2, 2);
                  header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
                  std::vector<float> z(4, 1.0f);
                  Imf::FrameBuffer frame;
                  frame.insert("Z", Imf::Slice::Make(Imf::FLOAT, z.data(), header.dataWindow()));
                  Imf::OutputFile file(p.c_str(), header);
                  file.setFrameBuffer(frame);
                  file.writePixels(2);
                }},
        BadFile{"ids.exr", "only half and float channels",
                [](const std::string& p, const ScratchDir&) {
                  Imf::Header header(2, 2);
                  header.channels().insert("Y", Imf::Channel(Imf::UINT));
                  std::vector<unsigned> y(4, 7);
                  Imf::FrameBuffer frame;
                  frame.insert("Y", Imf::Slice::Make(Imf::UINT, y.data(), header.dataWindow()));
                  Imf::OutputFile file(p.c_str(), header);
                  file.setFrameBuffer(frame);
                  file.writePixels(2);
                }}),
    cli_test::FileCaseName<BadFile>);

TEST(ImageFiles, SizesBeyondTheLimitAreRefusedBeforeAnyPixelIsHeld) {
  struct Case {
    long long w, h;
    const char* cause;  // nullptr: accepted
  };
  const Case cases[] = {{1, 1, nullptr},         {kMaxImageSide, 1, nullptr},
                        {kMaxImageSide + 1, 1, "image too large"},
                        {1, kMaxImageSide + 1, "image too large"},
                        {0, 10, "corrupt"},      {10, -3, "corrupt"}};
  for (const Case& c : cases) {
    if (c.cause == nullptr) {
      EXPECT_NO_THROW(CheckImageSize("f.png", c.w, c.h)) << c.w << " x " << c.h;
      continue;
    }
    try {
      CheckImageSize("f.png", c.w, c.h);
      ADD_FAILURE() << c.w << " x " << c.h << " accepted";
    } catch (const ImageError& e) {
      EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos) << e.what();
    }
  }
}

TEST(ImageFiles, FailedWriteLeavesNeitherOutputNorTemporaryFile) {
  ScratchDir dir;
  const Image image = cli_test::MakeImage(4, 4, ChannelLayout::kRGB, SampleType::kUInt8);
  const std::string nowhere = dir / "no-such-folder/out.png";
  try {
    WriteImage(image, nowhere);
    FAIL() << "write succeeded";
  } catch (const ImageError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(nowhere + ": cannot create", 0), 0u) << e.what();
  }
  EXPECT_THROW(WriteImage(image, dir / "out.gif"), ImageError);
  EXPECT_TRUE(dir.Files().empty());
}

TEST(ImageFiles, WritingReplacesAnExistingFileWhole) {
  ScratchDir dir;
  const std::string path = dir / "frame.exr";
  WriteImage(cli_test::MakeImage(8, 8, ChannelLayout::kRGBA, SampleType::kFloat, 1), path);
  const Image second = cli_test::MakeImage(5, 3, ChannelLayout::kRGB, SampleType::kFloat, 2);
  WriteImage(second, path);
  EXPECT_TRUE(cli_test::SamePixels(ReadImage(path), second));
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"frame.exr"});
}

}  // namespace
