// Pieces the robustness tests share: world contents, raw bytes with their guard zones, the
// process's resident memory and thread count, and the figures the tests print for the record.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "host_runtime/host.h"

namespace reliability {

// Sets every pixel byte (not the row padding) to `value`.
inline void FillBytes(host_runtime::World* world, uint8_t value) {
  for (int y = 0; y < world->height(); ++y)
    std::memset(world->row(y), value, size_t(world->width()) * world->bytesPerPixel());
}

// Seeded content with hard edges and partial alpha, in the world's own units.
inline void FillPattern(host_runtime::World* world, unsigned seed) {
  std::mt19937 rng(seed);
  const float one = world->bitDepth() == 32 ? 1.0f : 255.0f;
  std::uniform_int_distribution<int> level(0, 4);
  const int stripe = 2 + int(seed % 3);
  for (int y = 0; y < world->height(); ++y)
    for (int x = 0; x < world->width(); ++x) {
      const bool ink = ((x + 2 * y) / stripe) % 2 == 0;
      world->setChannel(x, y, 0, ink ? one : one * float(level(rng)) / 4);
      for (int c = 1; c < 4; ++c) world->setChannel(x, y, c, ink ? one * float(c) / 4 : 0);
    }
}

// Every byte of a world's storage: the guard zone, the rows with their padding, the guard zone.
inline std::vector<uint8_t> RawBytes(const host_runtime::World& world) {
  const uint8_t* data = static_cast<const uint8_t*>(world.get()->data);
  const size_t rows = size_t(world.rowbytes()) * size_t(world.height());
  return std::vector<uint8_t>(data - world.guardBytes(), data + rows + world.guardBytes());
}

// A field of /proc/self/status ("VmRSS", "Threads") as its number (kB for sizes), or -1.
inline long ProcStatus(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, field.size() + 1, field + ":") == 0)
      return std::stol(line.substr(field.size() + 1));
  return -1;
}

inline long ResidentKiB() { return ProcStatus("VmRSS"); }
inline long ThreadCount() { return ProcStatus("Threads"); }

// Prints one figure of a run, for docs/reliability.md, and keeps it in the XML report.
inline void ReportFigure(const std::string& what, long long value) {
  std::printf("[figure] %s: %lld\n", what.c_str(), value);
  std::fflush(stdout);
  ::testing::Test::RecordProperty(what, std::to_string(value));
}

// Built with AddressSanitizer: freed memory sits in its quarantine, so resident memory says
// nothing about leaks there (its leak checker does).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

}  // namespace reliability
