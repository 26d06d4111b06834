// fxaa::allocator where jemalloc is not used (Windows, sanitizer builds): the C library's own.
#include "cli/process_memory.h"

#include <cstdlib>  // defines __GLIBC__ where it applies
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace fxaa_cli {

const char* AllocatorName() { return "the C library's allocator"; }

bool ReleaseFreedMemoryAtOnce() { return false; }

void HandBackFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace fxaa_cli
