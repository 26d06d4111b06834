#include <iostream>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/process_memory.h"
#include "cli/system.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  // Before the plug-in and its renderer start any thread.
  if (fxaa_cli::ReleaseMemoryRequested(args)) fxaa_cli::ReleaseFreedMemoryAtOnce();
  return fxaa_cli::RunFxaa(args, std::cout, std::cerr, fxaa_cli::StandardErrorIsTerminal());
}
