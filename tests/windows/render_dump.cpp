// Renders the fixed frames of render_cases through a plug-in file and writes them to a file,
// for comparing the Windows build's pictures with the Linux build's.
// Usage: fxaa_render_dump [--threads] PLUGIN OUTPUT   (--threads: the frames on two threads)
// Exit status 0 when every frame rendered without error.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/windows/render_cases.h"

int main(int argc, char** argv) {
  const bool onThreads = argc == 4 && std::string(argv[1]) == "--threads";
  if (argc != 3 + int(onThreads)) {
    std::fprintf(stderr, "usage: fxaa_render_dump [--threads] PLUGIN OUTPUT\n");
    return 2;
  }
  const char* plugin = argv[1 + int(onThreads)];
  const char* output = argv[2 + int(onThreads)];
  std::vector<wintest::Frame> frames;
  std::string error;
  if (!wintest::RenderCases(plugin, onThreads, &frames, &error) ||
      !wintest::WriteFrames(output, frames, &error)) {
    std::fprintf(stderr, "fxaa_render_dump: %s\n", error.c_str());
    return 1;
  }
  int failed = 0;
  for (const wintest::Frame& f : frames) {
    if (f.err != 0) {
      std::fprintf(stderr, "fxaa_render_dump: %s: smart render returned %d\n", f.name.c_str(), int(f.err));
      ++failed;
    }
  }
  std::printf("fxaa_render_dump: %zu frames written to %s\n", frames.size(), output);
  return failed ? 1 : 0;
}
