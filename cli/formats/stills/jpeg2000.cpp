// JPEG 2000 through libavcodec (FFmpeg's decoder, OpenJPEG's encoder): JP2 files (.jp2) and bare
// codestreams (.j2k), any precision up to 16 bits, grey or colour, with or without alpha;
// Y'CbCr and colour-mapped files are converted into RGB. The output is lossless (the reversible
// wavelet), 8 or 16 bits.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "cli/formats/stills/still_codec.h"

namespace fxaa_cli {

namespace {

// A JP2 file's signature box, or a codestream's start and size markers.
bool IsJpeg2000(const uint8_t* head, size_t size) {
  static const uint8_t kBox[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', '\r', '\n', 0x87, '\n'};
  static const uint8_t kCodestream[4] = {0xFF, 0x4F, 0xFF, 0x51};
  return (size >= 12 && std::memcmp(head, kBox, 12) == 0) ||
         (size >= 4 && std::memcmp(head, kCodestream, 4) == 0);
}

const StillCodec kJpeg2000 = {"JPEG 2000", "jpeg2000", "libopenjpeg", IsJpeg2000};
const StillPixelFormats kJpeg2000Pixels = {{"gray", "ya8", "rgb24", "rgba"},
                                           {"gray16le", "ya16le", "rgb48le", "rgba64le"}};

Image ReadJpeg2000(const std::string& path) { return ReadStill(path, kJpeg2000).image; }

void WriteJpeg2000(const Image& image, const std::string& path, ChannelLayout layout,
                   SampleType type, const WriteOptions&) {
  StillEncoding encoding{kJpeg2000Pixels.For(layout, type), {}};
  const std::string extension = Lower(std::filesystem::path(path).extension().string());
  encoding.options["format"] = extension == ".jp2" ? "jp2" : "j2k";
  // OpenJPEG's six resolution levels by default, fewer for a picture under 32 pixels a side:
  // each level halves it, and the smallest must keep a pixel.
  int levels = 1;
  while (levels < 6 && std::min(image.width, image.height) >> levels > 0) ++levels;
  encoding.options["numresolution"] = std::to_string(levels);
  WriteStill(image, layout, kJpeg2000, encoding, path);
}

}  // namespace

const Format& Jpeg2000Format() {
  static const Format format = {"JPEG 2000",
                                {".jp2", ".j2k"},
                                {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/true,
                                IsJpeg2000,
                                ReadJpeg2000,
                                WriteJpeg2000,
                                /*options=*/{}};
  return format;
}

}  // namespace fxaa_cli
