/* Preloaded into the fxaa tool by the tests: at exit, glibc's allocator prints its arenas and
   the most blocks it ever held as separate mappings to standard error. */
#include <malloc.h>

__attribute__((destructor)) static void ReportAllocator(void) { malloc_stats(); }
