#include "cli/image.h"

#include <Imath/half.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <new>

#include "cli/formats/format.h"
#include "cli/system.h"

namespace fxaa_cli {

namespace fs = std::filesystem;

void Image::Allocate() {
  const size_t count = size_t(width) * size_t(height) * 4;
  if (type == SampleType::kUInt8) {
    bytes.assign(count, 0);
    floats.clear();
  } else {
    floats.assign(count, 0.0f);
    bytes.clear();
  }
}

void Image::AllocateRows(int rows) {
  const size_t count = size_t(width) * size_t(rows) * 4;
  const size_t total = size_t(width) * size_t(height) * 4;
  auto grow = [&](auto& pixels) {
    if (count > pixels.capacity())
      pixels.reserve(std::min(total, std::max(count, 2 * pixels.capacity())));
    pixels.resize(count);
  };
  if (type == SampleType::kUInt8)
    grow(bytes);
  else
    grow(floats);
}

bool HasAlpha(ChannelLayout layout) {
  return layout == ChannelLayout::kYA || layout == ChannelLayout::kRGBA;
}
bool IsGrey(ChannelLayout layout) {
  return layout == ChannelLayout::kY || layout == ChannelLayout::kYA;
}

const char* LayoutName(ChannelLayout layout) {
  switch (layout) {
    case ChannelLayout::kY: return "Y";
    case ChannelLayout::kYA: return "YA";
    case ChannelLayout::kRGB: return "RGB";
    case ChannelLayout::kRGBA: return "RGBA";
  }
  return "?";
}

const char* SampleTypeName(SampleType type) {
  switch (type) {
    case SampleType::kUInt8: return "8-bit";
    case SampleType::kUInt16: return "16-bit";
    case SampleType::kHalf: return "half";
    case SampleType::kFloat: return "float";
  }
  return "?";
}

int ChannelCount(ChannelLayout layout) {
  switch (layout) {
    case ChannelLayout::kY: return 1;
    case ChannelLayout::kYA: return 2;
    case ChannelLayout::kRGB: return 3;
    case ChannelLayout::kRGBA: return 4;
  }
  return 4;
}

std::string FileIdentity(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(fs::u8path(path));
  const fs::path p = fs::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal().u8string() : p.u8string();
}

namespace {

// The folders this process has made temporary files in, for RemoveOwnTemporaries.
std::mutex g_temporaryFoldersMutex;
std::set<std::string> g_temporaryFolders;

// The process id a temporary file's name (".NAME.tmp-PID-N") holds, and where its ".tmp-"
// starts; false for any other name.
bool ParseTemporaryName(const std::string& name, unsigned long* id, size_t* mark) {
  static const std::string kMark = ".tmp-";
  *mark = name.rfind(kMark);
  if (name[0] != '.' || *mark == std::string::npos || *mark < 2) return false;
  // The process's id and a count, digits only.
  const std::string tail = name.substr(*mark + kMark.size());
  const size_t dash = tail.find('-');
  if (dash == 0 || dash == std::string::npos || dash > 9 || dash + 1 == tail.size() ||
      tail.find_first_not_of("0123456789-") != std::string::npos ||
      tail.find('-', dash + 1) != std::string::npos)
    return false;
  *id = std::stoul(tail.substr(0, dash));  // nine digits at most: no overflow
  return true;
}

}  // namespace

std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const fs::path p = fs::u8path(path);
  const std::string folder = p.parent_path().u8string();
  const std::string tail =
      ".tmp-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(counter++);
  // A name near the file system's limit is shortened to fit, cut between characters: the
  // process id and the count keep it unique.
  std::string stem = "." + p.filename().u8string();
  const size_t limit = FileNameLimit(folder);
  while (stem.size() > 1 && FileNameLength(stem + tail) > limit) {
    while (stem.size() > 1 && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80)
      stem.pop_back();  // a character's continuation bytes, then its first
    stem.pop_back();
  }
  {
    const std::lock_guard<std::mutex> lock(g_temporaryFoldersMutex);
    g_temporaryFolders.insert(folder);
  }
  return (p.parent_path() / fs::u8path(stem + tail)).u8string();
}

void RemoveStaleTemporaries(const std::string& folder,
                            const std::function<bool(const std::string& fileName)>& writes) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::u8path(folder.empty() ? "." : folder), ec)) {
    const std::string name = entry.path().filename().u8string();
    unsigned long id;
    size_t mark;
    if (!ParseTemporaryName(name, &id, &mark) || id == CurrentProcessId() || ProcessRunning(id) ||
        !writes(name.substr(1, mark - 1)))
      continue;
    std::error_code removed;
    fs::remove(entry.path(), removed);
  }
}

void RemoveOwnTemporaries() {
  const std::lock_guard<std::mutex> lock(g_temporaryFoldersMutex);
  for (const std::string& folder : g_temporaryFolders) {
    std::error_code ec;
    for (const auto& entry :
         fs::directory_iterator(fs::u8path(folder.empty() ? "." : folder), ec)) {
      unsigned long id;
      size_t mark;
      if (!ParseTemporaryName(entry.path().filename().u8string(), &id, &mark) ||
          id != CurrentProcessId())
        continue;
      std::error_code removed;
      fs::remove(entry.path(), removed);
    }
  }
}

void CheckImageSize(const std::string& path, long long width, long long height) {
  if (width <= 0 || height <= 0) {
    throw ImageError(path + ": corrupt image: size " + std::to_string(width) + " x " +
                     std::to_string(height));
  }
  if (width > kMaxImageSide || height > kMaxImageSide) {
    throw ImageError(path + ": image too large: " + std::to_string(width) + " x " +
                     std::to_string(height) + " (the limit is " + std::to_string(kMaxImageSide) +
                     " pixels a side)");
  }
  // A frame in flight holds about four float copies (file pixels, input and output worlds,
  // result); refuse a size whose one float copy would take more than an eighth of the memory.
  const unsigned long long frameBytes =
      static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) * 16ull;
  const unsigned long long memory = PhysicalMemoryBytes();
  if (memory != 0 && frameBytes > memory / 8) {
    throw ImageError(path + ": image too large for this machine's memory: " +
                     std::to_string(width) + " x " + std::to_string(height));
  }
}

Image ReadImage(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(fs::u8path(path), ec);
  if (ec || !fs::exists(status)) throw ImageError(path + ": no such file");
  if (fs::is_directory(status)) throw ImageError(path + ": is a folder, not an image");
  // Opening a pipe waits for a writer: one put in a sequence's place while it runs is not opened.
  if (!fs::is_regular_file(status)) throw ImageError(path + ": not a file (a pipe or a device)");

  std::vector<uint8_t> head;
  if (!ReadFileHead(path, &head)) throw ImageError(path + ": cannot open: " + std::strerror(errno));
  if (head.empty()) throw ImageError(path + ": empty file");
  const Format* format = FormatForContent(head.data(), head.size());
  if (format == nullptr)
    throw ImageError(path + ": unsupported file type (not a " + FormatNames() + " image)");
  if (format->holdsFrames()) throw ImageError(path + ": a video, read only as the one input");
  try {
    Image image = format->read(path);
    image.format = format;
    return image;
  } catch (const std::bad_alloc&) {
    throw ImageError(path + ": not enough memory to read it");
  }
}

void ResolveOutputEncoding(const Image& image, const Format& format, const WriteOptions& options,
                           ChannelLayout* layout, SampleType* type) {
  ChannelLayout l = options.overrideLayout ? options.layout : image.layout;
  if (!format.storesAlpha && l == ChannelLayout::kYA) l = ChannelLayout::kY;
  if (!format.storesAlpha && l == ChannelLayout::kRGBA) l = ChannelLayout::kRGB;
  *layout = l;

  const SampleType wanted = options.overrideType ? options.type : image.type;
  const std::vector<SampleType>& stored = format.sampleTypes;  // least precise first
  const auto atLeast = std::find_if(stored.begin(), stored.end(),
                                    [&](SampleType t) { return t >= wanted; });
  *type = atLeast != stored.end() ? *atLeast : stored.back();
}

namespace {

// Removes a file named in UTF-8 when it is there.
void RemoveFile(const std::string& path) {
  std::error_code ec;
  fs::remove(fs::u8path(path), ec);
}

}  // namespace

void WriteImage(const Image& image, const std::string& path, const WriteOptions& options) {
  const Format* format = FormatForName(path);
  if (format == nullptr) {
    throw ImageError(path + ": cannot write: unknown output type (use " + FormatExtensions() +
                     ")");
  }
  if (format->holdsFrames())
    throw ImageError(path + ": cannot write: a video is written from a batch's frames");
  ChannelLayout layout;
  SampleType type;
  ResolveOutputEncoding(image, *format, options, &layout, &type);

  const std::string tmp = TemporaryNameFor(path);
  try {
    format->write(image, tmp, layout, type, options);
  } catch (const ImageError& e) {
    RemoveFile(tmp);
    // The writers (and the libraries' messages) name the file they wrote; the user knows it by
    // its final name.
    std::string why = e.what();
    for (size_t at = why.find(tmp); at != std::string::npos; at = why.find(tmp, at + path.size()))
      why.replace(at, tmp.size(), path);
    throw ImageError(why);
  }
  std::error_code ec;
  fs::rename(fs::u8path(tmp), fs::u8path(path), ec);
  if (ec) {
    RemoveFile(tmp);
    throw ImageError(path + ": cannot write: " + ec.message());
  }
}

size_t SampleBytes(SampleType type) {
  switch (type) {
    case SampleType::kUInt8: return 1;
    case SampleType::kUInt16:
    case SampleType::kHalf: return 2;
    case SampleType::kFloat: return 4;
  }
  return 4;
}

void PackRow(const Image& image, int y, ChannelLayout layout, SampleType type, void* out) {
  const int channels = ChannelCount(layout);
  const bool grey = IsGrey(layout), alpha = HasAlpha(layout);
  uint8_t* bytes = static_cast<uint8_t*>(out);
  uint16_t* words = static_cast<uint16_t*>(out);
  float* floats = static_cast<float*>(out);
  for (int x = 0; x < image.width; ++x) {
    float argb[4];
    if (image.type == SampleType::kUInt8) {
      const uint8_t* p = image.byteRow(y) + 4 * size_t(x);
      if (type == SampleType::kUInt8) {  // bytes stay bytes: no trip through floats
        uint8_t* d = bytes + size_t(x) * channels;
        if (grey) {
          d[0] = (p[1] == p[2] && p[2] == p[3])
                     ? p[1]
                     : FloatToByte(GreyOf(p[1] / 255.f, p[2] / 255.f, p[3] / 255.f));
        } else {
          d[0] = p[1], d[1] = p[2], d[2] = p[3];
        }
        if (alpha) d[channels - 1] = p[0];
        continue;
      }
      for (int c = 0; c < 4; ++c) argb[c] = p[c] / 255.f;
    } else {
      const float* p = image.floatRow(y) + 4 * size_t(x);
      for (int c = 0; c < 4; ++c) argb[c] = p[c];
    }
    float values[4];
    int n = 0;
    if (grey) {
      values[n++] = GreyOf(argb[1], argb[2], argb[3]);
    } else {
      for (int c = 1; c <= 3; ++c) values[n++] = argb[c];
    }
    if (alpha) values[n++] = argb[0];
    const size_t at = size_t(x) * channels;
    for (int c = 0; c < n; ++c) {
      switch (type) {
        case SampleType::kUInt8: bytes[at + c] = FloatToByte(values[c]); break;
        case SampleType::kUInt16: words[at + c] = FloatToWord16(values[c]); break;
        case SampleType::kHalf: words[at + c] = half(values[c]).bits(); break;
        case SampleType::kFloat: floats[at + c] = values[c]; break;
      }
    }
  }
}

bool Opaque(const Image& image) {
  for (size_t i = 0; i < image.bytes.size(); i += 4)
    if (image.bytes[i] != 255) return false;
  for (size_t i = 0; i < image.floats.size(); i += 4)
    if (image.floats[i] != 1.0f) return false;
  return true;
}

void Unpremultiply(Image* image) {
  if (image->type == SampleType::kUInt8) {
    host_runtime::UnpremultiplyArgb(image->bytes.data(), image->bytes.size() / 4);
  } else {
    host_runtime::UnpremultiplyArgb(image->floats.data(), image->floats.size() / 4);
  }
}

void Premultiply(Image* image) {
  if (image->type == SampleType::kUInt8) {
    host_runtime::PremultiplyArgb(image->bytes.data(), image->bytes.size() / 4);
  } else {
    host_runtime::PremultiplyArgb(image->floats.data(), image->floats.size() / 4);
  }
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

float GreyOf(float r, float g, float b) {
  if (r == g && g == b) return r;
  return 0.2126f * r + 0.7152f * g + 0.0722f * b;
}

}  // namespace fxaa_cli
