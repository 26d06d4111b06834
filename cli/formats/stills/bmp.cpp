// BMP (Windows and OS/2 bitmaps) through libavcodec: 1 to 32 bits a pixel, colour tables,
// run-length encoded or not, 32-bit files with alpha. The output is 24-bit colour, or 32-bit
// with alpha; grey is written as colour, which every reader takes.
#include <cstring>

#include "cli/formats/stills/still_codec.h"

namespace fxaa_cli {

namespace {

const StillPixelFormats kBmpPixels = {{"bgr24", "bgra", "bgr24", "bgra"}, {}};

// "BM", then after the file header the size of an info header of a version the format has.
bool IsBmp(const uint8_t* head, size_t size) {
  if (size < 18 || std::memcmp(head, "BM", 2) != 0) return false;
  const uint32_t infoSize = head[14] | head[15] << 8 | head[16] << 16 | uint32_t(head[17]) << 24;
  return infoSize >= 12 && infoSize <= 255;
}

const StillCodec kBmp = {"BMP", "bmp", "bmp", IsBmp};

// 8-bit files without a colour table decode as grey; they are written back as colour.
Image ReadBmp(const std::string& path) {
  Image image = ReadStill(path, kBmp).image;
  if (image.layout == ChannelLayout::kY) image.layout = ChannelLayout::kRGB;
  return image;
}

void WriteBmp(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions&) {
  WriteStill(image, layout, kBmp, {kBmpPixels.For(layout, type), {}}, path);
}

}  // namespace

const Format& BmpFormat() {
  static const Format format = {"BMP", {".bmp"}, {SampleType::kUInt8}, /*storesAlpha=*/true,
                                IsBmp, ReadBmp, WriteBmp, /*options=*/{}};
  return format;
}

}  // namespace fxaa_cli
