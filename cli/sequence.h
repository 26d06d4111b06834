// Numbered file sequences: patterns with one frame-number placeholder, printf style ("%04d",
// "%d") or a run of '#' (one digit each, "shot.####.exr" is "shot.%04d.exr"), and frame ranges.
#pragma once

#include <string>
#include <vector>

#include "cli/errors.h"

namespace fxaa_cli {

struct FramePattern {
  std::string prefix, suffix;
  int width = 0;  // digits, zero-padded; 0 means as many as needed

  std::string Format(int frame) const;
  // The frame number a file name matching the pattern carries; false when it does not match.
  bool Match(const std::string& name, int* frame) const;
};

// True (and *pattern set) when `text` holds one placeholder; throws UsageError for more than one
// or a malformed printf directive.
bool ParsePattern(const std::string& text, FramePattern* pattern);

// "1-60", "7", "1-60x2" (every second), or such ranges separated by commas; ascending frames,
// each once. Throws UsageError naming the text when malformed.
std::vector<int> ParseFrameRange(const std::string& text);

// Frame numbers of the files in the pattern's folder that match it, ascending.
std::vector<int> ScanFrames(const FramePattern& pattern);

}  // namespace fxaa_cli
