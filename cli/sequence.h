// Numbered file sequences and the plan of one batch: which file each frame is read from and
// written to. Patterns hold one frame-number placeholder: printf style ("%04d", "%d") or a run
// of '#' (one digit each, "shot.####.exr" is "shot.%04d.exr").
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace fxaa_cli {

// A mistake in how the tool was called (exit status 2).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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

struct FrameJob {
  int frame = 0;       // number used for output patterns
  std::string input;
  std::string output;
  bool missing = false;  // a gap in the input sequence: nothing to read
};

struct BatchPlan {
  std::vector<FrameJob> jobs;  // empty for a video input: its frames are found by decoding it
  int gaps = 0;
  std::string videoInput;      // a video file, the only input
  FramePattern framePattern;   // where a video input's frames go as files (numbered from 1)
  std::string videoOutput;     // a video file every frame is encoded into, in order
};

// Builds the jobs from the input arguments, the --frames text (may be empty) and the output
// argument: a file (one frame only), a pattern, a folder (an existing one, or a name ending
// in '/', created), or a video file (.mp4, .mov, ...). A video input is the only input; its
// frames go into a video or a pattern. Throws UsageError for a combination that cannot work, an output that would
// overwrite an input, or two frames written to one file; ImageError when a sequence has no
// files at all or an output's folder does not exist.
BatchPlan PlanBatch(const std::vector<std::string>& inputs, const std::string& frames,
                    const std::string& output);

}  // namespace fxaa_cli
