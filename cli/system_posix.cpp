#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli/system.h"

namespace fxaa_cli {

unsigned long long PhysicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize);
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(getpid()); }

bool ProcessRunning(unsigned long id) {
  // Signal 0 checks without sending; EPERM: it runs, as another user.
  return kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

std::vector<int> StopSignals() { return {SIGINT, SIGTERM, SIGHUP}; }

size_t FileNameLimit(const std::string& folder) {
  const long limit = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<size_t>(limit) : 255;
}

size_t FileNameLength(const std::string& name) { return name.size(); }

std::string ExecutablePath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

std::ostream& StandardOutput() { return std::cout; }
std::ostream& StandardError() { return std::cerr; }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace fxaa_cli
