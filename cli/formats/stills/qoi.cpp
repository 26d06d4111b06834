// QOI (the "Quite OK Image" format) through libavcodec: 8-bit RGB and RGBA, lossless. Grey is
// written as RGB.
#include <cstring>

#include "cli/formats/stills/still_codec.h"

namespace fxaa_cli {

namespace {

bool IsQoi(const uint8_t* head, size_t size) {
  return size >= 4 && std::memcmp(head, "qoif", 4) == 0;
}

// The decoder fills what a file cut short lacks with the last colour, without a word; a whole
// file ends with seven zero bytes and a one.
std::string CheckQoiEnd(const uint8_t* file, size_t size) {
  static const uint8_t kEnd[8] = {0, 0, 0, 0, 0, 0, 0, 1};
  if (size < 8 || std::memcmp(file + size - 8, kEnd, 8) != 0)
    return "cut short: the end marker is missing";
  return "";
}

const StillCodec kQoi = {"QOI", "qoi", "qoi", IsQoi, CheckQoiEnd};
const StillPixelFormats kQoiPixels = {{"rgb24", "rgba", "rgb24", "rgba"}, {}};

Image ReadQoi(const std::string& path) { return ReadStill(path, kQoi).image; }

void WriteQoi(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions&) {
  WriteStill(image, layout, kQoi, {kQoiPixels.For(layout, type), {}}, path);
}

}  // namespace

const Format& QoiFormat() {
  static const Format format = {"QOI", {".qoi"}, {SampleType::kUInt8}, /*storesAlpha=*/true,
                                IsQoi, ReadQoi, WriteQoi, /*options=*/{}};
  return format;
}

}  // namespace fxaa_cli
