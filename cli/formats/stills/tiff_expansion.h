// TIFF samples that are not the image's channels as they stand: palette indexes, white-is-zero
// grey, and grey or palette samples of 1, 2 or 4 bits. Each becomes 8-bit channels through a
// table of the bytes every stored value stands for, built once per file.
#pragma once

#include <tiffio.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fxaa_cli {

struct TiffExpansion {
  int bits = 8;  // a sample: 1, 2, 4 or 8, packed from the most significant bit
  bool palette = false;
  // Red, green and blue of each stored colour value (grey: the same three).
  std::array<std::array<uint8_t, 3>, 256> colour{};
  // Alpha of each stored value of the extra sample.
  std::array<uint8_t, 256> alpha{};

  // Sample `index` of a row of packed samples.
  unsigned ValueAt(const uint8_t* row, size_t index) const {
    if (bits == 8) return row[index];
    const size_t bit = index * size_t(bits);
    return (row[bit / 8] >> (8 - bits - int(bit % 8))) & ((1u << bits) - 1);
  }
};

// Whether a file of `photometric` with `bits`-bit samples is read through a TiffExpansion.
bool IsExpanded(uint16_t photometric, uint16_t bits);

// The expansion of the open file `tif` (photometric and sample tags as read); ImageError naming
// `path` for sample sizes and formats it has no table for.
TiffExpansion ExpansionOf(TIFF* tif, uint16_t photometric, uint16_t bits, uint16_t sampleFormat,
                          const std::string& path);

// The photometric interpretation the first directory of the file at `path` stores, or 0 when it
// cannot be read. libtiff reads a palette file whose colormap is missing or of the wrong length
// as grey or RGB (at 8 bits and more), which the reader must refuse instead.
uint16_t StoredPhotometric(TIFF* tif, const std::string& path);

}  // namespace fxaa_cli
