#include <cstdlib>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/process_memory.h"
#include "cli/system.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

int Run(const std::vector<std::string>& args) {
  return fxaa_cli::RunFxaa(args, fxaa_cli::StandardOutput(), fxaa_cli::StandardError(),
                           fxaa_cli::StandardErrorIsTerminal(), [](bool releaseMemory) {
                             if (fxaa_cli::ReleaseMemoryRequested(releaseMemory))
                               fxaa_cli::ReleaseFreedMemoryAtOnce();
                           });
}

}  // namespace

#if defined(_WIN32)
// The arguments as Windows holds them, UTF-16 (the narrow ones are in the ANSI code page, where
// most names do not fit), each made UTF-8, as every name inside the tool is.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(size_t(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), size, nullptr, nullptr);
    arg.pop_back();  // the terminator
    args.push_back(arg);
  }
  return Run(args);
}
#else
int main(int argc, char** argv) {
  // SVT-AV1 prints its settings through its own logger unless told otherwise; this process's
  // environment is the program's to set, not the video writer's.
  setenv("SVT_LOG", "1", 0);
  return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
