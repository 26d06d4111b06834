// fxaa::allocator on Linux: jemalloc, linked into the program.
#include <jemalloc/jemalloc.h>
#include <sys/types.h>

#include <string>

#include "cli/process_memory.h"

// Read by jemalloc when it starts. By default it serves blocks of 8 MiB and more from an arena of
// their own that hands every freed page back at once, so a frame's textures would be fresh pages
// the kernel zeroes, as with the C library; other freed pages it hands back over about ten
// seconds, which still took many of them back between a benchmark's frames. Here every block
// comes from the ordinary arenas and freed pages stay for reuse until the process ends; jemalloc
// reuses them with less waste than the C library's heap, so the peak stays near the C library's.
// MALLOC_CONF still overrides.
extern "C" {
__attribute__((visibility("default"))) const char* malloc_conf =
    "oversize_threshold:0,dirty_decay_ms:-1";
}

namespace fxaa_cli {

const char* AllocatorName() { return "jemalloc"; }

bool ReleaseFreedMemoryAtOnce() {
  // Arenas made from now on (one per thread, up to four per core), then those that exist.
  bool ok = true;
  ssize_t zero = 0;
  for (const char* name : {"arenas.dirty_decay_ms", "arenas.muzzy_decay_ms"})
    ok = mallctl(name, nullptr, nullptr, &zero, sizeof(zero)) == 0 && ok;
  unsigned arenas = 0;
  size_t size = sizeof(arenas);
  if (mallctl("arenas.narenas", &arenas, &size, nullptr, 0) != 0) return false;
  for (unsigned i = 0; i < arenas; ++i) {
    for (const char* decay : {"dirty_decay_ms", "muzzy_decay_ms"}) {
      const std::string name = "arena." + std::to_string(i) + "." + decay;
      // Arenas not yet made refuse; they take the defaults set above.
      mallctl(name.c_str(), nullptr, nullptr, &zero, sizeof(zero));
    }
  }
  return ok;
}

void HandBackFreedMemory() {
  const std::string purge = "arena." + std::to_string(MALLCTL_ARENAS_ALL) + ".purge";
  mallctl(purge.c_str(), nullptr, nullptr, nullptr, 0);
}

}  // namespace fxaa_cli
