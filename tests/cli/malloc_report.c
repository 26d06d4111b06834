/* Preloaded into the fxaa tool by the tests: at exit, prints what its allocator does with freed
   memory, as the allocator itself reports it, or that the process runs on the C library's. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/types.h>

typedef int (*Mallctl)(const char*, void*, size_t*, void*, size_t);

__attribute__((destructor)) static void ReportAllocator(void) {
  Mallctl mallctl = (Mallctl)dlsym(RTLD_DEFAULT, "mallctl");
  if (mallctl == NULL) {
    fprintf(stderr, "allocator: C library\n");
    return;
  }
  uint64_t epoch = 1; /* refreshes the statistics */
  size_t size = sizeof(epoch);
  mallctl("epoch", &epoch, &size, &epoch, size);
  size_t oversize = 0, dirtyPages = 0;
  ssize_t decayMs = 0;
  size = sizeof(oversize);
  mallctl("opt.oversize_threshold", &oversize, &size, NULL, 0);
  size = sizeof(decayMs);
  mallctl("arenas.dirty_decay_ms", &decayMs, &size, NULL, 0);
  size = sizeof(dirtyPages);
  mallctl("stats.arenas.4096.pdirty", &dirtyPages, &size, NULL, 0);
  /* Blocks from this size on go to an arena that hands them back at once (0: none do); freed
     pages are handed back after this many milliseconds; freed pages held now. */
  fprintf(stderr, "allocator: jemalloc, oversize %zu, decay %zd ms, freed pages %zu\n", oversize,
          decayMs, dirtyPages);
}
