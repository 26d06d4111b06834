#include "cli/frames.h"

#include <cstdio>

#include "cli/sequence.h"

namespace fxaa_cli {

void FrameSource::SelectFrames(const std::vector<int>&) {
  throw UsageError("--frames needs a numbered input such as shot.%04d.exr, or a video");
}

std::string FrameName(const std::string& file, std::optional<int> number,
                      std::optional<double> seconds) {
  std::string name = file;
  if (number) name += ": frame " + std::to_string(*number);
  if (seconds) {
    char text[32];
    std::snprintf(text, sizeof(text), " (%.3f s)", *seconds);
    name += text;
  }
  return name;
}

}  // namespace fxaa_cli
