// The tool's image model: one frame as the host keeps it (four channels, alpha first, straight
// colour), plus what the file it came from looked like, so that it can be written back the same
// way. 8-bit files are held as bytes; 16-bit files, half and float as 32-bit floats (16-bit words
// scaled to 0..1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/errors.h"
#include "host_runtime/pixel_math.h"
#include "host_runtime/world.h"

namespace fxaa_cli {

// Channels as stored in the file. Grey layouts carry one value for red, green and blue.
enum class ChannelLayout { kY, kYA, kRGB, kRGBA };
// Sample type in the file, from the least precise to the most.
enum class SampleType { kUInt8, kUInt16, kHalf, kFloat };

// Largest width or height accepted: the host's largest world.
constexpr int kMaxImageSide = host_runtime::kMaxWorldSide;

struct Format;  // an entry of the format table (cli/formats/format.h)

// What a format keeps of the file it read, beyond the pixels, to write it back the same way (an
// OpenEXR header, a TIFF's compression and alpha kind, a JPEG's markers). Each format derives its
// own and recognises only that.
struct FormatDetails {
  virtual ~FormatDetails() = default;
};

struct Image {
  int width = 0;
  int height = 0;
  const Format* format = nullptr;  // the format the file was read as; none for drawn frames
  ChannelLayout layout = ChannelLayout::kRGBA;
  SampleType type = SampleType::kUInt8;
  bool fromPalette = false;  // PNG or TIFF palette file, expanded on reading
  // ARGB pixels, row 0 first, no padding: bytes for kUInt8, floats otherwise.
  std::vector<uint8_t> bytes;
  std::vector<float> floats;
  std::shared_ptr<const FormatDetails> details;

  // 8 for byte pixels, 32 for float pixels: the host world depth this image travels in.
  int worldDepth() const { return type == SampleType::kUInt8 ? 8 : 32; }
  // Allocates zeroed pixels for the current size and type.
  void Allocate();
  // Zeroed pixels for the first `rows` rows only, for a reader that decodes the file row by row:
  // the buffer grows at most twofold per call, so a file that holds fewer rows than its header
  // promises fails having committed no more than twice what it held.
  void AllocateRows(int rows);
  uint8_t* byteRow(int y) { return bytes.data() + size_t(y) * size_t(width) * 4; }
  const uint8_t* byteRow(int y) const { return bytes.data() + size_t(y) * size_t(width) * 4; }
  float* floatRow(int y) { return floats.data() + size_t(y) * size_t(width) * 4; }
  const float* floatRow(int y) const { return floats.data() + size_t(y) * size_t(width) * 4; }
};

bool HasAlpha(ChannelLayout layout);
bool IsGrey(ChannelLayout layout);
int ChannelCount(ChannelLayout layout);         // 1 to 4
const char* LayoutName(ChannelLayout layout);   // "Y", "YA", "RGB", "RGBA"
const char* SampleTypeName(SampleType type);    // "8-bit", "16-bit", "half", "float"

// Throws ImageError unless width x height is a size the tool will hold in memory: both sides
// 1..kMaxImageSide and the frame's buffers well inside the machine's memory.
void CheckImageSize(const std::string& path, long long width, long long height);

// Reads an image file in any format of the table, chosen by its first bytes, not its name. Every
// failure, running out of memory included, is an ImageError.
Image ReadImage(const std::string& path);

// How to write: the image's own layout and type unless overridden.
struct WriteOptions {
  bool overrideLayout = false;
  ChannelLayout layout = ChannelLayout::kRGBA;
  bool overrideType = false;
  SampleType type = SampleType::kUInt8;
  // With overrideType kUInt16: the bits a sample of a format that stores fewer than 16 (DPX's 10
  // and 12); 0 for all 16. Formats that store only whole 16-bit words write 16.
  int bits = 0;
  // Values of the formats' own options (--quality ...), by option name; absent ones take the
  // option's default.
  std::map<std::string, std::string> formatOptions;
};

// The layout and type `image` is written with in `format` under `options`: its own where the
// format can store it, else the nearest the format has: the least precise stored type that is
// at least as precise (8/16-bit into EXR becomes half), else the most precise (half or float into
// PNG becomes 16-bit); alpha is dropped where the format has none.
void ResolveOutputEncoding(const Image& image, const Format& format, const WriteOptions& options,
                           ChannelLayout* layout, SampleType* type);

// Writes `image` to `path` in the format its extension names. The file appears complete or not
// at all: the data goes to a temporary file in the same folder, renamed over `path` at the end.
void WriteImage(const Image& image, const std::string& path, const WriteOptions& options = {});

// One spelling per file, so that "a/../b.png" and "b.png" are seen as the same file; the file
// need not exist yet.
std::string FileIdentity(const std::string& path);

// A name for a file being written in place of `path`, beside it (so that renaming it over `path`
// is one step), unique in this process and across processes, within the file system's limit on
// a name's length (the name of `path` shortened when needed).
std::string TemporaryNameFor(const std::string& path);

// Removes every temporary file this process has made (TemporaryNameFor) that is still there:
// for a process that ends with threads still writing.
void RemoveOwnTemporaries();

// Removes from `folder` the temporary files of runs that no longer run (killed before they could
// remove them) that stood in for outputs whose file names `writes` accepts.
void RemoveStaleTemporaries(const std::string& folder,
                            const std::function<bool(const std::string& fileName)>& writes);

// Row `y` of `image` as a file's interleaved samples of `layout` and `type` in the machine's byte
// order: bytes, 16-bit words, half bits or floats. Grey is GreyOf the colour.
void PackRow(const Image& image, int y, ChannelLayout layout, SampleType type, void* out);
size_t SampleBytes(SampleType type);  // 1, 2, 2, 4

// Whether every pixel of `image` has full alpha.
bool Opaque(const Image& image);

// Straight colour from premultiplied colour (pixels with alpha 0 keep their colour), and back.
// 8-bit values are rounded to the nearest step; colour above alpha is clamped to 255.
void Unpremultiply(Image* image);
void Premultiply(Image* image);

// `text` with line breaks and other control characters turned into spaces: library messages
// become part of the tool's one-line messages.
std::string OneLine(std::string text);

// `text` in lower case (ASCII): names and values the user may type in any case.
std::string Lower(std::string text);

// Sample conversions shared by the readers and writers (and every other program on the host
// side).
using host_runtime::FloatToByte;
using host_runtime::FloatToWord16;
using host_runtime::Word16ToFloat;

// The grey value written for a pixel of a grey layout: red when red, green and blue agree (so
// grey input comes back exactly), else Rec. 709 luma.
float GreyOf(float r, float g, float b);

}  // namespace fxaa_cli
