#include "cli/image.h"

#include <algorithm>
#include <cctype>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

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

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A name for the temporary file beside `path`, unique in this process and across processes.
std::string TemporaryNameFor(const fs::path& path) {
  static std::atomic<unsigned> counter{0};
  fs::path tmp = path.parent_path();
  tmp /= "." + path.filename().string() + ".tmp-" + std::to_string(CurrentProcessId()) + "-" +
         std::to_string(counter++);
  return tmp.string();
}

}  // namespace

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

bool FormatFromName(const std::string& path, FileFormat* format) {
  const std::string ext = Lower(fs::path(path).extension().string());
  if (ext == ".png") {
    *format = FileFormat::kPng;
    return true;
  }
  if (ext == ".exr") {
    *format = FileFormat::kExr;
    return true;
  }
  return false;
}

Image ReadImage(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) throw ImageError(path + ": no such file");
  if (fs::is_directory(status)) throw ImageError(path + ": is a folder, not an image");

  std::ifstream in(path, std::ios::binary);
  if (!in) throw ImageError(path + ": cannot open: " + std::strerror(errno));
  unsigned char magic[8] = {};
  in.read(reinterpret_cast<char*>(magic), sizeof(magic));
  const std::streamsize got = in.gcount();
  in.close();

  static const unsigned char kPngMagic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  static const unsigned char kExrMagic[4] = {0x76, 0x2F, 0x31, 0x01};
  try {
    if (got == 8 && std::memcmp(magic, kPngMagic, 8) == 0) return ReadPng(path);
    if (got >= 4 && std::memcmp(magic, kExrMagic, 4) == 0) return ReadExr(path);
  } catch (const std::bad_alloc&) {
    throw ImageError(path + ": not enough memory to read it");
  }
  if (got == 0) throw ImageError(path + ": empty file");
  throw ImageError(path + ": unsupported file type (not a PNG or OpenEXR image)");
}

void ResolveOutputEncoding(const Image& image, FileFormat format, const WriteOptions& options,
                           ChannelLayout* layout, SampleType* type) {
  *layout = options.overrideLayout ? options.layout : image.layout;
  SampleType t = options.overrideType ? options.type : image.type;
  if (format == FileFormat::kPng) {
    if (t == SampleType::kHalf || t == SampleType::kFloat) t = SampleType::kUInt16;
  } else {
    if (t == SampleType::kUInt8 || t == SampleType::kUInt16) t = SampleType::kHalf;
  }
  *type = t;
}

void WriteImage(const Image& image, const std::string& path, const WriteOptions& options) {
  FileFormat format;
  if (!FormatFromName(path, &format)) {
    throw ImageError(path + ": cannot write: unknown output type (use .png or .exr)");
  }
  ChannelLayout layout;
  SampleType type;
  ResolveOutputEncoding(image, format, options, &layout, &type);

  const std::string tmp = TemporaryNameFor(fs::path(path));
  try {
    if (format == FileFormat::kPng)
      WritePng(image, tmp, layout, type);
    else
      WriteExr(image, tmp, layout, type);
  } catch (const ImageError& e) {
    std::remove(tmp.c_str());
    // The writers (and the libraries' messages) name the file they wrote; the user knows it by
    // its final name.
    std::string why = e.what();
    for (size_t at = why.find(tmp); at != std::string::npos; at = why.find(tmp, at + path.size()))
      why.replace(at, tmp.size(), path);
    throw ImageError(why);
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) {
    std::remove(tmp.c_str());
    throw ImageError(path + ": cannot write: " + ec.message());
  }
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

uint16_t FloatToWord16(float v) {
  if (!(v > 0.0f)) return 0;  // NaN and negatives
  if (v >= 1.0f) return 65535;
  return static_cast<uint16_t>(std::lround(v * 65535.0f));
}

uint8_t FloatToByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  return static_cast<uint8_t>(std::lround(v * 255.0f));
}

float GreyOf(float r, float g, float b) {
  if (r == g && g == b) return r;
  return 0.2126f * r + 0.7152f * g + 0.0722f * b;
}

}  // namespace fxaa_cli
