// libFuzzer target for the pictures read through libavcodec (DPX, TGA, BMP, WebP, JPEG 2000, SGI,
// PAM, PPM, PGM and QOI): each input goes to the entry whose files it starts like, as the tool
// picks one. Every one of them is written back losslessly, lossy WebP included; but libwebp
// drops the colour of fully transparent pixels even then, so a WebP's pixels are not compared
// (the tests compare lossless WebP's).
#include <algorithm>

#include "reader_fuzz_check.h"

namespace {

bool ExactUnlessWebp(const std::string& written) {
  return fxaa_cli::FormatForName(written) != &fxaa_cli::WebpFormat();
}

bool ReadThroughLibavcodec(const fxaa_cli::Format* format) {
  using namespace fxaa_cli;
  for (const Format* still : {&DpxFormat(), &TgaFormat(), &BmpFormat(), &WebpFormat(),
                              &Jpeg2000Format(), &SgiFormat(), &PamFormat(), &PpmFormat(),
                              &PgmFormat(), &QoiFormat()})
    if (format == still) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fxaa_cli::Format* format =
      fxaa_cli::FormatForContent(data, std::min(size, fxaa_cli::kFormatHeadBytes));
  if (!ReadThroughLibavcodec(format)) return 0;
  fxaa_fuzz::CheckReader(data, size, "input" + format->extensions.front(), *format,
                         ExactUnlessWebp);
  return 0;
}
