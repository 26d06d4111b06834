// The Windows fxaa tool, run under Wine, writes the same files as the Linux tool for the same
// commands (tests/windows/tool_runs.sh): FXAA_WINDOWS_TOOL_RUN and FXAA_LINUX_TOOL_RUN name the
// two folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/formats/format.h"

namespace {

namespace fs = std::filesystem;
using fxaa_cli::Image;
using fxaa_cli::SampleType;

// Image files under `root`, as paths relative to it, sorted.
std::vector<std::string> ImageFiles(const fs::path& root) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && fxaa_cli::FormatForName(entry.path().string()) != nullptr)
      names.push_back(fs::relative(entry.path(), root).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// How far apart two samples of `type` may be. Both tools run the same programs on Mesa's
// software renderer; what is left is the rounding of a float result to the file's steps (one
// byte or one 16-bit step), float evaluation order (well below 1e-5 for values near 0..1), and
// for half files one half step of the value.
double Tolerance(SampleType type, float value) {
  switch (type) {
    case SampleType::kUInt8: return 1.0;
    case SampleType::kUInt16: return 1.0 / 65535.0 + 1e-9;
    case SampleType::kHalf: return std::ldexp(std::fabs(value), -10) + 1e-6;
    case SampleType::kFloat: return 1e-5;
  }
  return 0.0;
}

// One line for the first sample beyond the tolerance, or "".
std::string FirstDifference(const Image& windows, const Image& linux) {
  if (linux.type == SampleType::kUInt8) {
    for (size_t i = 0; i < linux.bytes.size(); ++i)
      if (std::abs(int(windows.bytes[i]) - int(linux.bytes[i])) > 1)
        return "byte " + std::to_string(i) + ": " + std::to_string(windows.bytes[i]) + " vs " +
               std::to_string(linux.bytes[i]);
    return "";
  }
  for (size_t i = 0; i < linux.floats.size(); ++i) {
    const float a = windows.floats[i], b = linux.floats[i];
    if (std::isnan(a) && std::isnan(b)) continue;
    if (!(std::fabs(a - b) <= Tolerance(linux.type, b)))
      return "sample " + std::to_string(i) + ": " + std::to_string(a) + " vs " + std::to_string(b);
  }
  return "";
}

// Whether any sample differs from zero: an all-black result would hide a failed render.
bool HasContent(const Image& image) {
  return std::any_of(image.bytes.begin(), image.bytes.end(), [](uint8_t v) { return v != 0; }) ||
         std::any_of(image.floats.begin(), image.floats.end(), [](float v) { return v != 0; });
}

TEST(WindowsTool, WritesTheSameFilesAsTheLinuxTool) {
  const char* windowsDir = std::getenv("FXAA_WINDOWS_TOOL_RUN");
  const char* linuxDir = std::getenv("FXAA_LINUX_TOOL_RUN");
  if (windowsDir == nullptr || linuxDir == nullptr)
    GTEST_SKIP() << "FXAA_WINDOWS_TOOL_RUN and FXAA_LINUX_TOOL_RUN are not set "
                    "(scripts/test-windows.sh sets them)";
  const std::vector<std::string> names = ImageFiles(linuxDir);
  // The run writes 22 images; fewer means a command failed on the Linux side.
  ASSERT_EQ(names.size(), 22u);
  EXPECT_EQ(ImageFiles(windowsDir), names);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    Image windows, linux;
    ASSERT_NO_THROW(windows = fxaa_cli::ReadImage((fs::path(windowsDir) / name).string()));
    ASSERT_NO_THROW(linux = fxaa_cli::ReadImage((fs::path(linuxDir) / name).string()));
    ASSERT_EQ(windows.width, linux.width);
    ASSERT_EQ(windows.height, linux.height);
    ASSERT_EQ(windows.format, linux.format);
    ASSERT_EQ(windows.layout, linux.layout);
    ASSERT_EQ(windows.type, linux.type);
    EXPECT_TRUE(HasContent(linux));
    EXPECT_EQ(FirstDifference(windows, linux), "");
  }
}

}  // namespace
