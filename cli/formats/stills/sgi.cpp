// SGI images through libavcodec: 8 and 16-bit grey, RGB and RGBA, run-length encoded or not. The
// output keeps the input SGI's run-length encoding, else uses it; grey with alpha is written as
// RGBA, the format's readers knowing no two-channel files.
#include "cli/formats/stills/still_codec.h"

namespace fxaa_cli {

namespace {

// The magic number, then a storage byte (0 verbatim, 1 run-length), 1 or 2 bytes a sample and 1
// to 3 dimensions.
bool IsSgi(const uint8_t* head, size_t size) {
  return size >= 6 && head[0] == 0x01 && head[1] == 0xDA && head[2] <= 1 &&
         (head[3] == 1 || head[3] == 2) && head[4] == 0 && head[5] >= 1 && head[5] <= 3;
}

const StillCodec kSgi = {"SGI", "sgi", "sgi", IsSgi};
const StillPixelFormats kSgiPixels = {{"gray", "rgba", "rgb24", "rgba"},
                                      {"gray16be", "rgba64be", "rgb48be", "rgba64be"}};

struct SgiDetails : FormatDetails {
  bool runLength = true;
};

Image ReadSgi(const std::string& path) {
  StillPicture picture = ReadStill(path, kSgi);
  auto details = std::make_shared<SgiDetails>();
  details->runLength = picture.head.size() > 2 && picture.head[2] == 1;
  picture.image.details = details;
  return picture.image;
}

void WriteSgi(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions&) {
  const auto* details = dynamic_cast<const SgiDetails*>(image.details.get());
  StillEncoding encoding{kSgiPixels.For(layout, type), {}};
  encoding.options["rle"] = details == nullptr || details->runLength ? "1" : "0";
  WriteStill(image, layout, kSgi, encoding, path);
}

}  // namespace

const Format& SgiFormat() {
  static const Format format = {"SGI",        {".sgi", ".rgb", ".rgba"},
                                {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/true, IsSgi, ReadSgi,
                                WriteSgi,     /*options=*/{}};
  return format;
}

}  // namespace fxaa_cli
