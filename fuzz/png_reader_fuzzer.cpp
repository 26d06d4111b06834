// libFuzzer target for the PNG reader. Chunk checksums are recomputed before reading: without
// that nearly every mutation dies at the CRC check and the fuzzer never reaches the decoder
// (the checks themselves are covered by the hostile-file tests).
#include <zlib.h>

#include <vector>

#include "reader_fuzz_check.h"

namespace {

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Rewrites the CRC of every whole chunk after the 8-byte signature.
void FixChunkChecksums(std::vector<uint8_t>* file) {
  size_t at = 8;
  while (at + 12 <= file->size()) {
    const uint32_t length = BigEndian32(file->data() + at);
    if (length > file->size() - at - 12) break;
    const uLong crc = crc32(0, file->data() + at + 4, static_cast<uInt>(length + 4));
    uint8_t* out = file->data() + at + 8 + length;
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    at += 12 + size_t(length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  FixChunkChecksums(&file);
  fxaa_fuzz::CheckReader(file.data(), file.size(), "input.png", fxaa_cli::PngFormat());
  return 0;
}
