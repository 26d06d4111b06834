// libFuzzer target for the OpenEXR reader (scan-line, tiled and multi-part inputs; what the
// reader takes is written back, header and all).
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>

#include "reader_fuzz_check.h"

namespace {

// The output keeps the input's compression; B44 and DWA are lossy, PXR24 is for float.
bool Exact(const std::string& written) {
  Imf::InputFile file(written.c_str());
  switch (file.header().compression()) {
    case Imf::B44_COMPRESSION:
    case Imf::B44A_COMPRESSION:
    case Imf::DWAA_COMPRESSION:
    case Imf::DWAB_COMPRESSION:
      return false;
    case Imf::PXR24_COMPRESSION:
      for (auto it = file.header().channels().begin(); it != file.header().channels().end(); ++it)
        if (it.channel().type == Imf::FLOAT) return false;
      return true;
    default:
      return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fxaa_fuzz::CheckReader(data, size, "input.exr", fxaa_cli::ExrFormat(), Exact);
  return 0;
}
