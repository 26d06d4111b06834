#include "embedding/freed_memory.h"

#include <cstdlib>  // defines __GLIBC__ where it applies
#if defined(__GLIBC__) || defined(_WIN32)
#include <malloc.h>
#endif

namespace fxaa_embedding {

void HandBackFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#elif defined(_WIN32)
  _heapmin();
#endif
}

}  // namespace fxaa_embedding
