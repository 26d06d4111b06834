// The fxaa command: argument parsing and the render, demo and info commands.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace fxaa_cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;       // some frames failed, or a runtime error
constexpr int kExitUsage = 2;        // the command line is wrong; nothing was done
// Stopped by a signal: 128 and its number, as a shell reports it (130 for Ctrl-C, 143 for
// SIGTERM, 129 for SIGHUP).
constexpr int kExitSignalBase = 128;

// Runs the tool on `args` (without the program name). Results (info, demo paths) go to `out`,
// the tool's messages and progress to `err`; the plug-in's own diagnostics go to the process's
// standard output. Returns the exit status. `beforeThreads`, when set, is called once the
// arguments are parsed and before the plug-in or any thread starts, with whether
// --release-memory was given.
int RunFxaa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool terminal = false, const std::function<void(bool releaseMemory)>& beforeThreads = {});

// The plug-in file used without --plugin: beside the executable, then the installed layout
// (../lib/fxaa/ from bin/), then the one this build made.
std::string DefaultPluginPath();

}  // namespace fxaa_cli
