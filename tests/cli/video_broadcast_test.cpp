// Video as a broadcast chain hands it over: closed captions in the picture's bitstream, alpha,
// field order, attachments and caption tracks, intra-only and DNxHD streams from MXF, input from
// a pipe. The media are made with Debian's ffmpeg (or, where its command has no option for it,
// with the libraries), and the results read back with ffmpeg or the libraries, not with the
// tool's own reader.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

#include <sys/stat.h>

#include "cli_test_util.h"

namespace {

using namespace fxaa_cli;
using cli_test::Ffmpeg;
using cli_test::Fxaa;
using cli_test::ScratchDir;

// cc_data of one frame: a field-1 CEA-608 pair, different for each frame.
std::string CaptionBytes(int frame) {
  return std::string{char(0xFC), char(0xC1 + frame), char(0xE1 + frame)};
}

// Writes `frames` frames of H.264 into `path` through the libraries, each carrying its
// CaptionBytes as A/53 side data, which x264 writes into an SEI message: the ffmpeg command has
// no option that makes captions.
void WriteCaptionedH264(const std::string& path, int frames) {
  AVFormatContext* out = nullptr;
  ASSERT_GE(avformat_alloc_output_context2(&out, nullptr, nullptr, path.c_str()), 0);
  AVCodecContext* enc = avcodec_alloc_context3(avcodec_find_encoder_by_name("libx264"));
  enc->width = 64, enc->height = 48, enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->time_base = AVRational{1, 25};
  ASSERT_GE(avcodec_open2(enc, enc->codec, nullptr), 0);
  AVStream* st = avformat_new_stream(out, nullptr);
  avcodec_parameters_from_context(st->codecpar, enc);
  ASSERT_GE(avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(avformat_write_header(out, nullptr), 0);
  AVFrame* frame = av_frame_alloc();
  frame->format = enc->pix_fmt, frame->width = 64, frame->height = 48;
  av_frame_get_buffer(frame, 0);
  AVPacket* packet = av_packet_alloc();
  for (int f = 0; f <= frames; ++f) {
    if (f < frames) {
      av_frame_make_writable(frame);
      for (int p = 0; p < 3; ++p) std::memset(frame->data[p], 40 * f + 60 * p, frame->linesize[p] * 24);
      frame->pts = f;
      av_frame_remove_side_data(frame, AV_FRAME_DATA_A53_CC);
      const std::string cc = CaptionBytes(f);
      std::memcpy(av_frame_new_side_data(frame, AV_FRAME_DATA_A53_CC, cc.size())->data, cc.data(),
                  cc.size());
    }
    avcodec_send_frame(enc, f < frames ? frame : nullptr);
    while (avcodec_receive_packet(enc, packet) >= 0) {
      av_packet_rescale_ts(packet, enc->time_base, st->time_base);
      av_interleaved_write_frame(out, packet);
    }
  }
  av_write_trailer(out);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&enc);
  avio_closep(&out->pb);
  avformat_free_context(out);
}

// The caption bytes of `path`'s frames, in presentation order, as FFmpeg's movie source gives
// them (a subtitle stream of the A/53 side data).
std::string Captions(const ScratchDir& dir, const std::string& path) {
  return Ffmpeg(dir, {"-f", "lavfi", "-i", "movie=" + path + "[out0+subcc]", "-map", "0:s", "-c",
                      "copy", "-f", "data", "-"});
}

TEST(BroadcastVideo, ClosedCaptionsInTheBitstreamReachEveryOutputOrAreSaidToBeLeftOut) {
  ScratchDir dir;
  WriteCaptionedH264(dir / "in.ts", 6);
  std::string expected;
  for (int f = 0; f < 6; ++f) expected += CaptionBytes(f);
  ASSERT_EQ(Captions(dir, dir / "in.ts"), expected);
  for (const char* name : {"out.ts", "out.mp4", "out.mkv", "mpeg2.ts"}) {
    SCOPED_TRACE(name);
    std::vector<std::string> args = {dir / "in.ts", "-o", dir / name};
    if (std::string(name) == "mpeg2.ts") args.insert(args.end(), {"--codec", "mpeg2video"});
    ASSERT_EQ(Fxaa(args).status, kExitOk);
    EXPECT_EQ(Captions(dir, dir / name), expected);
  }
  // x265 writes them where this FFmpeg lets it (its a53cc setting); where not, the run says so.
  const auto run = Fxaa({dir / "in.ts", "-o", dir / "hevc.mkv", "--codec", "libx265"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  if (run.err.empty())
    EXPECT_EQ(Captions(dir, dir / "hevc.mkv"), expected);
  else
    EXPECT_EQ(run.err, "fxaa: " + dir / "hevc.mkv" +
                           ": closed captions (A/53) left out: libx265 cannot carry them\n");
}

// What ffprobe says of `path` with `args`, one "key=value" a line.
std::string Probe(const ScratchDir& dir, const std::string& path, std::vector<std::string> args) {
  args.insert(args.begin(), {"-v", "error", "-of", "default=nw=1"});
  args.push_back(path);
  return cli_test::RunProcess(dir, "ffprobe", args).out;
}

int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// The alpha plane of `path`'s frames, decoded by libvpx (FFmpeg's own VP9 decoder has none).
std::string VpxAlpha(const ScratchDir& dir, const std::string& path) {
  return Ffmpeg(dir, {"-c:v", "libvpx-vp9", "-i", path, "-vf", "alphaextract", "-f", "rawvideo",
                      "-pix_fmt", "gray", "-"});
}

TEST(BroadcastVideo, Vp9AlphaInWebmIsReadAndKept) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i",
               "testsrc2=size=64x48:rate=25,format=yuva420p,"
               "geq=lum='lum(X,Y)':cb='cb(X,Y)':cr='cr(X,Y)':a='X*4'",
               "-frames:v", "4", "-c:v", "libvpx-vp9", dir / "in.webm"});
  const auto run = Fxaa({dir / "in.webm", "-o", dir / "out.webm", "--strength", "0"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string in = VpxAlpha(dir, dir / "in.webm"), out = VpxAlpha(dir, dir / "out.webm");
  ASSERT_EQ(in.size(), 4u * 64 * 48);
  ASSERT_EQ(out.size(), in.size());
  // VP9 at CRF 16 moves an alpha value by a step or two; alpha lost is 255 throughout.
  double sum = 0;
  for (size_t i = 0; i < in.size(); ++i) sum += std::abs(int(uint8_t(out[i])) - int(uint8_t(in[i])));
  EXPECT_LT(sum / in.size(), 2.0);
  // MP4 holds no VP9 alpha: it is said to be dropped, and no tag claims it.
  const auto mp4 = Fxaa({dir / "in.webm", "-o", dir / "out.mp4"});
  EXPECT_EQ(mp4.err, "fxaa: " + dir / "out.mp4" + ": alpha dropped: mp4 cannot hold the alpha of vp9\n");
  EXPECT_EQ(Probe(dir, dir / "out.mp4", {"-show_entries", "stream_tags"}).find("alpha_mode"),
            std::string::npos);
}

// 1080p, the only size these profiles have at these rates; two frames, one where one shows it.
TEST(BroadcastVideo, IntraStreamsFromMxfStayDecodableIntraOnlyAndAtTheirRate) {
  ScratchDir dir;
  const std::string hd = "testsrc2=size=1920x1080:rate=25";
  Ffmpeg(dir, {"-f", "lavfi", "-i", hd, "-frames:v", "2", "-c:v", "libx264", "-pix_fmt",
               "yuv422p10le", "-profile:v", "high422", "-x264-params", "keyint=1", "-b:v", "100M",
               dir / "avci.mxf"});
  Ffmpeg(dir, {"-f", "lavfi", "-i", hd, "-frames:v", "1", "-c:v", "dnxhd", "-b:v", "120M",
               "-pix_fmt", "yuv422p", dir / "dnx.mxf"});
  const std::vector<std::string> video = {"-select_streams", "v:0", "-show_entries"};
  auto probe = [&](const std::string& path, const std::string& entries) {
    std::vector<std::string> args = video;
    args.push_back(entries);
    return Probe(dir, dir / path, args);
  };
  ASSERT_EQ(probe("avci.mxf", "stream=profile"), "profile=High 4:2:2 Intra\n");
  // Every frame decodes, each a key frame, in QuickTime (no AVC-Intra tag without its
  // parameter sets) and in Matroska.
  for (const char* name : {"avci.mov", "avci.mkv"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Fxaa({dir / "avci.mxf", "-o", dir / name}).status, kExitOk);
    const auto decoded =
        cli_test::RunProcess(dir, "ffmpeg", {"-v", "error", "-i", dir / name, "-f", "framemd5", "-"});
    EXPECT_EQ(decoded.err, "");
    EXPECT_EQ(Count(decoded.out, "\n0,"), 2);  // a line a frame: stream 0, then its times
    EXPECT_EQ(Count(probe(name, "frame=key_frame"), "key_frame=1"), 2);
    EXPECT_EQ(probe(name, "stream=profile"), "profile=High 4:2:2 Intra\n");
  }
  // DNxHD 120 stays DNxHD at the same rate: MXF does not state it, the frames' size does.
  const auto run = Fxaa({dir / "dnx.mxf", "-o", dir / "dnx.mov"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(probe("dnx.mov", "stream=profile"), "profile=DNXHD\n");
  EXPECT_EQ(probe("dnx.mov", "packet=size"), probe("dnx.mxf", "packet=size"));
}

TEST(BroadcastVideo, BottomFieldFirstH264IsSignalledBottomFirstThroughout) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=50,tinterlace=merge,setfield=bff",
               "-frames:v", "3", "-c:v", "libx264", "-flags", "+ildct+ilme", "-top", "0",
               "-x264-params", "bff=1", dir / "in.mp4"});
  // MP4 and a transport stream have no field order of their own: ffprobe reads it from the
  // bitstream's picture timing, which must agree with the fields' order counts (the frame flag).
  for (const char* name : {"in.mp4", "out.mp4", "out.ts", "out.mkv"}) {
    SCOPED_TRACE(name);
    if (std::string(name) != "in.mp4") {
      ASSERT_EQ(Fxaa({dir / "in.mp4", "-o", dir / name}).status, kExitOk);
    }
    const std::string probed =
        Probe(dir, dir / name, {"-select_streams", "v:0", "-show_entries",
                                "stream=field_order:frame=interlaced_frame,top_field_first"});
    EXPECT_EQ(Count(probed, "field_order=tt"), 0) << probed;
    EXPECT_GE(Count(probed, "field_order=bb"), 1) << probed;
    EXPECT_EQ(Count(probed, "interlaced_frame=1"), 3) << probed;
    EXPECT_EQ(Count(probed, "top_field_first=0"), 3) << probed;
  }
}

TEST(BroadcastVideo, OtherStreamsGoWhereTheyFitAndRefusalsNameOnlyContainersThatHoldThem) {
  ScratchDir dir;
  cli_test::WriteBytes(dir / "font.ttf", {'n', 'o', 't', ' ', 'a', ' ', 'f', 'o', 'n', 't'});
  const std::vector<std::string> source = {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25",
                                           "-frames:v", "3", "-c:v", "libx264"};
  std::vector<std::string> make = source;
  make.insert(make.end(), {"-attach", dir / "font.ttf", "-metadata:s:t",
                           "mimetype=application/x-truetype-font", dir / "font.mkv"});
  Ffmpeg(dir, make);
  make = source;
  make.insert(make.end(), {"-timecode", "01:00:00:00", dir / "timecode.mov"});
  Ffmpeg(dir, make);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string says;  // the first line, after "fxaa: " and the output's path
  } cases[] = {
      {{"font.mkv", "-o", "font-out.mkv"}, kExitOk, ""},
      {{"font.mkv", "-o", "font-out.mp4"}, kExitFailed,
       ": mp4 cannot hold the attachment stream 1 (ttf), which is copied unchanged: use a "
       "container that can (.mkv), or leave it out (--unfit-streams leave-out)"},
      {{"font.mkv", "-o", "left.mp4", "--unfit-streams", "leave-out"}, kExitOk,
       ": attachment stream 1 (ttf) not carried over: mp4 cannot hold it"},
      // QuickTime's timecode track is rebuilt from the video's tag: nothing to say.
      {{"timecode.mov", "-o", "timecode-out.mov"}, kExitOk, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[2]);
    std::vector<std::string> args;
    for (const std::string& a : c.args) args.push_back(a.find('.') != std::string::npos ? dir / a : a);
    const auto run = Fxaa(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
              c.says.empty() ? "" : "fxaa: " + dir / c.args[2] + c.says);
  }
  // ffmpeg writes the attachment, then fails for want of an output.
  cli_test::RunProcess(dir, "ffmpeg", {"-v", "error", "-dump_attachment:t:0",
                                       dir / "font-back.ttf", "-i", dir / "font-out.mkv"});
  EXPECT_EQ(cli_test::FileBytes(dir / "font-back.ttf"), cli_test::FileBytes(dir / "font.ttf"));
  EXPECT_EQ(Probe(dir, dir / "timecode-out.mov", {"-show_entries", "stream=codec_tag_string"}),
            "codec_tag_string=avc1\ncodec_tag_string=tmcd\n");
}

TEST(BroadcastVideo, APipeOrStandardInputIsRefusedAtOnceWithoutOpeningIt) {
  ScratchDir dir;
  ASSERT_EQ(mkfifo((dir / "in.fifo").c_str(), 0600), 0);
  // As a process, under a time limit: opening a pipe nobody writes would block for ever.
  const auto fifo = cli_test::RunProcess(
      dir, "timeout", {"10", FXAA_TOOL_PATH, "--plugin", FXAA_PLUGIN_PATH, dir / "in.fifo", "-o",
                       dir / "out.mkv"});
  EXPECT_EQ(fifo.status, kExitUsage);
  EXPECT_EQ(fifo.err, "fxaa: " + dir / "in.fifo" +
                          ": a pipe, not a file: fxaa reads an input more than once; save it to "
                          "a file first\n");
  EXPECT_EQ(Fxaa({"-", "-o", dir / "out.mkv"}).status, kExitUsage);
  EXPECT_TRUE(dir.Files() == std::vector<std::string>{"in.fifo"});
}

// A rotation the output's container drops (Matroska, in this FFmpeg) is noted as other drops
// are, and kept where it can be; a file of audio alone is told it has no video, whatever the
// output, not to name a frame pattern.
TEST(BroadcastVideo, ADroppedRotationIsNotedAndAudioAloneHasNoVideo) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "3", "-c:v",
               "libx264", "-pix_fmt", "yuv420p", dir / "upright.mp4"});
  // FFmpeg 7 takes the rotation as an input option and ignores the older "rotate" tag; 5.1 knows
  // only the tag.
  if (cli_test::RunProcess(dir, "ffmpeg", {"-v", "error", "-y", "-display_rotation", "90", "-i",
                                           dir / "upright.mp4", "-c", "copy",
                                           dir / "rotated.mp4"}).status != 0)
    Ffmpeg(dir, {"-i", dir / "upright.mp4", "-c", "copy", "-metadata:s:v:0", "rotate=90",
                 dir / "rotated.mp4"});
  ASSERT_NE(cli_test::RunProcess(dir, "ffprobe", {"-v", "error", "-show_entries",
                                                  "stream_side_data=rotation",
                                                  dir / "rotated.mp4"}).out.find("rotation=90"),
            std::string::npos) << "the input carries no rotation";
  for (const std::string out : {"out.mkv", "out.mov"}) {
    const auto run = cli_test::RunTool({"--plugin", FXAA_PLUGIN_PATH, dir / "rotated.mp4", "-o",
                                        dir / out});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    const std::string probe = cli_test::RunProcess(dir, "ffprobe", {"-v", "error", "-show_entries",
                                                  "stream_side_data=rotation", dir / out}).out;
    EXPECT_EQ(run.err.find(out + ": rotation (90 degrees) left out: ") == run.err.npos,
              probe.find("rotation=90") != probe.npos) << run.err;
  }
  Ffmpeg(dir, {"-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "0.2", "-c:a", "aac",
               dir / "song.m4a"});
  for (const std::string out : {"out.png", "out/", "out.mkv"}) {
    const auto run = Fxaa({dir / "song.m4a", "-o", dir / out});
    EXPECT_NE(run.err.find("song.m4a: no video stream"), std::string::npos) << run.err;
  }
}

TEST(BroadcastVideo, ATransportStreamKeepsItsServicePidsAndNames) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i",
               "sine=sample_rate=48000", "-t", "0.4", "-c:v", "libx264", "-c:a", "mp2",
               "-mpegts_service_id", "0x1234", "-mpegts_pmt_start_pid", "0x1500", "-streamid",
               "0:0x101", "-streamid", "1:0x102", "-metadata", "service_name=Channel Nine",
               "-metadata", "service_provider=Corvella TV", dir / "in.ts"});
  const std::vector<std::string> services = {"-show_entries",
                                             "program=program_id,pmt_pid:program_tags:stream=id"};
  const std::string in = Probe(dir, dir / "in.ts", services);
  ASSERT_NE(in.find("program_id=4660"), std::string::npos) << in;
  ASSERT_EQ(Fxaa({dir / "in.ts", "-o", dir / "out.ts"}).status, kExitOk);
  EXPECT_EQ(Probe(dir, dir / "out.ts", services), in);
}

}  // namespace
