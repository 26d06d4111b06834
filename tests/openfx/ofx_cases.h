// The OpenFX plug-in's frames of one test picture, rendered through the test host, so the Windows
// bundle under Wine and the Linux bundle can be shown to give the same frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ofxtest {

constexpr int kPictureWidth = 48, kPictureHeight = 32;

// An aliased picture (a hard diagonal, a disk, a half-transparent quarter) as RGBA samples of
// `sampleBytes` (1, 2 or 4), top row first.
std::vector<uint8_t> TestPicture(int width, int height, int sampleBytes);

struct OfxFrame {
  std::string name;
  int sampleBytes = 1;
  std::vector<uint8_t> rgba;  // top row first
};

// Loads the binary as a host does, describes it, renders the cases on one instance (8-bit at
// the defaults, 8-bit at Strength 60 and FXAA Span 4, float at the defaults), and unloads it.
// `names` receives the effect's label and its controls' labels. False with *error set.
bool RenderOfxCases(const std::string& binary, std::vector<std::string>* names,
                    std::vector<OfxFrame>* frames, std::string* error);

bool WriteOfxFrames(const std::string& path, const std::vector<OfxFrame>& frames, std::string* error);
bool ReadOfxFrames(const std::string& path, std::vector<OfxFrame>* frames, std::string* error);

// The largest difference between two frames' samples (0..255 steps for bytes, values for floats);
// frames that differ in size or depth, or where one has a sample that is not a number and the
// other has a number, count as infinite.
double LargestDifference(const OfxFrame& a, const OfxFrame& b);

}  // namespace ofxtest
