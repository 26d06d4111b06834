// WebP through libavcodec (FFmpeg's decoder, libwebp's encoder): lossy and lossless, with or
// without alpha; the first frame of an animation. The output is lossless, or lossy at --quality
// when it is given; alpha is kept either way.
#include <cstring>
#include <utility>

#include "cli/formats/stills/still_codec.h"

namespace fxaa_cli {

namespace {

bool IsWebp(const uint8_t* head, size_t size) {
  return size >= 16 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
}

const StillCodec kWebp = {"WebP", "webp", "libwebp", IsWebp};

// Whether the file says it has alpha: the extended header's flag, or the lossless header's.
// The decoder gives lossless pictures alpha whether they use it or not.
bool DeclaresAlpha(const std::vector<uint8_t>& head) {
  if (head.size() < 30) return false;
  const uint8_t* chunk = head.data() + 12;
  if (std::memcmp(chunk, "VP8X", 4) == 0) return (chunk[8] & 0x10) != 0;
  // After the signature byte: 14 bits of width, 14 of height, then the alpha bit.
  if (std::memcmp(chunk, "VP8L", 4) == 0) return (chunk[12] & 0x10) != 0;
  return false;
}

// Alpha where the file declares it and uses it: libwebp writes it only then. The decoder gives
// lossless pictures the alpha their samples hold, declared or not.
Image ReadWebp(const std::string& path) {
  StillPicture picture = ReadStill(path, kWebp);
  Image& image = picture.image;
  if (image.layout == ChannelLayout::kRGBA && (!DeclaresAlpha(picture.head) || Opaque(image))) {
    image.layout = ChannelLayout::kRGB;
    for (size_t i = 0; i < image.bytes.size(); i += 4) image.bytes[i] = 255;
  }
  return std::move(image);
}

// libwebp takes colour as 8-bit BGRA and finds by itself whether alpha is used.
void WriteWebp(const Image& image, const std::string& path, ChannelLayout layout, SampleType,
               const WriteOptions& options) {
  StillEncoding encoding{"bgra", {}};
  if (options.formatOptions.count(kQualityOption.name) != 0) {
    encoding.options["lossless"] = "0";
    encoding.options["quality"] = std::to_string(QualityOf(options, path));
  } else {
    encoding.options["lossless"] = "1";
  }
  WriteStill(image, layout, kWebp, encoding, path);
}

}  // namespace

const Format& WebpFormat() {
  static const Format format = {"WebP",          {".webp"}, {SampleType::kUInt8},
                                /*storesAlpha=*/true, IsWebp,    ReadWebp,
                                WriteWebp,       /*options=*/{&kQualityOption}};
  return format;
}

}  // namespace fxaa_cli
