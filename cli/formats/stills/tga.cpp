// TGA (Truevision Targa) through libavcodec: 8-bit colour with or without alpha, grey, colour
// maps, 15 and 16-bit colour; run-length encoded or not, either origin. The output keeps the
// input TGA's run-length encoding (used where it makes the file smaller), else uses it; alpha
// stays alpha, grey stays grey. A TGA has no signature: it is known by a header whose every
// field holds a value the format defines.
#include "cli/formats/stills/still_codec.h"

namespace fxaa_cli {

namespace {

const StillPixelFormats kTgaPixels = {{"gray", "bgra", "bgr24", "bgra"}, {}};

struct TgaDetails : FormatDetails {
  bool runLength = true;
};

// Image types: colour-mapped, true-colour and grey, each plain (1 to 3) or run-length encoded
// (9 to 11).
bool IsColourMapped(uint8_t type) { return type == 1 || type == 9; }
bool IsTrueColour(uint8_t type) { return type == 2 || type == 10; }
bool IsGrey(uint8_t type) { return type == 3 || type == 11; }

bool IsTga(const uint8_t* head, size_t size) {
  if (size < 18) return false;
  const uint8_t mapType = head[1], type = head[2], mapEntryBits = head[7], depth = head[16],
                descriptor = head[17];
  const int width = head[12] | head[13] << 8, height = head[14] | head[15] << 8;
  if (width == 0 || height == 0 || (descriptor & 0xC0) != 0 || (descriptor & 0x0F) > 8)
    return false;
  if (IsColourMapped(type))
    return mapType == 1 && (depth == 8 || depth == 16) &&
           (mapEntryBits == 15 || mapEntryBits == 16 || mapEntryBits == 24 || mapEntryBits == 32);
  // Without a colour map its fields are zero; writers leave at least the entry size so.
  if (mapType != 0 || mapEntryBits != 0) return false;
  if (IsTrueColour(type)) return depth == 15 || depth == 16 || depth == 24 || depth == 32;
  return IsGrey(type) && (depth == 8 || depth == 16);
}

const StillCodec kTga = {"TGA", "targa", "targa", IsTga};

Image ReadTga(const std::string& path) {
  StillPicture picture = ReadStill(path, kTga);
  auto details = std::make_shared<TgaDetails>();
  details->runLength = picture.head.size() > 2 && picture.head[2] >= 9;
  picture.image.details = details;
  return picture.image;
}

void WriteTga(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions&) {
  const auto* details = dynamic_cast<const TgaDetails*>(image.details.get());
  StillEncoding encoding{kTgaPixels.For(layout, type), {}};
  encoding.options["rle"] = details == nullptr || details->runLength ? "1" : "0";
  WriteStill(image, layout, kTga, encoding, path);
}

}  // namespace

const Format& TgaFormat() {
  static const Format format = {"TGA", {".tga"}, {SampleType::kUInt8}, /*storesAlpha=*/true,
                                IsTga, ReadTga, WriteTga, /*options=*/{}};
  return format;
}

}  // namespace fxaa_cli
