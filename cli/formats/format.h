// The file formats the tool reads and writes, as one table (registry.cpp). Each entry recognises
// its files from their first bytes, names its file-name extensions and what it stores, reads and
// writes a frame, and lists the command-line options its writer takes. Adding a format is adding
// an entry: its source files in this folder (and in cli/image_io.cmake), its function below, and
// its line in the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/image.h"

namespace fxaa_cli {

class FrameSource;
class FrameSink;

// A writer option, given on the command line as --NAME VALUE. Several formats may take the same
// option (the same object).
struct FormatOption {
  const char* name;          // "quality"
  const char* valueName;     // "Q", in the help
  const char* help;          // says which files it applies to and its default
  const char* defaultValue;  // used when the option is not given
  // "" when `value` is acceptable, else why not ("expected 1 to 100").
  std::string (*check)(const std::string& value);
};

// One file format. Every field of an image format is set; a format whose files hold many frames
// adds its own fields beside these.
struct Format {
  const char* name;                     // "PNG", "OpenEXR": in messages
  std::vector<std::string> extensions;  // lower case, with the dot; the first is the usual one
  std::vector<SampleType> sampleTypes;  // the types it stores, least precise first
  bool storesAlpha;
  // Whether a file starting with `head` (`size` bytes, at most kFormatHeadBytes) is of this
  // format.
  bool (*detect)(const uint8_t* head, size_t size);
  // One frame from the file. Every failure is an ImageError starting with the path; running out
  // of memory may also be std::bad_alloc.
  Image (*read)(const std::string& path);
  // Writes `image` as `layout` and `type` (chosen by ResolveOutputEncoding among what the format
  // stores) to `path` directly. Every failure is an ImageError starting with the path.
  void (*write)(const Image& image, const std::string& path, ChannelLayout layout,
                SampleType type, const WriteOptions& options);
  std::vector<const FormatOption*> options;  // the options `write` takes
  // Files of many frames (video) open as a source of frames or a sink of frames (cli/frames.h);
  // `read` and `write` stay empty. Neither opens the file before the batch starts; either throws
  // ImageError when this build cannot, and the sink UsageError for options it cannot honour.
  std::unique_ptr<FrameSource> (*openSource)(const std::string& path) = nullptr;
  std::unique_ptr<FrameSink> (*openSink)(const std::string& path,
                                         const WriteOptions& options) = nullptr;
  // Whether its files keep a video's frame times, so that a range run (--frames A-B) may write a
  // part of a video and `fxaa join` join parts: MXF counts its frames from the first.
  bool holdsParts = true;

  bool holdsFrames() const { return openSource != nullptr; }
};

// The formats, one per file in this folder.
const Format& PngFormat();
const Format& ExrFormat();
const Format& TiffFormat();
const Format& JpegFormat();
const Format& DpxFormat();
const Format& TgaFormat();
const Format& BmpFormat();
const Format& WebpFormat();
const Format& Jpeg2000Format();
const Format& SgiFormat();
const Format& PamFormat();
const Format& PpmFormat();
const Format& PgmFormat();
const Format& QoiFormat();
const Format& VideoFormat();
const Format& TransportStreamFormat();
const Format& MxfFormat();

// --quality: the JPEG encoder's quality, for JPEG files and JPEG-compressed TIFF files, and
// lossy WebP's.
extern const FormatOption kQualityOption;
// Its value in `options`; an ImageError naming `path` when it is not 1 to 100.
int QualityOf(const WriteOptions& options, const std::string& path);

// --codec, --crf, --fps and --unfit-streams: the options of the entries that hold video
// (video_format.cpp).
extern const FormatOption kCodecOption;
extern const FormatOption kCrfOption;
extern const FormatOption kUnfitStreamsOption;
extern const FormatOption kFpsOption;

// Bytes in an open file, or 0 when it cannot say; its position is kept.
unsigned long long FileLength(std::FILE* file);

// Flushes and closes a file a writer has filled (and owns no longer); an ImageError naming `path`
// when its bytes cannot reach the disk. A full disk shows up only when the buffered bytes do.
void CloseWrittenFile(std::FILE* file, const std::string& path);

// Writes `bytes` as the file at `path`; an ImageError naming it when they cannot all be written.
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Bytes of a file's start that detection looks at: enough for several 188-byte packets, which a
// transport stream needs to be told from noise.
constexpr size_t kFormatHeadBytes = 1024;

// Every format, in the order detection tries them.
const std::vector<const Format*>& Formats();

// The format a file name's extension (any case) names, or nullptr.
const Format* FormatForName(const std::string& path);

// The format whose files start like `head`, or nullptr.
const Format* FormatForContent(const uint8_t* head, size_t size);

// Reads the first kFormatHeadBytes of the file at `path` (fewer of a shorter file) into *head;
// false, with errno saying why, when the file cannot be opened.
bool ReadFileHead(const std::string& path, std::vector<uint8_t>* head);

// "PNG, OpenEXR, ..." and ".png, .exr, ...", for messages.
std::string FormatNames();
std::string FormatExtensions();

// Every option of every format, each once, in table order.
std::vector<const FormatOption*> AllFormatOptions();

// The value given for `option` in `options`, else its default.
std::string FormatOptionValue(const WriteOptions& options, const FormatOption& option);

}  // namespace fxaa_cli
