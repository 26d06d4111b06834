/* Preloaded into the tool: opening the file named FXAA_TEST_BLOCKING_OPEN (without its folder)
   never returns, whatever signal comes, as opening a pipe nobody writes or a file on a hung
   network file system does. The tool's readers open files through stdio. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define FORWARD_FOPEN(function)                                                   \
  __attribute__((visibility("default"))) FILE* function(const char* path, const char* mode) { \
    const char* blocked = getenv("FXAA_TEST_BLOCKING_OPEN");                        \
    const char* name = strrchr(path, '/');                                          \
    if (blocked != NULL && strcmp(name != NULL ? name + 1 : path, blocked) == 0)    \
      for (;;) pause(); /* a handled signal returns from pause(): it goes on waiting */ \
    FILE* (*next)(const char*, const char*) = dlsym(RTLD_NEXT, #function);         \
    return next(path, mode);                                                        \
  }
FORWARD_FOPEN(fopen)
FORWARD_FOPEN(fopen64)
