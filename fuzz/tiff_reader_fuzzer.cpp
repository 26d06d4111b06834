// libFuzzer target for the TIFF reader (strips and tiles, separate planes, every codec Debian's
// libtiff decodes; what the reader takes is written back with its compression and alpha kind).
#include <tiffio.h>

#include "reader_fuzz_check.h"

namespace {

// JPEG compression is lossy, and associated alpha goes through un-premultiplying and back, which
// changes colour above its alpha and floats by a rounding.
bool Exact(const std::string& written) {
  TIFF* tif = TIFFOpen(written.c_str(), "r");
  if (tif == nullptr) return true;
  uint16_t compression = 0, count = 0;
  uint16_t* kinds = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  const bool associated = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) && count > 0 &&
                          kinds[0] == EXTRASAMPLE_ASSOCALPHA;
  TIFFClose(tif);
  return compression != COMPRESSION_JPEG && !associated;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fxaa_fuzz::CheckReader(data, size, "input.tif", fxaa_cli::TiffFormat(), Exact);
  return 0;
}
