// The tool keeps the memory its frames free for the next ones unless told not to: seen from
// outside, in what its allocator reports when the tool exits.
#include "cli_test_util.h"

namespace {

using cli_test::Process;
using cli_test::RunProcess;
using cli_test::ScratchDir;

struct AllocatorReport {
  bool jemalloc = false;
  long oversize = -1;     // blocks from this size on are handed back at once; 0: none are
  long decayMs = 0;       // freed pages are handed back after this long; -1: never
  long freedPages = -1;   // freed pages held at exit
};

AllocatorReport RunReported(const ScratchDir& dir, const std::vector<std::string>& extra,
                            const std::string& environment = "") {
  std::vector<std::string> args = {dir / "in.png", "-o", dir / "out.png"};
  args.insert(args.end(), extra.begin(), extra.end());
  const Process p =
      RunProcess(dir, FXAA_TOOL_PATH, args, environment + " LD_PRELOAD=" MALLOC_REPORT_PATH);
  EXPECT_EQ(p.status, 0) << p.err;
  AllocatorReport report;
  const size_t at = p.err.find("allocator: jemalloc");
  report.jemalloc = at != std::string::npos;
  if (report.jemalloc)
    std::sscanf(p.err.c_str() + at,
                "allocator: jemalloc, oversize %ld, decay %ld ms, freed pages %ld",
                &report.oversize, &report.decayMs, &report.freedPages);
  return report;
}

TEST(ToolMemory, FreedBlocksAreKeptForTheNextFramesUnlessReleaseIsAsked) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers replace the allocator";
#endif
  ScratchDir dir;
  // Render targets of 16 MiB, above the size jemalloc would otherwise hand back at once.
  fxaa_cli::Image image;
  image.width = image.height = 1024;
  image.Allocate();
  fxaa_cli::WriteImage(image, dir / "in.png");

  const AllocatorReport kept = RunReported(dir, {});
  ASSERT_TRUE(kept.jemalloc);
  EXPECT_EQ(kept.oversize, 0);
  EXPECT_NE(kept.decayMs, 0);
  EXPECT_GT(kept.freedPages, 0);
  EXPECT_NE(RunReported(dir, {}, "FXAA_RELEASE_MEMORY=0").decayMs, 0);  // "0" asks nothing
  for (const AllocatorReport& released :
       {RunReported(dir, {"--release-memory"}), RunReported(dir, {}, "FXAA_RELEASE_MEMORY=1")}) {
    EXPECT_EQ(released.decayMs, 0);
    EXPECT_EQ(released.freedPages, 0);
  }
}

}  // namespace
