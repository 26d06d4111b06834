/* Preloaded into the fxaa tool by the tests: opening the file named FXAA_TEST_BLOCKING_OPEN (its
   name without the folder) never returns, whatever signal comes, as opening a pipe that nobody
   writes or a file on a hung network file system does. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void WaitForEverIfBlocked(const char* path) {
  const char* blocked = getenv("FXAA_TEST_BLOCKING_OPEN");
  if (blocked == NULL || path == NULL) return;
  const char* name = strrchr(path, '/');
  if (strcmp(name != NULL ? name + 1 : path, blocked) != 0) return;
  for (;;) pause(); /* a handled signal returns from pause(): the open goes on waiting */
}

/* The build hides symbols by default; these must stand in for the C library's. */
#define EXPORTED __attribute__((visibility("default")))

#define FORWARD_OPEN(function)                                                    \
  EXPORTED int function(const char* path, int flags, ...) {                       \
    va_list args;                                                                 \
    va_start(args, flags);                                                        \
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0; \
    va_end(args);                                                                 \
    WaitForEverIfBlocked(path);                                                   \
    int (*next)(const char*, int, ...) = dlsym(RTLD_NEXT, #function);             \
    return next(path, flags, mode);                                               \
  }
FORWARD_OPEN(open)
FORWARD_OPEN(open64)

#define FORWARD_FOPEN(function)                                         \
  EXPORTED FILE* function(const char* path, const char* mode) {         \
    WaitForEverIfBlocked(path);                                         \
    FILE* (*next)(const char*, const char*) = dlsym(RTLD_NEXT, #function); \
    return next(path, mode);                                            \
  }
FORWARD_FOPEN(fopen)
FORWARD_FOPEN(fopen64)
