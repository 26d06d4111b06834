// Pictures of one frame through libavcodec's image codecs (DPX, TGA, BMP, WebP, JPEG 2000, SGI,
// Netpbm, QOI): the whole file is one packet for the library's decoder, and the one packet its
// encoder makes is the whole file. Each of those formats' entries names its codec and pixel
// formats and keeps what it carries over; the pixels travel here. The Windows build has no
// FFmpeg: there reading and writing them fails, saying so (still_codec_unavailable.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cli/formats/format.h"
#include "cli/image.h"

namespace fxaa_cli {

constexpr const char* kStillNeedsLinux =
    "needs the Linux build of fxaa (this build has no FFmpeg)";

// A format's codec in libavcodec.
struct StillCodec {
  const char* format;   // "DPX", in messages
  const char* decoder;  // the library's names
  const char* encoder;
  // The entry's detection: a file that does not start as one of its files is refused, whatever
  // else the decoder would make of it.
  bool (*detect)(const uint8_t* head, size_t size);
  // Why a file of `size` bytes is not a whole picture though the decoder takes it, or "" when it
  // is: for codecs whose decoder makes a picture of a file cut short without a word. May be null.
  std::string (*checkWhole)(const uint8_t* file, size_t size) = nullptr;
};

// A picture as the decoder gave it, and what the decoder said of the file.
struct StillPicture {
  // RGB or RGBA, Y or YA for grey files; 8-bit where no sample has more than 8 bits, else
  // 16-bit (the file's values scaled to 16-bit words, as floats). Palette, Y'CbCr and bit-packed
  // files are converted into RGB, with alpha where the palette has any.
  Image image;
  // Bits a sample, as the decoder reports them; for a file converted into RGB, the image's.
  int bits = 8;
  std::map<std::string, std::string> metadata;  // the decoder's, of the frame ("timecode")
  int rateNumerator = 0, rateDenominator = 0;   // the frame rate the file states; 0 when none
  int aspectNumerator = 0, aspectDenominator = 1;  // the pixels' aspect ratio; 0 when unknown
  std::vector<uint8_t> head;  // the file's first kFormatHeadBytes, for what the entry reads there
};

// Reads the file at `path` and decodes it with `codec`'s decoder. Every failure is one
// ImageError naming the path, the format and the library's reason: a file the decoder refuses,
// or takes only complaining (damaged or cut short), or a size beyond the tool's limits.
StillPicture ReadStill(const std::string& path, const StillCodec& codec);

// How a picture is encoded: the encoder's pixel format and its own options.
struct StillEncoding {
  std::string pixelFormat;                     // "gbrp10be"; its components choose the layout
  std::map<std::string, std::string> options;  // "lossless" = "1"
  int aspectNumerator = 0, aspectDenominator = 1;  // for the encoders that store it
};

// The bytes of a file holding `image`, written as `layout`, encoded with `codec`'s encoder. The
// pixel format's components get grey values as PackRow makes them where either is grey, alpha
// where both have it (else opaque), each sample rounded to its bits. An ImageError naming
// `path` when the encoder fails.
std::vector<uint8_t> EncodeStill(const Image& image, ChannelLayout layout, const StillCodec& codec,
                                 const StillEncoding& encoding, const std::string& path);

// An encoder's pixel format for each layout written (Y, YA, RGB, RGBA), for 8-bit and for 16-bit
// samples: a layout the format lacks names the one it is stored as (grey as RGB, ...).
struct StillPixelFormats {
  const char* bytes[4];
  const char* words[4];  // none for a format of 8-bit samples only

  const char* For(ChannelLayout layout, SampleType type) const {
    const int i = static_cast<int>(layout);
    return type == SampleType::kUInt8 || words[i] == nullptr ? bytes[i] : words[i];
  }
};

// `image` encoded by EncodeStill as the file at `path`.
inline void WriteStill(const Image& image, ChannelLayout layout, const StillCodec& codec,
                       const StillEncoding& encoding, const std::string& path) {
  WriteFileBytes(path, EncodeStill(image, layout, codec, encoding, path));
}

}  // namespace fxaa_cli
