#include "render/render_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/capture_stdout.h"

namespace {

TEST(RenderError, ComposesMessageAndBothCodes) {
  struct Case {
    const char* message;
    PF_Err code, code2;
    const char* text;
  };
  const Case cases[] = {
      {"error on param checkout", 513, 0, "error on param checkout err 513 err2 0"},
      {"error on buffer checkout", -1, 0, "error on buffer checkout err -1 err2 0"},
      {"x", 4, -2147483647 - 1, "x err 4 err2 -2147483648"},
      {"error on local_render_data.get()", 0, 0, "error on local_render_data.get() err 0 err2 0"},
      // Only a plain cancel is silent: with a second code it is a real failure.
      {"error on param checkout", PF_Interrupt_CANCEL, 513, "error on param checkout err 517 err2 513"},
      {"error on param checkout", 513, PF_Interrupt_CANCEL, "error on param checkout err 513 err2 517"},
      {"error on param checkout", PF_Interrupt_CANCEL, 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ComposeRenderError(c.message, c.code, c.code2), c.text);
}

TEST(RenderError, ReportWritesOneLineToStandardOutputAndLeavesOutDataAlone) {
  PF_OutData out;
  std::memset(&out, 0x3C, sizeof(out));
  PF_OutData before = out;
  CaptureStdout capture;
  ReportRenderError("error on param initialisation", &out, 516, 0);
  ReportRenderError("error on param checkout", &out, PF_Interrupt_CANCEL, 0);
  ReportRenderError("error on buffer checkout", &out, -7, 3);
  EXPECT_EQ(capture.Finish(),
            "error on param initialisation err 516 err2 0\n"
            "error on buffer checkout err -7 err2 3\n");
  EXPECT_EQ(std::memcmp(&out, &before, sizeof(out)), 0);
}

}  // namespace
