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
  // One arena: a block freed by one render thread is there for the next frame on any other,
  // and threads' own arenas would still map blocks larger than their 64 MiB heaps.
  const bool oneArena = mallopt(M_ARENA_MAX, 1) == 1;
  // No mappings: glibc maps every block above 32 MiB (a 1920x1080 float texture is 33 MB)
  // and unmaps it when freed. From the heap instead, whose top is kept up to 2 GiB free.
  const bool noMappings = mallopt(M_MMAP_MAX, 0) == 1;
  const bool noTrim = mallopt(M_TRIM_THRESHOLD, INT_MAX) == 1;
  return oneArena && noMappings && noTrim;
#else
  return false;
#endif
}

}  // namespace fxaa_cli
