// libFuzzer target for the JPEG reader (baseline and progressive, grey and colour, the markers
// the writer carries over). JPEG is lossy: only the written frame's size and encoding are checked.
#include "reader_fuzz_check.h"

namespace {

bool NeverExact(const std::string&) { return false; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fxaa_fuzz::CheckReader(data, size, "input.jpg", fxaa_cli::JpegFormat(), NeverExact);
  return 0;
}
