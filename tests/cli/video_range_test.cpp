// Ranges of a video, as a render farm splits it (--frames on a video input), and the join of the
// parts (fxaa join): a range gives the frames of a whole run, parts join into the whole run with
// the source's audio untouched, and a join that could not give the whole is refused. The media
// are made with Debian's ffmpeg and the results read back with ffmpeg or the libraries.
extern "C" {
#include <libavformat/avformat.h>
}

#include "cli_test_util.h"

namespace {

using namespace fxaa_cli;
using cli_test::Ffmpeg;
using cli_test::Fxaa;
using cli_test::ScratchDir;

// The lines of ffmpeg's framemd5 of `path`'s stream `map`: decoded frames of video (each frame,
// none dropped or repeated), or the sizes and MD5s of audio packets copied.
std::vector<std::string> FrameMd5s(const ScratchDir& dir, const std::string& path,
                                   const std::string& map) {
  const bool audio = map == "0:a";
  std::vector<std::string> args = {"-i", path, "-map", map};
  if (audio) args.insert(args.end(), {"-c", "copy"});
  else args.insert(args.end(), {"-fps_mode", "passthrough"});
  args.insert(args.end(), {"-f", "framemd5", "-"});
  std::istringstream text(Ffmpeg(dir, args));
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (audio) {  // stream, dts, pts, duration, size, hash[, side data]: the times are the container's
      std::vector<std::string> fields;
      std::istringstream split(line);
      for (std::string field; std::getline(split, field, ',');) fields.push_back(field);
      if (fields.size() >= 6) line = fields[4] + "," + fields[5];
    }
    lines.push_back(line);
  }
  return lines;
}

struct VideoPacket {
  int64_t pts;
  bool key;
  std::string data;
};

// The packets of the video stream, in file order, their times in microseconds.
std::vector<VideoPacket> VideoPackets(const std::string& path) {
  std::vector<VideoPacket> packets;
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(input, nullptr) < 0) {
    ADD_FAILURE() << "cannot demux " << path;
    avformat_close_input(&input);
    return packets;
  }
  const int video = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(input, packet) >= 0) {
    if (packet->stream_index == video)
      packets.push_back({av_rescale_q(packet->pts, input->streams[video]->time_base, {1, 1000000}),
                         (packet->flags & AV_PKT_FLAG_KEY) != 0,
                         std::string(reinterpret_cast<const char*>(packet->data), packet->size)});
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&input);
  return packets;
}

// The sources, made once: 30 frames with a key frame every 10 and B-frames between, at a
// variable rate (frames 14 on come 0.2 s later), with audio; as MP4 (frames found from its
// index), as Matroska (found by scanning), and with open groups (leading frames before each key
// frame, which the MP4 index cannot number).
class VideoRange : public ::testing::Test {
 protected:
  // No assertion here: gtest would skip every test of a suite whose set-up failed, and CTest
  // counts a skipped test as no failure. The first failure is kept for SetUp to report.
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    const ScratchDir& d = *dir_;
    auto ffmpeg = [&d](std::vector<std::string> args) {
      if (!setUpError_.empty()) return;
      args.insert(args.begin(), {"-v", "error", "-y"});
      const auto made = cli_test::RunProcess(d, "ffmpeg", args);
      if (made.status != 0) setUpError_ = "ffmpeg: " + made.err;
    };
    const std::vector<std::string> source = {
        "-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i",
        "sine=frequency=440:sample_rate=48000", "-vf", "setpts='N+if(gt(N,12),5,0)'",
        "-fps_mode", "passthrough", "-frames:v", "30", "-t", "1.4", "-c:v", "libx264", "-g", "10",
        "-bf", "3", "-pix_fmt", "yuv420p", "-c:a", "aac"};
    // Without an edit list: after the jump FFmpeg 7 ends the list where the last frame starts,
    // hiding it, so the file would hold 29 frames there and 30 under FFmpeg 5. listed.mp4 keeps
    // the list: the hidden frame is decoded for the others, never shown, and named missing by
    // none (its whole run must succeed).
    std::vector<std::string> args = source;
    args.insert(args.end(), {"-use_editlist", "0", d / "in.mp4"});
    ffmpeg(args);
    ffmpeg({"-i", d / "in.mp4", "-c", "copy", d / "in.mkv"});
    args = source;
    args.insert(args.end(), {"-x264-params", "open-gop=1", "-use_editlist", "0", d / "open.mp4"});
    ffmpeg(args);
    args = source;
    args.push_back(d / "listed.mp4");
    ffmpeg(args);
    for (const char* name : {"in.mp4", "in.mkv", "open.mp4", "listed.mp4"}) {
      if (!setUpError_.empty()) return;
      std::filesystem::create_directory(d / (std::string("whole-") + name));
      const auto run = Fxaa({d / name, "-o", d / (std::string("whole-") + name + "/f%02d.png")});
      if (run.status != kExitOk) setUpError_ = std::string(name) + ": " + run.err;
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(setUpError_.empty()) << setUpError_; }
  static ScratchDir* dir_;
  static std::string setUpError_;
};
ScratchDir* VideoRange::dir_ = nullptr;
std::string VideoRange::setUpError_;

struct RangeCase {
  const char* name;
  const char* source;
  const char* frames;
  std::vector<int> numbers;  // the files expected
};

std::ostream& operator<<(std::ostream& out, const RangeCase& c) { return out << c.name; }

class VideoRangeAsFiles : public VideoRange, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(VideoRangeAsFiles, GivesTheFilesOfAWholeRunByteForByte) {
  const RangeCase& c = GetParam();
  const ScratchDir& d = *dir_;
  ScratchDir out;
  const auto run = Fxaa({d / c.source, "--frames", c.frames, "-o", out / "f%02d.png"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  std::vector<std::string> expected;
  for (int n : c.numbers) expected.push_back((n < 10 ? "f0" : "f") + std::to_string(n) + ".png");
  ASSERT_EQ(out.Files(), expected);
  for (const std::string& name : expected)
    EXPECT_TRUE(cli_test::FileBytes(out / name) ==
                cli_test::FileBytes(d / (std::string("whole-") + c.source + "/" + name)))
        << name;
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, VideoRangeAsFiles,
    ::testing::Values(
        RangeCase{"start", "in.mp4", "1-4", {1, 2, 3, 4}},
        RangeCase{"across_a_key_frame", "in.mp4", "8-14", {8, 9, 10, 11, 12, 13, 14}},
        RangeCase{"end", "in.mp4", "27-30", {27, 28, 29, 30}},
        RangeCase{"scanned_across_a_key_frame", "in.mkv", "8-14", {8, 9, 10, 11, 12, 13, 14}},
        RangeCase{"scanned_every_seventh", "in.mkv", "2-30x7", {2, 9, 16, 23, 30}},
        RangeCase{"open_groups", "open.mp4", "10-12,20-21", {10, 11, 12, 20, 21}}),
    [](const ::testing::TestParamInfo<RangeCase>& info) { return info.param.name; });

TEST_F(VideoRange, RefusesFramesPastTheEnd) {
  const ScratchDir& d = *dir_;
  ScratchDir out;
  const auto run = Fxaa({d / "in.mp4", "--frames", "25-31", "-o", out / "part.mkv"});
  EXPECT_EQ(run.status, kExitUsage);
  EXPECT_NE(run.err.find("frame 31; the video has 30"), std::string::npos) << run.err;
  EXPECT_TRUE(out.Files().empty());
}

struct JoinCase {
  const char* name;
  const char* part;  // the container of the parts and the output
  std::vector<std::string> encode;
  bool lossless;
};

std::ostream& operator<<(std::ostream& out, const JoinCase& c) { return out << c.name; }

class VideoPartsJoin : public VideoRange, public ::testing::WithParamInterface<JoinCase> {};

TEST_P(VideoPartsJoin, GivesTheWholeRunWithTheSourcesAudio) {
  const JoinCase& c = GetParam();
  const ScratchDir& d = *dir_;
  ScratchDir out;
  const std::string ext = c.part;
  const auto render = [&](std::vector<std::string> args) {
    args.insert(args.end(), c.encode.begin(), c.encode.end());
    const auto run = Fxaa(args);
    EXPECT_EQ(run.status, kExitOk) << run.err;
  };
  render({d / "in.mp4", "-o", out / ("whole" + ext)});
  render({d / "in.mp4", "--frames", "1-13", "-o", out / ("a" + ext)});
  render({d / "in.mp4", "--frames", "14-30", "-o", out / ("b" + ext)});
  // The second part starts at its first frame's own time in the source.
  const std::vector<VideoPacket> source = VideoPackets(d / "in.mp4"), b = VideoPackets(out / ("b" + ext));
  std::vector<int64_t> times;
  for (const VideoPacket& p : source) times.push_back(p.pts);
  std::sort(times.begin(), times.end());
  ASSERT_EQ(times.size(), 30u);
  ASSERT_FALSE(b.empty());
  EXPECT_TRUE(b[0].key);
  EXPECT_EQ(b[0].pts, times[13]);

  const auto join = Fxaa({"join", out / ("b" + ext), out / ("a" + ext), "--streams-from",
                          d / "in.mp4", "-o", out / ("joined" + ext)});
  ASSERT_EQ(join.status, kExitOk) << join.err;
  EXPECT_EQ(FrameMd5s(out, out / ("joined" + ext), "0:a"), FrameMd5s(out, d / "in.mp4", "0:a"));
  if (c.lossless) {
    EXPECT_EQ(FrameMd5s(out, out / ("joined" + ext), "0:v"),
              FrameMd5s(out, out / ("whole" + ext), "0:v"));
    return;
  }
  // Lossy parts are copied, not re-encoded: the packets of one part, then the other's.
  std::vector<VideoPacket> parts = VideoPackets(out / ("a" + ext));
  EXPECT_TRUE(parts.at(0).key);
  parts.insert(parts.end(), b.begin(), b.end());
  const std::vector<VideoPacket> joined = VideoPackets(out / ("joined" + ext));
  ASSERT_EQ(joined.size(), parts.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_EQ(joined[i].pts, parts[i].pts) << i;
    EXPECT_TRUE(joined[i].data == parts[i].data) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, VideoPartsJoin,
    ::testing::Values(JoinCase{"ffv1_mkv", ".mkv", {"--codec", "ffv1"}, true},
                      JoinCase{"x264_mp4", ".mp4", {"--codec", "libx264", "--crf", "30"}, false}),
    [](const ::testing::TestParamInfo<JoinCase>& info) { return info.param.name; });

TEST_F(VideoRange, JoinRefusesPartsThatCannotMakeTheWholeWithOneLineAndWritesNothing) {
  const ScratchDir& d = *dir_;
  ScratchDir out;
  // A source at another rate: its frame 14 is at a time where in.mp4 has none.
  Ffmpeg(out, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=50", "-frames:v", "30", "-c:v",
               "libx264", "-pix_fmt", "yuv420p", out / "fast.mp4"});
  const auto part = [&](const std::string& name, const std::string& source,
                        const std::string& frames, std::vector<std::string> more) {
    std::vector<std::string> args = {source, "--frames", frames, "-o", out / name};
    args.insert(args.end(), more.begin(), more.end());
    const auto run = Fxaa(args);
    ASSERT_EQ(run.status, kExitOk) << name << ": " << run.err;
  };
  const std::vector<std::string> ffv1 = {"--codec", "ffv1"};
  part("a.mkv", d / "in.mp4", "1-13", ffv1);
  part("b.mkv", d / "in.mp4", "14-24", ffv1);
  part("c.mkv", d / "in.mp4", "25-30", ffv1);
  part("overlap.mkv", d / "in.mp4", "10-24", ffv1);
  part("x264.mkv", d / "in.mp4", "14-24", {"--codec", "libx264"});
  part("half.mkv", d / "in.mp4", "14-24", {"--codec", "ffv1", "--downsample", "2"});
  part("fast.mkv", out / "fast.mp4", "14-24", ffv1);
  struct Case {
    std::vector<std::string> parts;
    std::string says;  // after "fxaa: PART: "
  };
  const std::vector<Case> cases = {
      {{"a.mkv", "c.mkv"}, "c.mkv: frames 14-24 of " + d / "in.mp4" + " missing before it"},
      {{"a.mkv", "b.mkv"}, "b.mkv: frames 25-30 of " + d / "in.mp4" + " missing after it"},
      {{"a.mkv", "overlap.mkv", "c.mkv"}, "overlap.mkv: overlaps " + out / "a.mkv" + " (frames 10-13 in both)"},
      {{"a.mkv", "x264.mkv", "c.mkv"}, "x264.mkv: codec h264, not ffv1"},
      {{"a.mkv", "half.mkv", "c.mkv"}, "half.mkv: size 32 x 24, not 64 x 48"},
      {{"a.mkv", "fast.mkv", "c.mkv"}, "fast.mkv: starts at 0.260000 s, where"},
  };
  const std::vector<std::string> before = out.Files();
  for (const Case& c : cases) {
    std::vector<std::string> args = {"join"};
    for (const std::string& p : c.parts) args.push_back(out / p);
    args.insert(args.end(), {"--streams-from", d / "in.mp4", "-o", out / "joined.mkv"});
    const auto run = Fxaa(args);
    EXPECT_EQ(run.status, kExitFailed) << c.says;
    EXPECT_EQ(run.err.rfind("fxaa: " + out / c.says, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(out.Files(), before) << c.says;  // no output, no temporary file
  }
}

}  // namespace
