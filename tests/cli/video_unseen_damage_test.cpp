// Damage that decoders conceal or do not see, written as numbered files: every file written is
// the frame of that number in a clean run, and every frame not written is named. A frame
// predicted from a damaged one carries its damage; a lost frame must not move the numbers of
// the frames after it. The media are made with Debian's ffmpeg and damaged here.
extern "C" {
#include <libavformat/avformat.h>
}

#include "cli_test_util.h"

namespace {

using namespace fxaa_cli;
using cli_test::Ffmpeg;
using cli_test::Fxaa;
using cli_test::ScratchDir;

struct Packet {
  int64_t pts, pos, size;
};

// The video packets of `path`, in presentation order.
std::vector<Packet> VideoPackets(const std::string& path) {
  std::vector<Packet> packets;
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(in, nullptr) < 0) {
    ADD_FAILURE() << "cannot demux " << path;
    return packets;
  }
  const int video = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(in, packet) >= 0) {
    if (packet->stream_index == video)
      packets.push_back({packet->pts, packet->pos, packet->size});
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&in);
  std::sort(packets.begin(), packets.end(),
            [](const Packet& a, const Packet& b) { return a.pts < b.pts; });
  return packets;
}

enum class Harm { kBytesFlipped, kPacketDropped };

struct UnseenCase {
  const char* name;
  const char* file;
  std::vector<std::string> encode;  // ffmpeg's output options
  Harm harm;
  int frame;          // the frame harmed, from 1 in presentation order (dropped: in file order)
  const char* says;   // what the tool says of the first frame it names
};

std::ostream& operator<<(std::ostream& out, const UnseenCase& c) { return out << c.name; }

class UnseenDamage : public ::testing::TestWithParam<UnseenCase> {};

TEST_P(UnseenDamage, NumberedFilesHoldTheirOwnFrameAndEveryOtherFrameIsNamed) {
  const UnseenCase& c = GetParam();
  ScratchDir dir;
  std::vector<std::string> make = cli_test::DistinctFrames(30);
  make.insert(make.end(), c.encode.begin(), c.encode.end());
  make.push_back(dir / ("clean." + std::string(c.file)));
  Ffmpeg(dir, make);
  const std::string clean = dir / ("clean." + std::string(c.file)), bad = dir / c.file;
  if (c.harm == Harm::kPacketDropped) {
    // Remuxed without it: the other frames keep their times.
    Ffmpeg(dir, {"-i", clean, "-c", "copy", "-bsf:v",
                 "noise=drop=eq(n\\," + std::to_string(c.frame - 1) + ")", bad});
  } else {
    std::vector<char> bytes = cli_test::FileBytes(clean);
    const Packet p = VideoPackets(clean).at(size_t(c.frame - 1));
    int64_t from = p.pos + p.size / 2, count = 12;
    // In a transport stream, within one 188-byte packet's payload, past its header.
    if (cli_test::fs::path(c.file).extension() == ".ts") from = from / 188 * 188 + 8, count = 100;
    for (int64_t i = from; i < from + count; ++i) bytes[size_t(i)] ^= 0x5A;
    cli_test::WriteBytes(bad, bytes);
  }
  cli_test::fs::create_directory(dir / "clean");
  cli_test::fs::create_directory(dir / "bad");
  ASSERT_EQ(Fxaa({clean, "-o", dir / "clean/%02d.png"}).status, kExitOk);
  const auto run = Fxaa({bad, "-o", dir / "bad/%02d.png"});
  EXPECT_EQ(run.status, kExitFailed);
  const size_t first = run.err.find(bad + ": frame ");
  ASSERT_NE(first, std::string::npos) << run.err;
  EXPECT_NE(run.err.find(c.says, first), std::string::npos) << run.err;
  int written = 0;
  for (const std::string& name : dir.Files("clean")) {
    const std::string number = std::to_string(std::stoi(name.substr(0, 2)));
    if (cli_test::fs::exists(dir / ("bad/" + name))) {
      ++written;
      EXPECT_TRUE(cli_test::FileBytes(dir / ("bad/" + name)) ==
                  cli_test::FileBytes(dir / ("clean/" + name)))
          << name << " is not the clean frame " << number;
    } else {
      EXPECT_NE(run.err.find(bad + ": frame " + number + " ("), std::string::npos)
          << "frame " << number << " neither written nor named\n" << run.err;
    }
  }
  // The damage ends at the next key frame: the frames after it are written.
  EXPECT_GT(written, c.frame);
  EXPECT_LT(written, 30);
  // Concealed into a video, the damage is the input's: the output is complete.
  const auto concealed = Fxaa({bad, "-o", dir / "out.mkv", "--damaged-frames", "conceal"});
  EXPECT_EQ(concealed.status, kExitFailed);
  EXPECT_TRUE(cli_test::fs::exists(dir / "out.mkv")) << concealed.err;
  EXPECT_EQ(concealed.err.find("out.mkv: "), std::string::npos) << concealed.err;
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnseenDamage,
    ::testing::Values(
        // FFmpeg's own VP9 decoder shows this frame without a word; libvpx finds it corrupt.
        UnseenCase{"vp9_corrupt_frame", "vp9.webm", {"-c:v", "libvpx-vp9", "-g", "20"},
                   Harm::kBytesFlipped, 8, "cannot decode"},
        // x265's picture hashes, checked.
        UnseenCase{"hevc_picture_hash", "hevc.mkv",
                   {"-c:v", "libx265", "-x265-params", "log-level=error:hash=1:keyint=20"},
                   Harm::kBytesFlipped, 8, "damaged: "},
        // H.264 in a transport stream conceals a damaged slice: the frames predicted from it
        // are as wrong, and were written as good.
        UnseenCase{"h264_predicted_from_damage", "h264.ts",
                   {"-c:v", "libx264", "-g", "20", "-pix_fmt", "yuv420p"}, Harm::kBytesFlipped, 8,
                   "damaged: "},
        // A packet dropped with the times kept: MPEG-2 runs at one rate; HEVC counts its
        // pictures. Each frame after the gap kept the number of the frame before it.
        UnseenCase{"mpeg2_packet_dropped", "mpeg2.mkv", {"-c:v", "mpeg2video", "-q:v", "3"},
                   Harm::kPacketDropped, 8, "missing from the stream"},
        // A reference frame of MPEG-2 with B-frames lost: its decoder gives a frame out of its
        // place, whose time went back, which the encoder refused.
        UnseenCase{"mpeg2_reference_dropped", "mpeg2b.mkv",
                   {"-c:v", "mpeg2video", "-bf", "2", "-g", "12", "-q:v", "3"},
                   Harm::kPacketDropped, 5, "the decoder gave no picture for it"},
        UnseenCase{"hevc_packet_dropped", "hevc.mp4",
                   {"-c:v", "libx265", "-x265-params", "log-level=error:keyint=20"},
                   Harm::kPacketDropped, 8, "missing from the stream"}),
    [](const ::testing::TestParamInfo<UnseenCase>& info) { return info.param.name; });

}  // namespace
