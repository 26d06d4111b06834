// The process's resident memory as Linux reports it in /proc/self, for tests and benchmarks that
// bound what a piece of work adds at its peak.
#pragma once

#include <fstream>
#include <string>

namespace test_support {

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"); -1 when it cannot be read.
inline long long StatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, field.size() + 1, field + ":") == 0)
      return std::stoll(line.substr(field.size() + 1)) * 1024;  // given in KiB
  return -1;
}

// Sets the process's peak resident size (VmHWM) back to its current one (Linux 4.0 on); false
// where the system does not allow it.
inline bool ResetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return clear.good();
}

}  // namespace test_support
