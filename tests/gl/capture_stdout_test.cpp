// The capture helper every diagnostic test here relies on: it must see printf and std::cout in
// the order they were written, lose nothing however much is written, and give standard output
// back when it finishes.
#include "tests/support/capture_stdout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

TEST(CaptureStdout, SeesPrintfAndCoutInTheOrderWritten) {
  CaptureStdout capture;
  std::printf("one %d\n", 1);
  std::cout << "two" << std::endl;
  std::printf("three");  // unflushed: Finish flushes it
  std::cout << " four";  // likewise
  EXPECT_EQ(capture.Finish(), "one 1\ntwo\nthree four");
}

// More than a pipe's buffer: a capture that blocked or truncated would fail here.
TEST(CaptureStdout, KeepsOutputLargerThanAPipeBuffer) {
  std::string expected;
  CaptureStdout capture;
  for (int i = 0; i < 20000; ++i) {
    const std::string line = "line " + std::to_string(i) + "\n";
    expected += line;
    if (i % 2) std::printf("%s", line.c_str());
    else std::cout << line;
  }
  const std::string text = capture.Finish();
  EXPECT_GT(text.size(), 128u * 1024u);
  EXPECT_EQ(text, expected);
}

TEST(CaptureStdout, FinishRestoresStdoutAndLaterCallsReturnNothing) {
  CaptureStdout first;
  std::printf("first\n");
  EXPECT_EQ(first.Finish(), "first\n");
  EXPECT_EQ(first.Finish(), "");

  // Written after the first capture ended, so only the second one sees it.
  CaptureStdout second;
  std::cout << "second" << std::endl;
  EXPECT_EQ(first.Finish(), "");
  EXPECT_EQ(second.Finish(), "second\n");
}

TEST(CaptureStdout, TextWrittenBeforeTheCaptureIsNotTaken) {
  std::printf("before, unflushed");
  CaptureStdout capture;
  std::printf("during\n");
  EXPECT_EQ(capture.Finish(), "during\n");
  std::printf("\n");
}

TEST(CaptureStdout, DestructorRestoresStdoutWithoutFinish) {
  {
    CaptureStdout abandoned;
    std::printf("dropped\n");
  }
  CaptureStdout capture;
  std::printf("after\n");
  EXPECT_EQ(capture.Finish(), "after\n");
}

}  // namespace
