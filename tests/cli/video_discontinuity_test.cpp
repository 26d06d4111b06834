// Transport streams whose clock jumps, as broadcast captures have them: two captures joined (the
// clock goes back), a splice (it goes on by seconds), a clock that wraps at 2^33. Every frame is
// written, as files and into one video, none is named missing or damaged, and the run says where
// the second segment begins. The media are made with Debian's ffmpeg.
#include <map>

#include "cli_test_util.h"

namespace {

using namespace fxaa_cli;
using cli_test::Ffmpeg;
using cli_test::Fxaa;
using cli_test::ScratchDir;

// `first` then `second` as one stream whose 188-byte packets' continuity counters follow on, as
// a recorder that went on would write them: only the clock jumps.
std::vector<char> Joined(std::vector<char> bytes, const std::vector<char>& second) {
  bytes.insert(bytes.end(), second.begin(), second.end());
  std::map<int, int> next;
  for (size_t at = 0; at + 188 <= bytes.size(); at += 188) {
    auto* p = reinterpret_cast<unsigned char*>(&bytes[at]);
    if (!(p[3] & 0x10)) continue;  // no payload: no count
    const int pid = (p[1] & 0x1F) << 8 | p[2];
    const auto it = next.find(pid);
    const int counter = it == next.end() ? p[3] & 0x0F : it->second;
    p[3] = static_cast<unsigned char>((p[3] & 0xF0) | counter);
    next[pid] = (counter + 1) & 0x0F;
  }
  return bytes;
}

struct JumpCase {
  const char* name;
  const char* firstOffset;   // ffmpeg's -output_ts_offset of each capture, in seconds
  const char* secondOffset;  // none: the first alone
  const char* begins;        // where the second segment begins, at its own time; none: no jump
};

std::ostream& operator<<(std::ostream& out, const JumpCase& c) { return out << c.name; }

class ClockJump : public ::testing::TestWithParam<JumpCase> {};

TEST_P(ClockJump, EveryFrameIsWrittenAndTheSegmentIsNamed) {
  const JumpCase& c = GetParam();
  ScratchDir dir;
  auto capture = [&](const char* offset, const std::string& name) {
    std::vector<std::string> make = {"-f", "lavfi", "-i", "sine=r=48000:d=2"};
    for (const std::string& arg : cli_test::DistinctFrames(50)) make.push_back(arg);
    make.insert(make.end(), {"-c:v", "mpeg2video", "-q:v", "3", "-c:a", "mp2",
                             "-output_ts_offset", offset, dir / name});
    Ffmpeg(dir, make);
    return cli_test::FileBytes(dir / name);
  };
  std::vector<char> bytes = capture(c.firstOffset, "a.ts");
  if (c.secondOffset != nullptr) bytes = Joined(bytes, capture(c.secondOffset, "b.ts"));
  const std::string in = dir / "in.ts";
  cli_test::WriteBytes(in, bytes);
  const size_t frames = c.secondOffset != nullptr ? 100 : 50;

  cli_test::fs::create_directory(dir / "frames");
  const auto asFiles = Fxaa({in, "-o", dir / "frames/%03d.png"});
  EXPECT_EQ(asFiles.status, kExitOk) << asFiles.err;
  EXPECT_EQ(dir.Files("frames").size(), frames) << asFiles.err;
  if (c.begins != nullptr) {
    const size_t line = asFiles.err.find(in + ": frame " + c.begins);
    EXPECT_NE(line, std::string::npos) << asFiles.err;
    EXPECT_LT(asFiles.err.find("s): a new segment begins", line), asFiles.err.find('\n', line))
        << asFiles.err;
  } else {
    EXPECT_EQ(asFiles.err.find("segment"), std::string::npos) << asFiles.err;
  }

  // One video, the frames after a clock that went back following on from those before; the
  // audio too, none of it left out.
  const auto asVideo = Fxaa({in, "-o", dir / "out.ts"});
  EXPECT_EQ(asVideo.status, kExitOk) << asVideo.err;
  EXPECT_EQ(asVideo.err.find("left out"), std::string::npos) << asVideo.err;
  const auto probe = cli_test::RunProcess(
      dir, "ffprobe", {"-v", "error", "-select_streams", "v", "-count_frames", "-show_entries",
                       "stream=nb_read_frames", "-of", "csv=p=0", dir / "out.ts"});
  EXPECT_EQ(size_t(std::atoi(probe.out.c_str())), frames) << probe.out << probe.err;
}

INSTANTIATE_TEST_SUITE_P(
    Captures, ClockJump,
    ::testing::Values(JumpCase{"joined_clock_goes_back", "0", "0", "51 (1.4"},
                      JumpCase{"splice_of_ten_seconds", "0", "12", "51 (13.4"},
                      // ffmpeg's clock starts 1.4 s in: this one wraps 0.8 s later, which
                      // the demuxer unwraps.
                      JumpCase{"clock_wraps", "95441.5", nullptr, nullptr},
                      // A clock going back by over a minute, the demuxer reads as a wrap: a
                      // jump on by 2^33 ticks, less the minute.
                      JumpCase{"clock_back_a_minute_reads_as_a_wrap", "100", "0", "51 (95445."}),
    [](const ::testing::TestParamInfo<JumpCase>& info) { return info.param.name; });

}  // namespace
