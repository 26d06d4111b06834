#include "cli/formats/stills/tiff_expansion.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "cli/image.h"

namespace fxaa_cli {

namespace {

// The palette's colours as bytes. Colormap entries are 16-bit; as libtiff's RGBA reader (which
// tiff2rgba and the library's other converting tools use) does, each keeps its high byte, unless
// no entry reaches 256: old writers stored 8-bit values, taken as they stand.
void ReadColormap(const uint16_t* const maps[3], size_t entries, TiffExpansion* expansion) {
  bool sixteenBit = false;
  for (int c = 0; c < 3; ++c)
    for (size_t i = 0; i < entries; ++i) sixteenBit |= maps[c][i] >= 256;
  for (int c = 0; c < 3; ++c)
    for (size_t i = 0; i < entries; ++i)
      expansion->colour[i][c] = uint8_t(sixteenBit ? maps[c][i] >> 8 : maps[c][i]);
}

}  // namespace

bool IsExpanded(uint16_t photometric, uint16_t bits) {
  return photometric == PHOTOMETRIC_PALETTE || photometric == PHOTOMETRIC_MINISWHITE ||
         (photometric == PHOTOMETRIC_MINISBLACK && (bits == 1 || bits == 2 || bits == 4));
}

TiffExpansion ExpansionOf(TIFF* tif, uint16_t photometric, uint16_t bits, uint16_t sampleFormat,
                          const std::string& path) {
  TiffExpansion expansion;
  expansion.palette = photometric == PHOTOMETRIC_PALETTE;
  const bool integer = sampleFormat == SAMPLEFORMAT_UINT || sampleFormat == SAMPLEFORMAT_VOID;
  if (!integer || (bits != 1 && bits != 2 && bits != 4 && bits != 8)) {
    const char* kind = sampleFormat == SAMPLEFORMAT_IEEEFP ? "float "
                       : sampleFormat == SAMPLEFORMAT_INT  ? "signed "
                                                           : "";
    throw ImageError(path + ": unsupported TIFF: " + std::to_string(bits) + "-bit " + kind +
                     (expansion.palette ? "palette indexes" : "white-is-zero grey") +
                     " (1, 2, 4 and 8-bit unsigned integers are read)");
  }
  expansion.bits = bits;
  // 0 .. 2^bits - 1 spread over 0 .. 255: exact, 255 being a multiple of 1, 3 and 15.
  const unsigned top = (1u << bits) - 1;
  for (unsigned v = 0; v <= top; ++v) {
    const uint8_t level = uint8_t(v * 255 / top);
    expansion.alpha[v] = level;
    expansion.colour[v].fill(photometric == PHOTOMETRIC_MINISWHITE ? uint8_t(255 - level) : level);
  }
  if (expansion.palette) {
    // libtiff holds a colormap only when it has the 2^bits entries a colour the bits select.
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || red == nullptr ||
        green == nullptr || blue == nullptr)
      throw ImageError(path + ": corrupt TIFF (palette colour without a colormap)");
    const uint16_t* const maps[3] = {red, green, blue};
    ReadColormap(maps, size_t(top) + 1, &expansion);
  }
  return expansion;
}

uint16_t StoredPhotometric(TIFF* tif, const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  const bool bigEndian = TIFFIsBigEndian(tif) != 0, bigTiff = TIFFIsBigTIFF(tif) != 0;
  const uint64_t directory = TIFFCurrentDirOffset(tif);
  const int countBytes = bigTiff ? 8 : 2, entryBytes = bigTiff ? 20 : 12;
  // The unsigned number of `size` bytes at `at` in the file's byte order.
  auto number = [&](const uint8_t* at, int size) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) value |= uint64_t(at[i]) << 8 * (bigEndian ? size - 1 - i : i);
    return value;
  };
  uint8_t head[8];
  in.seekg(std::streamoff(directory));
  if (!in.read(reinterpret_cast<char*>(head), countBytes)) return 0;
  // libtiff has read this directory already: its count is sane, and at most 16 bits classic.
  const uint64_t entries = std::min<uint64_t>(number(head, countBytes), 0xFFFF);
  std::vector<uint8_t> table(size_t(entries) * entryBytes);
  if (!in.read(reinterpret_cast<char*>(table.data()), std::streamsize(table.size()))) return 0;
  for (const uint8_t* entry = table.data(); entry < table.data() + table.size();
       entry += entryBytes) {
    if (number(entry, 2) != TIFFTAG_PHOTOMETRIC) continue;
    const uint64_t type = number(entry + 2, 2);
    const int size = type == TIFF_BYTE ? 1 : type == TIFF_SHORT ? 2 : type == TIFF_LONG ? 4 : 0;
    // The value sits at the start of the entry's value field.
    return size == 0 ? 0 : uint16_t(number(entry + (bigTiff ? 12 : 8), size));
  }
  return 0;
}

}  // namespace fxaa_cli
