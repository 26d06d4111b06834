// PNG and OpenEXR files built byte by byte, for the hostile-file tests: every header field is
// the test's to choose, including values the libraries' own writers refuse (absurd sizes,
// unknown codes, offsets past the end), and PNG chunks still carry valid CRCs so that the
// reader gets past the checksum to the value under test.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace cli_test {

using Bytes = std::vector<char>;

inline void PutBE32(Bytes* b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b->push_back(static_cast<char>(v >> shift));
}
inline void PutLE32(Bytes* b, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) b->push_back(static_cast<char>(v >> shift));
}
inline void PutLE64(Bytes* b, uint64_t v) {
  for (int shift = 0; shift < 64; shift += 8) b->push_back(static_cast<char>(v >> shift));
}
inline void PutLEFloat(Bytes* b, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  PutLE32(b, v);
}
inline void PutString(Bytes* b, const std::string& s) {
  b->insert(b->end(), s.begin(), s.end());
  b->push_back('\0');
}

// ---- PNG ----

struct PngChunk {
  std::string type;  // four letters
  Bytes data;
};

// Signature, then each chunk with its length and a correct CRC.
inline Bytes PngBytes(const std::vector<PngChunk>& chunks) {
  Bytes out = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
  for (const PngChunk& c : chunks) {
    PutBE32(&out, static_cast<uint32_t>(c.data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), c.type.begin(), c.type.end());
    out.insert(out.end(), c.data.begin(), c.data.end());
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + typeAt),
                            static_cast<uInt>(4 + c.data.size()));
    PutBE32(&out, static_cast<uint32_t>(crc));
  }
  return out;
}

inline PngChunk PngHeaderChunk(uint32_t width, uint32_t height, int depth, int colourType,
                               int interlace = 0) {
  PngChunk c{"IHDR", {}};
  PutBE32(&c.data, width);
  PutBE32(&c.data, height);
  for (int v : {depth, colourType, 0, 0, interlace}) c.data.push_back(static_cast<char>(v));
  return c;
}

// Samples per pixel of a PNG colour type (0 for an unknown one).
inline int PngChannels(int colourType) {
  switch (colourType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    case 6: return 4;
  }
  return 0;
}

// A complete, valid non-interlaced PNG of the given encoding whose image data holds
// `rowsPresent` rows of zeros (fewer than `height` makes a file cut short inside its data).
inline Bytes MakePng(uint32_t width, uint32_t height, int depth, int colourType,
                     uint32_t rowsPresent) {
  std::vector<PngChunk> chunks = {PngHeaderChunk(width, height, depth, colourType)};
  if (colourType == 3) chunks.push_back({"PLTE", Bytes(3 * 4, '\x40')});
  const size_t rowBytes =
      (size_t(width) * std::max(1, PngChannels(colourType)) * size_t(depth) + 7) / 8;
  const std::vector<Bytef> raw(std::min(rowsPresent, height) * (rowBytes + 1), 0);
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(packedSize);
  compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(),
            static_cast<uLong>(raw.size()), Z_BEST_SPEED);
  packed.resize(packedSize);
  chunks.push_back({"IDAT", packed});
  chunks.push_back({"IEND", {}});
  return PngBytes(chunks);
}

// ---- OpenEXR (single-part, one scan line per chunk without compression) ----

struct ExrChannelRecipe {
  std::string name;
  int32_t type = 1;  // 0 uint, 1 half, 2 float
  int32_t xSampling = 1, ySampling = 1;
};

struct ExrRecipe {
  std::vector<ExrChannelRecipe> channels = {{"B"}, {"G"}, {"R"}};
  int compression = 0;                 // 0 none, 3 zip, ...
  int32_t dataWindow[4] = {0, 0, 3, 2};  // x min, y min, x max, y max
  int32_t displayWindow[4] = {0, 0, 3, 2};
  int lineOrder = 0;
  bool tiled = false;
  uint32_t tileWidth = 16, tileHeight = 16;
  // Entries written in the offset table, and scan lines written after it (one chunk each);
  // negative: all of them. Tiled files get their table only.
  long long tableEntries = -1;
  long long linesWritten = -1;
  // Every table entry names the first chunk; or, when not zero, this offset.
  bool offsetsToFirstChunk = false;
  uint64_t forcedOffset = 0;
  // Added to the length declared for the channel list.
  int32_t channelsLengthError = 0;
  // Written as they are after the standard attributes (see PutExrAttribute).
  Bytes extraAttributes;
};

// One attribute: name, type name, size (the value's, unless given), value.
inline void PutExrAttribute(Bytes* b, const std::string& name, const std::string& type,
                            const Bytes& value, int64_t size = -1) {
  PutString(b, name);
  PutString(b, type);
  PutLE32(b, static_cast<uint32_t>(size >= 0 ? size : int64_t(value.size())));
  b->insert(b->end(), value.begin(), value.end());
}

inline Bytes ExrBox(const int32_t box[4]) {
  Bytes v;
  for (int i = 0; i < 4; ++i) PutLE32(&v, static_cast<uint32_t>(box[i]));
  return v;
}

// Bytes of one sample of the channel type.
inline int ExrSampleBytes(int32_t type) { return type == 1 ? 2 : 4; }

inline Bytes ExrBytes(const ExrRecipe& recipe) {
  Bytes out = {'\x76', '\x2f', '\x31', '\x01'};
  PutLE32(&out, 2u | (recipe.tiled ? 0x200u : 0u));

  Bytes channels;
  std::vector<ExrChannelRecipe> sorted = recipe.channels;
  std::sort(sorted.begin(), sorted.end(),
            [](const ExrChannelRecipe& a, const ExrChannelRecipe& b) { return a.name < b.name; });
  for (const ExrChannelRecipe& c : sorted) {
    PutString(&channels, c.name);
    PutLE32(&channels, static_cast<uint32_t>(c.type));
    for (int i = 0; i < 4; ++i) channels.push_back('\0');  // pLinear, reserved
    PutLE32(&channels, static_cast<uint32_t>(c.xSampling));
    PutLE32(&channels, static_cast<uint32_t>(c.ySampling));
  }
  channels.push_back('\0');
  PutExrAttribute(&out, "channels", "chlist", channels,
                  int64_t(channels.size()) + recipe.channelsLengthError);
  PutExrAttribute(&out, "compression", "compression", {static_cast<char>(recipe.compression)});
  PutExrAttribute(&out, "dataWindow", "box2i", ExrBox(recipe.dataWindow));
  PutExrAttribute(&out, "displayWindow", "box2i", ExrBox(recipe.displayWindow));
  PutExrAttribute(&out, "lineOrder", "lineOrder", {static_cast<char>(recipe.lineOrder)});
  Bytes one;
  PutLEFloat(&one, 1.0f);
  PutExrAttribute(&out, "pixelAspectRatio", "float", one);
  Bytes centre;
  PutLEFloat(&centre, 0.0f);
  PutLEFloat(&centre, 0.0f);
  PutExrAttribute(&out, "screenWindowCenter", "v2f", centre);
  PutExrAttribute(&out, "screenWindowWidth", "float", one);
  if (recipe.tiled) {
    Bytes tiles;
    PutLE32(&tiles, recipe.tileWidth);
    PutLE32(&tiles, recipe.tileHeight);
    tiles.push_back('\0');  // one level, rounding down
    PutExrAttribute(&out, "tiles", "tiledesc", tiles);
  }
  out.insert(out.end(), recipe.extraAttributes.begin(), recipe.extraAttributes.end());
  out.push_back('\0');

  const long long width = static_cast<long long>(recipe.dataWindow[2]) - recipe.dataWindow[0] + 1;
  const long long height = static_cast<long long>(recipe.dataWindow[3]) - recipe.dataWindow[1] + 1;
  long long chunks = std::max(0LL, height);
  if (recipe.tiled && recipe.tileWidth > 0 && recipe.tileHeight > 0)
    chunks = ((std::max(0LL, width) + recipe.tileWidth - 1) / recipe.tileWidth) *
             ((std::max(0LL, height) + recipe.tileHeight - 1) / recipe.tileHeight);
  const long long entries = recipe.tableEntries < 0 ? chunks : std::min(chunks, recipe.tableEntries);
  // Scan lines only for chunks the table lists.
  const long long lines =
      recipe.tiled ? 0 : recipe.linesWritten < 0 ? entries : std::min(entries, recipe.linesWritten);

  size_t lineBytes = 0;
  for (const ExrChannelRecipe& c : sorted)
    lineBytes += size_t(std::max(0LL, width)) * ExrSampleBytes(c.type);
  const uint64_t first = out.size() + 8 * uint64_t(entries);
  for (long long i = 0; i < entries; ++i) {
    const uint64_t own = first + uint64_t(i) * (8 + lineBytes);
    PutLE64(&out, recipe.forcedOffset != 0 ? recipe.forcedOffset
                  : recipe.offsetsToFirstChunk ? first
                                             : own);
  }
  for (long long i = 0; i < lines; ++i) {
    PutLE32(&out, static_cast<uint32_t>(recipe.dataWindow[1] + i));
    PutLE32(&out, static_cast<uint32_t>(lineBytes));
    out.insert(out.end(), lineBytes, '\0');
  }
  return out;
}

}  // namespace cli_test
