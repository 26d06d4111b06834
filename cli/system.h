// What the tool asks of the operating system; one backend per platform (system_posix.cpp,
// system_win.cpp).
#pragma once

#include <cstddef>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace fxaa_cli {

// Physical memory in bytes, or 0 when the system does not say.
unsigned long long PhysicalMemoryBytes();

// This process's id, for names that must not clash with another process's.
unsigned long CurrentProcessId();

// Whether a process with this id runs on this machine (one that ended leaves its temporary files).
bool ProcessRunning(unsigned long id);

// The signals that ask the tool to stop, as Ctrl-C does: SIGINT and SIGTERM, and SIGHUP where
// there is one.
std::vector<int> StopSignals();

// The longest file name the file system of `folder` ("" for the current one) takes, and a
// name's length (UTF-8) as it counts it: bytes, or UTF-16 units on Windows; 255 where it does
// not say.
size_t FileNameLimit(const std::string& folder);
size_t FileNameLength(const std::string& name);

// Full path of the running program in UTF-8, or "" when the system does not say.
std::string ExecutablePath();

// Opens a file named in UTF-8 (as every name inside the tool is), as std::fopen does. On Windows
// through the wide-character call: the narrow one reads names in the ANSI code page.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Standard output and standard error, for UTF-8 text. A Windows console is written in UTF-16,
// so names show right whatever its code page; elsewhere, and redirected, the bytes go as they are.
std::ostream& StandardOutput();
std::ostream& StandardError();

// True when standard error is a terminal (progress is then drawn as a bar).
bool StandardErrorIsTerminal();

// Columns of the terminal on standard error, or 0 when it does not say.
int TerminalColumns();

}  // namespace fxaa_cli
