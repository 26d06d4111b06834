// A fixed set of frames rendered through a plug-in file by the host side, so the Windows build
// (under Wine) and the Linux build can be shown to give the same pictures: both modes, both bit
// depths, two strengths, and frames from two render threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_api.h"

namespace wintest {

struct Frame {
  std::string name;       // what was rendered, e.g. "edge alpha 32-bit strength 60"
  int width = 0, height = 0, bitDepth = 0;
  PF_Err err = 0;         // what smart render returned
  std::vector<uint8_t> pixels;  // the output world's rows, without padding
};

// Loads the plug-in, sets it up, renders the frames and sets it down: on the calling thread every
// combination of mode, bit depth, strength and picture, or with `onThreads` two frames on each
// of two threads at once. False with *error when the plug-in cannot be loaded or set up.
bool RenderCases(const std::string& pluginPath, bool onThreads, std::vector<Frame>* frames,
                 std::string* error);

bool WriteFrames(const std::string& path, const std::vector<Frame>& frames, std::string* error);
bool ReadFrames(const std::string& path, std::vector<Frame>* frames, std::string* error);

// The largest difference between two frames' channels (bytes as 0..255, floats as they are);
// a NaN on one side only counts as infinitely different.
double LargestDifference(const Frame& a, const Frame& b);

// Whether any output channel differs from zero (a failed render leaves transparent black).
bool HasContent(const Frame& frame);

}  // namespace wintest
