#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/process_memory.h"
#include "cli/system.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
#if !defined(_WIN32)
  // SVT-AV1 prints its settings through its own logger unless told otherwise; this process's
  // environment is the program's to set, not the video writer's.
  setenv("SVT_LOG", "1", 0);
#endif
  return fxaa_cli::RunFxaa(args, std::cout, std::cerr, fxaa_cli::StandardErrorIsTerminal(),
                           [](bool releaseMemory) {
                             if (fxaa_cli::ReleaseMemoryRequested(releaseMemory))
                               fxaa_cli::ReleaseFreedMemoryAtOnce();
                           });
}
