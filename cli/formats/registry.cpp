#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/formats/format.h"
#include "cli/system.h"

namespace fxaa_cli {

namespace {

// "a, b or c".
std::string Enumeration(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i)
    text += (i == 0 ? "" : i + 1 == items.size() ? " or " : ", ") + items[i];
  return text;
}

}  // namespace

const std::vector<const Format*>& Formats() {
  static const std::vector<const Format*> formats = {
      &PngFormat(),
      &ExrFormat(),
      &TiffFormat(),
      &JpegFormat(),
      &DpxFormat(),
      &BmpFormat(),
      &WebpFormat(),
      &Jpeg2000Format(),
      &SgiFormat(),
      &PamFormat(),
      &PpmFormat(),
      &PgmFormat(),
      &QoiFormat(),
      &MxfFormat(),
      &TransportStreamFormat(),  // before the library's probe, which needs more than the head
      &TgaFormat(),  // after every format with a signature: a TGA has none, only a plausible header
      &VideoFormat(),  // last: the library's probe knows still images too
  };
  return formats;
}

const Format* FormatForName(const std::string& path) {
  const std::string ext = Lower(std::filesystem::u8path(path).extension().u8string());
  for (const Format* format : Formats())
    if (std::find(format->extensions.begin(), format->extensions.end(), ext) !=
        format->extensions.end())
      return format;
  return nullptr;
}

bool ReadFileHead(const std::string& path, std::vector<uint8_t>* head) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) return false;
  head->resize(kFormatHeadBytes);
  in.read(reinterpret_cast<char*>(head->data()), std::streamsize(head->size()));
  head->resize(static_cast<size_t>(in.gcount()));
  return true;
}

const Format* FormatForContent(const uint8_t* head, size_t size) {
  for (const Format* format : Formats())
    if (format->detect(head, size)) return format;
  return nullptr;
}

std::string FormatNames() {
  std::vector<std::string> names;
  for (const Format* format : Formats()) names.push_back(format->name);
  return Enumeration(names);
}

std::string FormatExtensions() {
  std::vector<std::string> extensions;
  for (const Format* format : Formats())
    extensions.insert(extensions.end(), format->extensions.begin(), format->extensions.end());
  return Enumeration(extensions);
}

std::vector<const FormatOption*> AllFormatOptions() {
  std::vector<const FormatOption*> all;
  for (const Format* format : Formats())
    for (const FormatOption* option : format->options)
      if (std::find(all.begin(), all.end(), option) == all.end()) all.push_back(option);
  return all;
}

std::string FormatOptionValue(const WriteOptions& options, const FormatOption& option) {
  const auto given = options.formatOptions.find(option.name);
  return given != options.formatOptions.end() ? given->second : option.defaultValue;
}

unsigned long long FileLength(std::FILE* file) {
  const long at = std::ftell(file);
  if (at < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
  const long end = std::ftell(file);
  std::fseek(file, at, SEEK_SET);
  return end > 0 ? static_cast<unsigned long long>(end) : 0;
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = OpenFile(path, "wb");
  if (file == nullptr) throw ImageError(path + ": cannot create: " + std::strerror(errno));
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    const int err = errno;
    std::fclose(file);
    throw ImageError(path + ": cannot write: " + std::strerror(err));
  }
  CloseWrittenFile(file, path);
}

void CloseWrittenFile(std::FILE* file, const std::string& path) {
  if (std::fflush(file) != 0 || std::ferror(file)) {
    const int err = errno;
    std::fclose(file);
    throw ImageError(path + ": cannot write: " + std::strerror(err));
  }
  if (std::fclose(file) != 0) throw ImageError(path + ": cannot write: " + std::strerror(errno));
}

}  // namespace fxaa_cli
