// Helpers of the fxaa tool's tests: a scratch folder, test images, file bytes, and running the
// tool in-process.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/formats/format.h"
#include "tests/support/random_image.h"

namespace cli_test {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    std::string templ = (fs::temp_directory_path() / "fxaa-cli-test-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = templ;
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& path() const { return path_; }
  // Names of the files in the folder (or a sub-folder), sorted.
  std::vector<std::string> Files(const std::string& sub = "") const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(sub.empty() ? path_ : path_ / sub))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

using test_support::MakeImage;

inline std::vector<char> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The bytes of `image` written as a file called `name` (its extension picks the format).
inline std::vector<char> Encoded(const fxaa_cli::Image& image, const std::string& name) {
  ScratchDir dir;
  fxaa_cli::WriteImage(image, dir / name);
  return FileBytes(dir / name);
}

// A parameterised test's name from its case's file name: "cut_short.png" gives "cut_short_png".
template <typename Case>
std::string FileCaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = info.param.name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

// Pixels of two images are identical (both byte or both float, same size).
inline ::testing::AssertionResult SamePixels(const fxaa_cli::Image& a, const fxaa_cli::Image& b) {
  if (a.width != b.width || a.height != b.height)
    return ::testing::AssertionFailure() << "size " << a.width << "x" << a.height << " vs "
                                         << b.width << "x" << b.height;
  if (a.bytes != b.bytes) return ::testing::AssertionFailure() << "byte pixels differ";
  if (a.floats.size() != b.floats.size())
    return ::testing::AssertionFailure() << "float pixel counts differ";
  for (size_t i = 0; i < a.floats.size(); ++i) {
    // Bitwise: -0 and +0 or NaNs must survive as they were.
    if (std::memcmp(&a.floats[i], &b.floats[i], sizeof(float)) != 0)
      return ::testing::AssertionFailure() << "float " << i << ": " << a.floats[i] << " vs "
                                           << b.floats[i];
  }
  return ::testing::AssertionSuccess();
}

struct ToolRun {
  int status = -1;
  std::string out, err;
};

// Runs the tool in this process with `args` (no program name).
inline ToolRun RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  ToolRun run;
  run.status = fxaa_cli::RunFxaa(args, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

#ifdef FXAA_PLUGIN_PATH
// The tool with the built plug-in and no progress lines.
inline ToolRun Fxaa(std::vector<std::string> args) {
  args.insert(args.begin(), {"--plugin", FXAA_PLUGIN_PATH, "-q"});
  return RunTool(args);
}
#endif

struct Process {
  int status = -1;
  std::string out, err;
};

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs `tool` with `args` through the shell, standard output and error captured apart (in files
// of `dir`, removed afterwards). `prefix` goes in front of the command: NAME=value assignments,
// or shell commands ending in ';' that set up the process (limits, ignored signals).
inline Process RunProcess(const ScratchDir& dir, const std::string& tool,
                          const std::vector<std::string>& args, const std::string& prefix = "") {
  std::string command = prefix + " " + Quote(tool);
  for (const std::string& a : args) command += " " + Quote(a);
  command += " >" + Quote(dir / "stdout.txt") + " 2>" + Quote(dir / "stderr.txt") + " </dev/null";
  const int raw = std::system(command.c_str());
  Process p;
  p.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const auto out = FileBytes(dir / "stdout.txt");
  const auto err = FileBytes(dir / "stderr.txt");
  p.out.assign(out.begin(), out.end());
  p.err.assign(err.begin(), err.end());
  fs::remove(dir / "stdout.txt");
  fs::remove(dir / "stderr.txt");
  return p;
}

// An ffmpeg input of 64 x 48 frames at 25 a second, each unlike the others, so that a frame out
// of place or repeated shows.
inline std::vector<std::string> DistinctFrames(int count) {
  return {"-f", "lavfi", "-i",
          "nullsrc=size=64x48:rate=25,format=rgb24,"
          "geq=r='mod(X*7+N*37\\,256)':g='mod(Y*5+N*11\\,256)':b='mod(X*Y+N*3\\,256)'",
          "-frames:v", std::to_string(count)};
}

// Runs Debian's ffmpeg quietly in `dir` with `args`; its standard output is returned (raw frames).
inline std::string Ffmpeg(const ScratchDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), {"-v", "error", "-y"});
  const Process p = RunProcess(dir, "ffmpeg", args);
  EXPECT_EQ(p.status, 0) << p.err;
  return p.out;
}

}  // namespace cli_test
