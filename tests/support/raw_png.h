// PNG files written with libpng directly, rows as given: the encodings the tool's writer never
// produces (palettes, depths under 8, transparency, interlacing, text), for the readers' tests
// and the fuzzers' seeds. Header-only: the fuzz build links no test library.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

struct RawPng {
  RawPng(int width, int height, int depth, int colourType)
      : width(width), height(height), depth(depth), colourType(colourType) {}

  int width, height, depth, colourType;
  int interlace = PNG_INTERLACE_NONE;
  // One per line, as libpng takes them: samples packed into bytes at depths under 8, unless
  // `unpacked` says they hold a sample a byte.
  std::vector<std::vector<uint8_t>> rows;
  bool unpacked = false;
  std::vector<png_color> palette;
  std::vector<uint8_t> paletteAlpha;       // tRNS of a palette, by entry
  std::optional<png_color_16> colourKey;   // tRNS of grey or RGB: the transparent value
  std::string comment;                     // where not empty: a zTXt comment, and gAMA 1/2.2
};

// Writes `png` to `path`; false where the file cannot be made or libpng refuses it.
inline bool WriteRawPng(const std::string& path, const RawPng& png) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(writer);
  volatile bool written = false;  // read after a longjmp
  if (writer != nullptr && info != nullptr && setjmp(png_jmpbuf(writer)) == 0) {
    png_init_io(writer, f);
    png_set_IHDR(writer, info, png.width, png.height, png.depth, png.colourType, png.interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!png.palette.empty())
      png_set_PLTE(writer, info, png.palette.data(), static_cast<int>(png.palette.size()));
    if (!png.paletteAlpha.empty())
      png_set_tRNS(writer, info, png.paletteAlpha.data(), static_cast<int>(png.paletteAlpha.size()),
                   nullptr);
    if (png.colourKey) png_set_tRNS(writer, info, nullptr, 0, &*png.colourKey);
    png_text text{};
    if (!png.comment.empty()) {
      text.compression = PNG_TEXT_COMPRESSION_zTXt;
      text.key = const_cast<char*>("Comment");
      text.text = const_cast<char*>(png.comment.c_str());
      png_set_text(writer, info, &text, 1);
      png_set_gAMA(writer, info, 0.45455);
    }
    png_write_info(writer, info);
    if (png.unpacked) png_set_packing(writer);
    const int passes = png_set_interlace_handling(writer);
    for (int pass = 0; pass < passes; ++pass)
      for (const auto& row : png.rows) png_write_row(writer, row.data());
    png_write_end(writer, info);
    written = true;
  }
  png_destroy_write_struct(&writer, &info);
  return std::fclose(f) == 0 && written;
}

}  // namespace test_support
