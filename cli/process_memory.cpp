#include "cli/process_memory.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace fxaa_cli {

bool ReleaseMemoryRequested(const std::vector<std::string>& args) {
  const char* value = std::getenv(kReleaseMemoryVariable);
  if (value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0) return true;
  return std::find(args.begin(), args.end(), kReleaseMemoryOption) != args.end();
}

bool KeepFreedMemory() {
#if defined(__GLIBC__)
  // One arena: the render threads' own arenas take their blocks from 64 MiB heaps, which glibc
  // unmaps as soon as a frame's targets are freed and maps afresh for the next frame.
  const bool oneArena = mallopt(M_ARENA_MAX, 1) == 1;
  // No mappings: glibc maps every block above its threshold (at most 32 MiB; a 3840x2160 float
  // texture is 133 MB) and unmaps it when freed. From the heap instead, whose top is trimmed
  // only beyond 2 GiB.
  const bool noMappings = mallopt(M_MMAP_MAX, 0) == 1;
  const bool noTrim = mallopt(M_TRIM_THRESHOLD, INT_MAX) == 1;
  return oneArena && noMappings && noTrim;
#else
  return false;
#endif
}

}  // namespace fxaa_cli
