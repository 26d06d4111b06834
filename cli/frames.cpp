#include "cli/frames.h"

#include <cstdio>

namespace fxaa_cli {

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
