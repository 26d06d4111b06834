// Captures everything the process writes to standard output (printf and std::cout alike)
// between construction and Finish, for tests of diagnostic texts.
#pragma once

#include <cstdio>
#include <string>

class CaptureStdout {
 public:
  CaptureStdout();
  ~CaptureStdout();
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;

  // Restores standard output and returns what was written meanwhile. Later calls return "".
  std::string Finish();

 private:
  std::FILE* file_ = nullptr;
  int savedFd_ = -1;
};
