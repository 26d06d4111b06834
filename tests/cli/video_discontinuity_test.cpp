// Transport streams whose clock jumps, made with Debian's ffmpeg: every frame is written, as
// files and into one video with its audio, none named missing, and the new segment is named; a
// range across and after the jump gives the whole run's files.
#include "cli_test_util.h"

namespace {

struct JumpCase {
  const char* name;
  const char* offsets[2];  // ffmpeg's -output_ts_offset of each capture joined
  const char* begins;      // the new segment's first frame, at its own time
  bool back;               // the clock goes back: a part's place cannot be told by its times
};

class ClockJump : public ::testing::TestWithParam<JumpCase> {};
TEST_P(ClockJump, EveryFrameIsWrittenAndTheSegmentIsNamed) {
  const JumpCase& c = GetParam();
  cli_test::ScratchDir dir;
  std::vector<char> bytes;
  for (const char* offset : c.offsets) {
    std::vector<std::string> make = {"-f", "lavfi", "-i", "sine=r=48000:d=2"};
    for (const std::string& arg : cli_test::DistinctFrames(50)) make.push_back(arg);
    make.insert(make.end(), {"-c:v", "mpeg2video", "-c:a", "mp2", "-output_ts_offset", offset,
                             dir / "part.ts"});
    cli_test::Ffmpeg(dir, make);
    const std::vector<char> part = cli_test::FileBytes(dir / "part.ts");
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  // The continuity counters follow on, as a recorder that went on writes them.
  std::vector<int> next(8192, -1);  // by PID
  for (size_t at = 0; at + 188 <= bytes.size(); at += 188) {
    auto* p = reinterpret_cast<unsigned char*>(&bytes[at]);
    if (!(p[3] & 0x10)) continue;  // no payload, no count
    const int pid = (p[1] & 0x1F) << 8 | p[2];
    const int counter = next[pid] < 0 ? p[3] & 0x0F : next[pid];
    p[3] = static_cast<unsigned char>((p[3] & 0xF0) | counter);
    next[pid] = (counter + 1) & 0x0F;
  }
  const std::string in = dir / "in.ts";
  cli_test::WriteBytes(in, bytes);
  cli_test::fs::create_directory(dir / "frames");
  const auto asFiles = cli_test::Fxaa({in, "-o", dir / "frames/%03d.png"});
  EXPECT_EQ(asFiles.status, fxaa_cli::kExitOk) << asFiles.err;
  EXPECT_EQ(dir.Files("frames").size(), 100u);
  const size_t line = asFiles.err.find(in + ": frame " + c.begins);  // that line says so
  EXPECT_LT(asFiles.err.find("s): a new segment begins", line), asFiles.err.find('\n', line));
  cli_test::fs::create_directory(dir / "range");
  const auto range = cli_test::Fxaa({in, "--frames", "49-52,75", "-o", dir / "range/%03d.png"});
  EXPECT_EQ(range.status, fxaa_cli::kExitOk) << range.err;
  EXPECT_EQ(dir.Files("range").size(), 5u);
  for (const std::string& name : dir.Files("range"))
    EXPECT_TRUE(cli_test::FileBytes(dir / ("range/" + name)) ==
                cli_test::FileBytes(dir / ("frames/" + name))) << name;
  const auto asVideo = cli_test::Fxaa({in, "-o", dir / "out.ts"});
  EXPECT_EQ(asVideo.status, fxaa_cli::kExitOk) << asVideo.err;
  EXPECT_EQ(asVideo.err.find("left out"), std::string::npos) << asVideo.err;
  const auto join =
      cli_test::Fxaa({"join", dir / "out.ts", "--streams-from", in, "-o", dir / "j.ts"});
  EXPECT_EQ(join.err.find("its clock goes back at frame 51") != std::string::npos, c.back)
      << join.err;
}

INSTANTIATE_TEST_SUITE_P(
    Captures, ClockJump,
    ::testing::Values(JumpCase{"joined_clock_goes_back", {"0", "0"}, "51 (1.4", true},
                      // Its times fall between the first capture's.
                      JumpCase{"joined_half_a_second_on", {"0", "0.5"}, "51 (1.9", true},
                      JumpCase{"splice_of_ten_seconds", {"0", "12"}, "51 (13.4", false},
                      // Back by over a minute: the demuxer takes it for the 33-bit clock's
                      // wrap, a jump on by 2^33 ticks less the minute.
                      JumpCase{"clock_back_a_minute_reads_as_a_wrap", {"100", "0"}, "51 (95445.",
                               false}),
    [](const ::testing::TestParamInfo<JumpCase>& info) { return info.param.name; });

}  // namespace
