// One picture rendered through a frei0r module loaded as a host loads it (LoadLibrary on
// Windows, dlopen on Linux), so the Windows DLL under Wine and the Linux module can be shown to
// give the same frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wintest {

constexpr int kFrei0rWidth = 48, kFrei0rHeight = 32;

// The input picture, then its render at the defaults and with "Strength" and "FXAA Span" at 0.5:
// each kFrei0rWidth x kFrei0rHeight RGBA.
using Frei0rFrames = std::vector<std::vector<uint32_t>>;

struct Frei0rRun {
  std::vector<std::string> names;  // the filter's name, then its controls' names
  Frei0rFrames frames;
};

// Loads the module, reads its description, renders the frames on one instance, and unloads it
// again. False with *error when the module cannot be loaded, lacks a function, is not an RGBA8888
// filter with controls of type double, or refuses the instance.
bool RenderThroughFrei0r(const std::string& modulePath, Frei0rRun* run, std::string* error);

bool WriteFrei0rFrames(const std::string& path, const Frei0rFrames& frames, std::string* error);
bool ReadFrei0rFrames(const std::string& path, Frei0rFrames* frames, std::string* error);

// The largest difference between two frames' bytes; frames of different sizes count as 256.
int LargestByteDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);

}  // namespace wintest
