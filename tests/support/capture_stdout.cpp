#include "tests/support/capture_stdout.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define FXAA_DUP _dup
#define FXAA_DUP2 _dup2
#define FXAA_CLOSE _close
#define FXAA_FILENO _fileno
#else
#include <unistd.h>
#define FXAA_DUP dup
#define FXAA_DUP2 dup2
#define FXAA_CLOSE close
#define FXAA_FILENO fileno
#endif

namespace {

// Flushes both layers above file descriptor 1, so nothing crosses the switch-over unseen.
void FlushStdout() {
  std::cout.flush();
  std::fflush(stdout);
}

}  // namespace

CaptureStdout::CaptureStdout() {
  FlushStdout();
  // A temporary file rather than a pipe: a pipe would block the writer once its buffer filled.
  file_ = std::tmpfile();
  if (file_ == nullptr) return;
  savedFd_ = FXAA_DUP(1);
  if (savedFd_ < 0 || FXAA_DUP2(FXAA_FILENO(file_), 1) < 0) {
    if (savedFd_ >= 0) FXAA_CLOSE(savedFd_);
    savedFd_ = -1;
    std::fclose(file_);
    file_ = nullptr;
  }
}

CaptureStdout::~CaptureStdout() { Finish(); }

std::string CaptureStdout::Finish() {
  if (file_ == nullptr) return std::string();
  FlushStdout();
  FXAA_DUP2(savedFd_, 1);
  FXAA_CLOSE(savedFd_);
  savedFd_ = -1;

  // The descriptor was written behind the FILE's back: rewind re-synchronises it.
  std::string text;
  std::rewind(file_);
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof(chunk), file_)) > 0) text.append(chunk, got);
  std::fclose(file_);
  file_ = nullptr;
  return text;
}
