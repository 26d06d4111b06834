// The Netpbm formats through libavcodec, as three entries: PAM (any channels, with alpha), PPM
// (colour) and PGM (grey), binary or plain text, 8 or 16 bits (a maximum value other than 255 or
// 65535 is scaled to those). Outputs are binary, at 8 or 16 bits; PPM and PGM hold no alpha, and
// a PGM output is grey whatever the input.
#include "cli/formats/stills/still_codec.h"

namespace fxaa_cli {

namespace {

// "P", the digit of one of `kinds`, then white space.
bool IsNetpbm(const uint8_t* head, size_t size, const char* kinds) {
  if (size < 3 || head[0] != 'P') return false;
  const uint8_t space = head[2];
  const bool spaced = space == ' ' || space == '\t' || space == '\n' || space == '\r';
  for (const char* k = kinds; *k != '\0'; ++k)
    if (head[1] == uint8_t(*k)) return spaced;
  return false;
}

bool IsPam(const uint8_t* head, size_t size) { return IsNetpbm(head, size, "7"); }
bool IsPpm(const uint8_t* head, size_t size) { return IsNetpbm(head, size, "36"); }
bool IsPgm(const uint8_t* head, size_t size) { return IsNetpbm(head, size, "25"); }

const StillCodec kPam = {"PAM", "pam", "pam", IsPam};
const StillCodec kPpm = {"PPM", "ppm", "ppm", IsPpm};
const StillCodec kPgm = {"PGM", "pgm", "pgm", IsPgm};
const StillPixelFormats kPamPixels = {{"gray", "ya8", "rgb24", "rgba"},
                                      {"gray16be", "ya16be", "rgb48be", "rgba64be"}};
const StillPixelFormats kPpmPixels = {{"rgb24", "rgb24", "rgb24", "rgb24"},
                                      {"rgb48be", "rgb48be", "rgb48be", "rgb48be"}};
const StillPixelFormats kPgmPixels = {{"gray", "gray", "gray", "gray"},
                                      {"gray16be", "gray16be", "gray16be", "gray16be"}};

Image ReadPam(const std::string& path) { return ReadStill(path, kPam).image; }
Image ReadPpm(const std::string& path) { return ReadStill(path, kPpm).image; }
Image ReadPgm(const std::string& path) { return ReadStill(path, kPgm).image; }

void WritePam(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions&) {
  WriteStill(image, layout, kPam, {kPamPixels.For(layout, type), {}}, path);
}
void WritePpm(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions&) {
  WriteStill(image, layout, kPpm, {kPpmPixels.For(layout, type), {}}, path);
}
void WritePgm(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions&) {
  WriteStill(image, layout, kPgm, {kPgmPixels.For(layout, type), {}}, path);
}

}  // namespace

const Format& PamFormat() {
  static const Format format = {"PAM", {".pam"}, {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/true, IsPam, ReadPam, WritePam, /*options=*/{}};
  return format;
}

const Format& PpmFormat() {
  static const Format format = {"PPM", {".ppm", ".pnm"}, {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/false, IsPpm, ReadPpm, WritePpm, /*options=*/{}};
  return format;
}

const Format& PgmFormat() {
  static const Format format = {"PGM", {".pgm"}, {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/false, IsPgm, ReadPgm, WritePgm, /*options=*/{}};
  return format;
}

}  // namespace fxaa_cli
