// fxaa_bench's command line.
#pragma once

#include <string>
#include <vector>

namespace fxaa_bench {

struct FrameSize {
  int width = 0, height = 0;
};

// Values of the plug-in's "Source" popup.
enum class Mode { kColour = 1, kAlpha = 2 };
const char* ModeName(Mode mode);  // "colour", "alpha"

struct Options {
  std::vector<FrameSize> sizes = {{256, 256}, {1280, 720}, {1920, 1080}, {3840, 2160}};
  std::vector<Mode> modes = {Mode::kColour, Mode::kAlpha};
  std::vector<int> depths = {8, 32};
  int frames = 15;           // timed rounds per case, at most
  int minFrames = 3;         // timed rounds per case, at least
  double caseSeconds = 30;   // no new round once a case has run this long (beyond minFrames)
  int ratioFrames = 80;      // plug-in and bare rounds at 1920x1080 colour
  int fixedFrames = 1000;    // rounds at 64x64 colour 8 bpc, for the fixed cost; 0 skips them
  std::string dataFile;      // per-case medians for the plot; empty: none
  std::string plugin;        // the plug-in file; empty: the one this build made
  bool releaseMemory = false;  // "--memory release": freed memory handed back at once
};

// Parses arguments (without the program name). False with *error set to one line naming the
// offending argument; "--help" also gives false, with the usage text as the error.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

// "1920x1080" -> {1920, 1080}; false unless both sides are 1..16384.
bool ParseFrameSize(const std::string& text, FrameSize* size);

const char* UsageText();

}  // namespace fxaa_bench
