// Writes the fuzzers' seed corpora: small valid files of every encoding the readers take, so
// that mutation starts from inputs that reach the decoders.
// Usage: make_fuzz_seeds FOLDER   (writes FOLDER/png/, exr/, tiff/, jpeg/ and stills/)
#include <png.h>

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfOutputPart.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfTiledOutputFile.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/formats/format.h"
#include "tests/support/random_image.h"
#include "tests/support/raw_png.h"
#include "tiff_jpeg_files.h"

namespace {

namespace fs = std::filesystem;
using namespace fxaa_cli;

std::mt19937 g_random(7);

// An image with pseudo-random pixels in the value range of its sample type.
Image Noise(int width, int height, ChannelLayout layout, SampleType type) {
  return test_support::MakeImage(width, height, layout, type, g_random());
}

// A PNG of random samples in an encoding the tool's writer never produces.
void SeedPng(const std::string& path, int width, int height, int depth, int colourType,
            int interlace, bool withTransparency, bool withText) {
  test_support::RawPng png(width, height, depth, colourType);
  png.interlace = interlace;
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    png.palette.resize(size_t(1) << depth);
    for (png_color& c : png.palette) c = {uint8_t(g_random()), uint8_t(g_random()), uint8_t(g_random())};
    if (withTransparency) {
      png.paletteAlpha = {0, 128, 255};
      png.paletteAlpha.resize(std::min<size_t>(3, png.palette.size()));
    }
  } else if (withTransparency) {
    png.colourKey.emplace();
    png.colourKey->gray = png.colourKey->red = 1;
  }
  if (withText) png.comment = "seed file for the reader fuzzers";
  const int channels = colourType == PNG_COLOR_TYPE_RGB         ? 3
                       : colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                       : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                : 1;
  png.rows.assign(height, std::vector<uint8_t>((size_t(width) * channels * depth + 7) / 8));
  for (auto& row : png.rows)
    for (uint8_t& b : row) b = static_cast<uint8_t>(g_random());
  if (!test_support::WriteRawPng(path, png)) throw std::runtime_error("cannot write " + path);
}

void PngSeeds(const fs::path& folder) {
  const ChannelLayout layouts[] = {ChannelLayout::kY, ChannelLayout::kYA, ChannelLayout::kRGB,
                                   ChannelLayout::kRGBA};
  for (ChannelLayout layout : layouts)
    for (SampleType type : {SampleType::kUInt8, SampleType::kUInt16})
      WriteImage(Noise(5, 4, layout, type),
                 (folder / (std::string(LayoutName(layout)) + "-" + SampleTypeName(type) + ".png"))
                     .string());
  for (int depth : {1, 2, 4, 8}) {
    SeedPng((folder / ("palette" + std::to_string(depth) + ".png")).string(), 6, 3, depth,
           PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, false, false);
    SeedPng((folder / ("palette" + std::to_string(depth) + "-trns.png")).string(), 6, 3, depth,
           PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, true, false);
    SeedPng((folder / ("grey" + std::to_string(depth) + "-trns.png")).string(), 9, 2, depth,
           PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, true, false);
  }
  SeedPng((folder / "rgb16-trns.png").string(), 3, 3, 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
         true, false);
  SeedPng((folder / "rgba8-interlaced.png").string(), 11, 9, 8, PNG_COLOR_TYPE_RGB_ALPHA,
         PNG_INTERLACE_ADAM7, false, false);
  SeedPng((folder / "grey16-interlaced-text.png").string(), 10, 7, 16, PNG_COLOR_TYPE_GRAY,
         PNG_INTERLACE_ADAM7, false, true);
}

// Fills an interleaved RGBA half buffer and its frame buffer for `window`.
Imf::FrameBuffer HalfFrame(const Imath::Box2i& window, const std::vector<std::string>& names,
                           std::vector<half>* pixels) {
  const int width = window.max.x - window.min.x + 1;
  const int height = window.max.y - window.min.y + 1;
  pixels->resize(size_t(width) * height * names.size());
  for (half& h : *pixels) h = half(float(g_random() % 2049) / 1024.0f - 0.5f);
  Imf::FrameBuffer frame;
  const size_t xStride = names.size() * sizeof(half);
  for (size_t c = 0; c < names.size(); ++c)
    frame.insert(names[c], Imf::Slice::Make(Imf::HALF, pixels->data() + c, window, xStride,
                                            xStride * width));
  return frame;
}

Imf::Header HalfHeader(const Imath::Box2i& window, const std::vector<std::string>& names,
                       Imf::Compression compression) {
  Imf::Header header(window, window);
  header.compression() = compression;
  for (const std::string& n : names) header.channels().insert(n, Imf::Channel(Imf::HALF));
  return header;
}

void ExrSeeds(const fs::path& folder) {
  const std::vector<std::string> rgba = {"R", "G", "B", "A"};
  const Imath::Box2i small({0, 0}, {6, 4});
  const std::pair<Imf::Compression, const char*> compressions[] = {
      {Imf::NO_COMPRESSION, "none"}, {Imf::RLE_COMPRESSION, "rle"},   {Imf::ZIPS_COMPRESSION, "zips"},
      {Imf::ZIP_COMPRESSION, "zip"}, {Imf::PIZ_COMPRESSION, "piz"},   {Imf::PXR24_COMPRESSION, "pxr24"},
      {Imf::B44_COMPRESSION, "b44"}, {Imf::B44A_COMPRESSION, "b44a"}, {Imf::DWAA_COMPRESSION, "dwaa"},
      {Imf::DWAB_COMPRESSION, "dwab"}};
  for (const auto& [compression, name] : compressions) {
    std::vector<half> pixels;
    const Imf::FrameBuffer frame = HalfFrame(small, rgba, &pixels);
    Imf::OutputFile file((folder / (std::string("rgba-") + name + ".exr")).c_str(),
                         HalfHeader(small, rgba, compression));
    file.setFrameBuffer(frame);
    file.writePixels(small.max.y - small.min.y + 1);
  }
  // The tool's own writer: float, grey, grey with alpha, an offset window.
  WriteImage(Noise(5, 3, ChannelLayout::kRGB, SampleType::kFloat), (folder / "rgb-float.exr").string());
  WriteImage(Noise(4, 4, ChannelLayout::kY, SampleType::kHalf), (folder / "y-half.exr").string());
  WriteImage(Noise(3, 5, ChannelLayout::kYA, SampleType::kFloat), (folder / "ya-float.exr").string());
  {
    const Imath::Box2i offset({-3, 7}, {2, 9});
    std::vector<half> pixels;
    const Imf::FrameBuffer frame = HalfFrame(offset, {"B", "G", "R"}, &pixels);
    Imf::Header header = HalfHeader(offset, {"B", "G", "R"}, Imf::ZIPS_COMPRESSION);
    header.lineOrder() = Imf::DECREASING_Y;
    Imf::OutputFile file((folder / "rgb-offset-decreasing.exr").c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(3);
  }
  // Tiled: one level, mip-mapped, rip-mapped.
  const std::pair<Imf::LevelMode, const char*> levels[] = {
      {Imf::ONE_LEVEL, "one"}, {Imf::MIPMAP_LEVELS, "mip"}, {Imf::RIPMAP_LEVELS, "rip"}};
  for (const auto& [mode, name] : levels) {
    const Imath::Box2i window({0, 0}, {8, 5});
    Imf::Header header = HalfHeader(window, rgba, Imf::ZIP_COMPRESSION);
    header.setTileDescription(Imf::TileDescription(4, 4, mode));
    Imf::TiledOutputFile file((folder / (std::string("tiled-") + name + ".exr")).c_str(), header);
    for (int ly = 0; ly < file.numYLevels(); ++ly) {
      for (int lx = 0; lx < file.numXLevels(); ++lx) {
        if (mode != Imf::RIPMAP_LEVELS && lx != ly) continue;
        const Imath::Box2i level = file.dataWindowForLevel(lx, ly);
        std::vector<half> pixels;
        file.setFrameBuffer(HalfFrame(level, rgba, &pixels));
        file.writeTiles(0, file.numXTiles(lx) - 1, 0, file.numYTiles(ly) - 1, lx, ly);
      }
    }
  }
  // Two parts; the reader takes the first.
  {
    std::vector<Imf::Header> headers = {HalfHeader(small, rgba, Imf::ZIP_COMPRESSION),
                                        HalfHeader(small, {"Y"}, Imf::RLE_COMPRESSION)};
    headers[0].setName("beauty");
    headers[1].setName("depth");
    for (Imf::Header& h : headers) h.setType(Imf::SCANLINEIMAGE);
    Imf::MultiPartOutputFile file((folder / "two-parts.exr").c_str(), headers.data(), 2);
    for (int p = 0; p < 2; ++p) {
      Imf::OutputPart part(file, p);
      std::vector<half> pixels;
      part.setFrameBuffer(HalfFrame(small, p == 0 ? rgba : std::vector<std::string>{"Y"}, &pixels));
      part.writePixels(small.max.y - small.min.y + 1);
    }
  }
}

void TiffSeeds(const fs::path& folder) {
  using cli_test::TiffRecipe;
  struct Depth {
    const char* name;
    uint16_t bits, format;
  };
  const Depth depths[] = {{"8", 8, SAMPLEFORMAT_UINT},
                          {"16", 16, SAMPLEFORMAT_UINT},
                          {"half", 16, SAMPLEFORMAT_IEEEFP},
                          {"float", 32, SAMPLEFORMAT_IEEEFP}};
  const std::pair<uint16_t, const char*> compressions[] = {
      {COMPRESSION_NONE, "none"},      {COMPRESSION_LZW, "lzw"},   {COMPRESSION_ADOBE_DEFLATE, "zip"},
      {COMPRESSION_PACKBITS, "packbits"}, {COMPRESSION_ZSTD, "zstd"}, {COMPRESSION_LZMA, "lzma"}};
  int variant = 0;
  for (const Depth& d : depths) {
    for (const auto& [compression, name] : compressions) {
      // Each depth and codec once, the layouts taking turns.
      TiffRecipe r;
      r.width = 11, r.height = 5 + variant % 3;
      r.bits = d.bits, r.sampleFormat = d.format, r.compression = compression;
      r.colour = variant % 2 ? 1 : 3;
      r.alphaKind = variant % 4 - 1;  // none, unspecified, associated, straight
      r.tiled = variant % 3 == 0;
      r.planar = variant % 5 == 1;
      if (!TIFFIsCODECConfigured(compression)) continue;
      cli_test::WriteTiffFile((folder / (std::string(d.name) + "-" + name + "-" +
                                         std::to_string(variant) + ".tif")).string(),
                              r, cli_test::TiffSamples(r, variant));
      ++variant;
    }
  }
  TiffRecipe jpeg;
  jpeg.width = 24, jpeg.height = 16, jpeg.compression = COMPRESSION_JPEG;
  jpeg.photometric = PHOTOMETRIC_YCBCR;
  jpeg.pages = 2;
  cli_test::WriteTiffFile((folder / "ycbcr-jpeg-two-pages.tif").string(), jpeg,
                          cli_test::TiffSamples(jpeg));
  // Palette colour and grey under 8 bits, each depth once; white-is-zero grey in the fax codecs.
  for (uint16_t bits : {1, 2, 4, 8}) {
    TiffRecipe palette;
    palette.width = 13, palette.height = 6, palette.bits = bits, palette.colour = 1;
    palette.photometric = PHOTOMETRIC_PALETTE;
    palette.compression = bits == 4 ? COMPRESSION_LZW : COMPRESSION_PACKBITS;
    palette.tiled = bits == 2;
    palette.alphaKind = bits == 8 ? EXTRASAMPLE_UNASSALPHA : -1;
    palette.colormap.resize(size_t(3) << bits);
    for (uint16_t& entry : palette.colormap) entry = uint16_t(g_random());
    const std::string depth = std::to_string(bits);
    cli_test::WriteTiffFile((folder / ("palette" + depth + ".tif")).string(), palette,
                            cli_test::TiffSamples(palette, bits));
    TiffRecipe grey = palette;
    grey.photometric = bits == 2 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    grey.alphaKind = -1;
    grey.colormap.clear();
    cli_test::WriteTiffFile((folder / ("grey" + depth + ".tif")).string(), grey,
                            cli_test::TiffSamples(grey, bits));
  }
  for (uint16_t compression : {COMPRESSION_CCITTRLE, COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4}) {
    TiffRecipe fax;
    fax.width = 40, fax.height = 9, fax.bits = 1, fax.colour = 1, fax.compression = compression;
    fax.photometric = PHOTOMETRIC_MINISWHITE;
    fax.fillOrder = compression == COMPRESSION_CCITTFAX3 ? FILLORDER_LSB2MSB : FILLORDER_MSB2LSB;
    if (!TIFFIsCODECConfigured(compression)) continue;
    cli_test::WriteTiffFile((folder / ("fax-" + std::to_string(compression) + ".tif")).string(),
                            fax, cli_test::TiffSamples(fax, compression));
  }
  // The tool's own writer.
  WriteImage(Noise(6, 4, ChannelLayout::kRGBA, SampleType::kUInt16), (folder / "tool.tif").string());
}

void JpegSeeds(const fs::path& folder) {
  using cli_test::JpegRecipe;
  auto write = [&](const JpegRecipe& r, const std::string& name) {
    const std::vector<char> bytes = cli_test::JpegBytes(r);
    std::ofstream((folder / name).string(), std::ios::binary).write(bytes.data(), bytes.size());
  };
  JpegRecipe r;
  r.width = 19, r.height = 11;
  write(r, "rgb-420.jpg");
  r.lumaSampling = 1;
  write(r, "rgb-444.jpg");
  r.progressive = true;
  write(r, "rgb-444-progressive.jpg");
  r.colour = JCS_GRAYSCALE;
  write(r, "grey-progressive.jpg");
  r = JpegRecipe();
  r.width = 9, r.height = 9;
  r.icc.assign(300, 7);
  const std::string exif = std::string("Exif\0\0II*\0\x08\0\0\0", 14) + "notes";
  r.exif.assign(exif.begin(), exif.end());
  write(r, "rgb-icc-exif.jpg");
  r.colour = JCS_CMYK;
  write(r, "cmyk.jpg");
  WriteImage(Noise(7, 5, ChannelLayout::kY, SampleType::kUInt8), (folder / "tool-grey.jpg").string());
}

}  // namespace

// The pictures read through libavcodec: every format of theirs in each layout and depth it
// writes, 10 and 12-bit DPX, lossy WebP and a bare JPEG 2000 codestream.
void StillSeeds(const fs::path& folder) {
  for (const char* extension :
       {".dpx", ".tga", ".bmp", ".webp", ".jp2", ".sgi", ".pam", ".ppm", ".pgm", ".qoi"}) {
    const Format& format = *FormatForName(std::string("seed") + extension);
    for (ChannelLayout layout : {ChannelLayout::kY, ChannelLayout::kRGB, ChannelLayout::kRGBA})
      for (SampleType type : format.sampleTypes)
        WriteImage(Noise(7, 5, layout, type),
                   (folder / (std::string(LayoutName(layout)) + "-" + SampleTypeName(type) +
                              extension)).string());
  }
  WriteOptions deep;
  deep.overrideType = true;
  deep.type = SampleType::kUInt16;
  for (int bits : {10, 12}) {
    deep.bits = bits;
    WriteImage(Noise(9, 3, ChannelLayout::kRGB, SampleType::kUInt16),
               (folder / ("rgb" + std::to_string(bits) + ".dpx")).string(), deep);
  }
  WriteOptions lossy;
  lossy.formatOptions["quality"] = "80";
  WriteImage(Noise(16, 9, ChannelLayout::kRGBA, SampleType::kUInt8),
             (folder / "lossy.webp").string(), lossy);
  WriteImage(Noise(6, 6, ChannelLayout::kRGB, SampleType::kUInt8),
             (folder / "codestream.j2k").string());
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
    return 2;
  }
  const fs::path folder = argv[1];
  try {
    for (const char* format : {"png", "exr", "tiff", "jpeg", "stills"})
      fs::create_directories(folder / format);
    PngSeeds(folder / "png");
    ExrSeeds(folder / "exr");
    TiffSeeds(folder / "tiff");
    JpegSeeds(folder / "jpeg");
    StillSeeds(folder / "stills");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_fuzz_seeds: %s\n", e.what());
    return 1;
  }
  return 0;
}
