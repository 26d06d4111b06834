#include <windows.h>

#include <io.h>
#include <signal.h>
#include <stdio.h>

#include <vector>

#include "cli/system.h"

namespace fxaa_cli {

unsigned long long PhysicalMemoryBytes() {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullTotalPhys;
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessRunning(unsigned long id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

// Windows has no SIGHUP; a console closed ends the process.
std::vector<int> StopSignals() { return {SIGINT, SIGTERM}; }

std::string ExecutablePath() {
  // Grows the buffer until the whole path fits (long paths exceed MAX_PATH).
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace fxaa_cli
