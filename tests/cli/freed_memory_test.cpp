// The tool keeps the memory its frames free for the next ones unless told not to: seen from
// outside, in what glibc's allocator reports at the tool's exit.
#include "cli_test_util.h"

namespace {

using cli_test::Process;
using cli_test::RunProcess;
using cli_test::ScratchDir;

struct AllocatorReport {
  int arenas = 0;
  long mappedBlocks = -1;  // the most blocks held at once as their own mappings
};

AllocatorReport RunReported(const ScratchDir& dir, const std::vector<std::string>& extra,
                            const std::string& environment = "") {
  std::vector<std::string> args = {dir / "in.png", "-o", dir / "out.png"};
  args.insert(args.end(), extra.begin(), extra.end());
  const Process p =
      RunProcess(dir, FXAA_TOOL_PATH, args, environment + " LD_PRELOAD=" MALLOC_REPORT_PATH);
  EXPECT_EQ(p.status, 0) << p.err;
  AllocatorReport report;
  std::istringstream lines(p.err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Arena ", 0) == 0) ++report.arenas;
    if (line.rfind("max mmap regions", 0) == 0)
      report.mappedBlocks = std::strtol(line.c_str() + line.find('=') + 1, nullptr, 10);
  }
  return report;
}

TEST(ToolMemory, FreedBlocksStayInTheProcessUnlessReleaseIsAsked) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer replaces glibc's allocator";
#endif
  ScratchDir dir;
  // 128x128: the render targets (256 KiB each) are above glibc's first mapping threshold.
  fxaa_cli::WriteImage(cli_test::MakeImage(128, 128, fxaa_cli::ChannelLayout::kRGBA,
                                           fxaa_cli::SampleType::kUInt8),
                       dir / "in.png");
  const AllocatorReport kept = RunReported(dir, {});
  EXPECT_EQ(kept.mappedBlocks, 0);
  EXPECT_EQ(kept.arenas, 1);  // render threads share the blocks the previous frame freed
  for (const AllocatorReport& released :
       {RunReported(dir, {"--release-memory"}), RunReported(dir, {}, "FXAA_RELEASE_MEMORY=1")}) {
    EXPECT_GT(released.mappedBlocks, 0);
    EXPECT_GT(released.arenas, 1);
  }
  // "0" is no request.
  EXPECT_EQ(RunReported(dir, {}, "FXAA_RELEASE_MEMORY=0").mappedBlocks, 0);
}

}  // namespace
