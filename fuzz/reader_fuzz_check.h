// What every reader fuzz target checks. The readers take paths, so each input goes through a
// scratch file; a read must return an image whose buffers match its size, or throw an
// ImageError of one line that starts with the file's name. A decoded image must also survive
// being written back and read again with the same pixels. Any other outcome aborts, and
// libFuzzer keeps the input that caused it.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli/formats/format.h"

namespace fxaa_fuzz {

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "reader fuzz check failed: %s\n", what.c_str());
  std::abort();
}

// A scratch path for this process (several fuzzing processes may share the folder). RAM-backed
// when the system has such a folder: every input is written once.
inline std::string ScratchPath(const std::string& name) {
  std::error_code ec;
  std::filesystem::path folder = "/dev/shm";
  if (!std::filesystem::is_directory(folder, ec)) folder = std::filesystem::temp_directory_path();
  return (folder / ("fxaa-fuzz-" + std::to_string(getpid()) + "-" + name)).string();
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Fail("cannot create " + path);
  if (size > 0 && std::fwrite(data, 1, size, f) != size) Fail("cannot write " + path);
  std::fclose(f);
}

inline void CheckMessage(const std::string& path, const std::string& message) {
  if (message.rfind(path + ": ", 0) != 0) Fail("message does not start with the file: " + message);
  if (message.find('\n') != std::string::npos) Fail("message of several lines: " + message);
}

inline void CheckImage(const fxaa_cli::Image& image, const fxaa_cli::Format& format) {
  using fxaa_cli::SampleType;
  if (image.width < 1 || image.height < 1 || image.width > fxaa_cli::kMaxImageSide ||
      image.height > fxaa_cli::kMaxImageSide)
    Fail("size out of range: " + std::to_string(image.width) + " x " + std::to_string(image.height));
  const size_t values = size_t(image.width) * size_t(image.height) * 4;
  const bool bytes = image.type == SampleType::kUInt8;
  if ((bytes ? image.bytes.size() : image.floats.size()) != values ||
      (bytes ? image.floats.size() : image.bytes.size()) != 0)
    Fail("pixel buffer does not match the size");
  const std::vector<SampleType>& stored = format.sampleTypes;
  if (std::find(stored.begin(), stored.end(), image.type) == stored.end())
    Fail("sample type does not belong to the format");
}

// Same pixels, NaNs matching NaNs (their payloads may change through half).
inline bool SamePixels(const fxaa_cli::Image& a, const fxaa_cli::Image& b) {
  if (a.width != b.width || a.height != b.height || a.bytes != b.bytes ||
      a.floats.size() != b.floats.size())
    return false;
  for (size_t i = 0; i < a.floats.size(); ++i) {
    const float x = a.floats[i], y = b.floats[i];
    if (!(std::memcmp(&x, &y, sizeof x) == 0 || (std::isnan(x) && std::isnan(y)))) return false;
  }
  return true;
}

// Frames up to this many pixels are written back; larger ones would only slow the run down.
constexpr long long kRoundTripPixels = 1 << 16;

// Whether the file written keeps pixels exactly (lossy encodings carried over from the input
// do not).
using ExactTest = bool (*)(const std::string& written);
inline bool AlwaysExact(const std::string&) { return true; }

// Reads `data` with `format`'s reader from a file named `name`; checks as described at the top.
inline void CheckReader(const uint8_t* data, size_t size, const std::string& name,
                        const fxaa_cli::Format& format, ExactTest exact = AlwaysExact) {
  const std::string input = ScratchPath(name);
  const std::string output = ScratchPath("out-" + name);
  WriteFile(input, data, size);
  fxaa_cli::Image image;
  try {
    image = format.read(input);
  } catch (const fxaa_cli::ImageError& e) {
    CheckMessage(input, e.what());
    return;
  }
  CheckImage(image, format);
  if (static_cast<long long>(image.width) * image.height > kRoundTripPixels) return;
  try {
    fxaa_cli::WriteImage(image, output);
  } catch (const fxaa_cli::ImageError& e) {
    CheckMessage(output, e.what());  // an input header the writer cannot carry over
    return;
  }
  fxaa_cli::Image back;
  try {
    back = fxaa_cli::ReadImage(output);
  } catch (const fxaa_cli::ImageError& e) {
    Fail(std::string("cannot read back what was written: ") + e.what());
  }
  if (back.layout != image.layout || back.type != image.type || back.width != image.width ||
      back.height != image.height)
    Fail("written and read back, the frame's encoding or size differs");
  if (exact(output) && !SamePixels(back, image)) Fail("written and read back, the pixels differ");
}

}  // namespace fxaa_fuzz
