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

// cc_data of one frame: a field-1 CEA-608 pair, different for each frame (odd parity bytes).
std::string CaptionBytes(int frame) {
  auto parity = [](int c) {
    int ones = 0;
    for (int b = 0; b < 7; ++b) ones += (c >> b) & 1;
    return char(ones % 2 == 0 ? c | 0x80 : c);
  };
  return std::string{char(0xFC), parity('A' + frame), parity('a' + frame)};
}

// Writes `frames` frames of H.264 into `path` through the libraries, each frame carrying its
// CaptionBytes as A/53 side data, which x264 writes into an SEI message: the ffmpeg command has
// no option that makes captions.
void WriteCaptionedH264(const std::string& path, int frames) {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  ASSERT_NE(codec, nullptr);
  AVFormatContext* out = nullptr;
  ASSERT_GE(avformat_alloc_output_context2(&out, nullptr, nullptr, path.c_str()), 0);
  AVCodecContext* enc = avcodec_alloc_context3(codec);
  enc->width = 64;
  enc->height = 48;
  enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->time_base = AVRational{1, 25};
  enc->framerate = AVRational{25, 1};
  if (out->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  ASSERT_GE(avcodec_open2(enc, codec, nullptr), 0);
  AVStream* st = avformat_new_stream(out, nullptr);
  avcodec_parameters_from_context(st->codecpar, enc);
  st->time_base = enc->time_base;
  ASSERT_GE(avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(avformat_write_header(out, nullptr), 0);
  AVFrame* frame = av_frame_alloc();
  frame->format = enc->pix_fmt;
  frame->width = enc->width;
  frame->height = enc->height;
  av_frame_get_buffer(frame, 0);
  AVPacket* packet = av_packet_alloc();
  auto drain = [&] {
    while (avcodec_receive_packet(enc, packet) >= 0) {
      av_packet_rescale_ts(packet, enc->time_base, st->time_base);
      packet->stream_index = 0;
      av_interleaved_write_frame(out, packet);
    }
  };
  for (int f = 0; f < frames; ++f) {
    av_frame_make_writable(frame);
    for (int p = 0; p < 3; ++p)
      for (int y = 0; y < (p ? 24 : 48); ++y)
        std::memset(frame->data[p] + y * frame->linesize[p], (p ? 128 : 40 + 20 * f + y),
                    p ? 32 : 64);
    frame->pts = f;
    av_frame_remove_side_data(frame, AV_FRAME_DATA_A53_CC);
    const std::string cc = CaptionBytes(f);
    AVFrameSideData* sd = av_frame_new_side_data(frame, AV_FRAME_DATA_A53_CC, cc.size());
    std::memcpy(sd->data, cc.data(), cc.size());
    ASSERT_GE(avcodec_send_frame(enc, frame), 0);
    drain();
  }
  avcodec_send_frame(enc, nullptr);
  drain();
  av_write_trailer(out);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&enc);
  avio_closep(&out->pb);
  avformat_free_context(out);
}

// The A/53 caption bytes of each frame of `path`'s video, in presentation order.
std::vector<std::string> FrameCaptions(const std::string& path) {
  std::vector<std::string> captions;
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(in, nullptr) < 0) {
    ADD_FAILURE() << "cannot demux " << path;
    return captions;
  }
  const int video = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVCodecContext* dec = avcodec_alloc_context3(
      avcodec_find_decoder(in->streams[video]->codecpar->codec_id));
  avcodec_parameters_to_context(dec, in->streams[video]->codecpar);
  avcodec_open2(dec, dec->codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto receive = [&] {
    while (avcodec_receive_frame(dec, frame) >= 0) {
      const AVFrameSideData* sd = av_frame_get_side_data(frame, AV_FRAME_DATA_A53_CC);
      captions.push_back(sd ? std::string(reinterpret_cast<const char*>(sd->data), sd->size) : "");
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(in, packet) >= 0) {
    if (packet->stream_index == video) avcodec_send_packet(dec, packet);
    av_packet_unref(packet);
    receive();
  }
  avcodec_send_packet(dec, nullptr);
  receive();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&dec);
  avformat_close_input(&in);
  return captions;
}

TEST(BroadcastVideo, ClosedCaptionsInTheBitstreamReachEveryOutputOrAreSaidToBeLeftOut) {
  ScratchDir dir;
  WriteCaptionedH264(dir / "in.ts", 6);
  std::vector<std::string> expected;
  for (int f = 0; f < 6; ++f) expected.push_back(CaptionBytes(f));
  ASSERT_EQ(FrameCaptions(dir / "in.ts"), expected);
  for (const char* name : {"out.ts", "out.mp4", "out.mkv", "mpeg2.ts"}) {
    SCOPED_TRACE(name);
    std::vector<std::string> args = {dir / "in.ts", "-o", dir / name};
    if (std::string(name) == "mpeg2.ts") args.insert(args.end(), {"--codec", "mpeg2video"});
    const auto run = Fxaa(args);
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(FrameCaptions(dir / name), expected);
  }
  // x265 as this FFmpeg drives it writes no captions: the run says so.
  const auto run = Fxaa({dir / "in.ts", "-o", dir / "hevc.mkv", "--codec", "libx265"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(run.err, "fxaa: " + dir / "hevc.mkv" +
                         ": closed captions (A/53) left out: libx265 cannot carry them\n");
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
  const std::string in = VpxAlpha(dir, dir / "in.webm");
  ASSERT_EQ(in.size(), 4u * 64 * 48);
  const auto run = Fxaa({dir / "in.webm", "-o", dir / "out.webm", "--strength", "0"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string out = VpxAlpha(dir, dir / "out.webm");
  ASSERT_EQ(out.size(), in.size());
  // VP9 at CRF 16 moves an alpha value by a step or two; alpha lost would be 255 throughout, off
  // by 128 on average.
  double sum = 0;
  for (size_t i = 0; i < in.size(); ++i) sum += std::abs(int(uint8_t(out[i])) - int(uint8_t(in[i])));
  EXPECT_LT(sum / in.size(), 2.0);
  // MP4 holds no VP9 alpha: the picture goes, the alpha is said to be dropped, and no tag claims
  // it.
  const auto mp4 = Fxaa({dir / "in.webm", "-o", dir / "out.mp4"});
  ASSERT_EQ(mp4.status, kExitOk) << mp4.err;
  EXPECT_EQ(mp4.err, "fxaa: " + dir / "out.mp4" + ": alpha dropped: mp4 cannot hold the alpha of vp9\n");
  const auto probe = cli_test::RunProcess(
      dir, "ffprobe", {"-v", "error", "-show_entries", "stream_tags", dir / "out.mp4"});
  EXPECT_EQ(probe.out.find("alpha_mode"), std::string::npos) << probe.out;
}

// What ffprobe says of each frame of `path`'s video ("key_frame=1" ...).
std::string ProbeFrames(const ScratchDir& dir, const std::string& path, const std::string& entries) {
  return cli_test::RunProcess(dir, "ffprobe", {"-v", "error", "-select_streams", "v:0",
                                               "-show_entries", "frame=" + entries, "-of",
                                               "default=nw=1", path})
      .out;
}

int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

std::string ProbeStream(const ScratchDir& dir, const std::string& path, const std::string& entries) {
  return cli_test::RunProcess(dir, "ffprobe", {"-v", "error", "-select_streams", "v:0",
                                               "-show_entries", "stream=" + entries, "-of",
                                               "csv=p=0", path})
      .out;
}

// 1080p, the only size these profiles have at these rates; two frames, one where one shows it.
TEST(BroadcastVideo, IntraStreamsFromMxfStayDecodableIntraOnlyAndAtTheirRate) {
  ScratchDir dir;
  const std::vector<std::string> hd = {"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25",
                                       "-frames:v", "2"};
  std::vector<std::string> make = hd;
  make.insert(make.end(), {"-c:v", "libx264", "-pix_fmt", "yuv422p10le", "-profile:v", "high422",
                           "-x264-params", "keyint=1", "-b:v", "100M", dir / "avci.mxf"});
  Ffmpeg(dir, make);
  make = {"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25", "-frames:v", "1", "-c:v",
          "dnxhd", "-b:v", "120M", "-pix_fmt", "yuv422p", dir / "dnx.mxf"};
  Ffmpeg(dir, make);
  ASSERT_EQ(ProbeStream(dir, dir / "avci.mxf", "profile"), "High 4:2:2 Intra\n");
  // QuickTime: every frame decodes, and each is a key frame; Matroska keeps them key frames too.
  for (const char* name : {"avci.mov", "avci.mkv"}) {
    SCOPED_TRACE(name);
    const auto run = Fxaa({dir / "avci.mxf", "-o", dir / name});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    const auto decoded = cli_test::RunProcess(
        dir, "ffmpeg", {"-v", "error", "-i", dir / name, "-f", "framemd5", "-"});
    EXPECT_EQ(decoded.err, "");
    EXPECT_EQ(Count(decoded.out, "\n0,"), 2);  // frame lines: stream 0, then the times
    const std::string keys = ProbeFrames(dir, dir / name, "key_frame");
    EXPECT_EQ(Count(keys, "key_frame=1"), 2) << keys;
    EXPECT_EQ(ProbeStream(dir, dir / name, "profile"), "High 4:2:2 Intra\n");
  }
  // DNxHD 120 stays DNxHD at the same rate: MXF does not state it, the frames' size does.
  const auto run = Fxaa({dir / "dnx.mxf", "-o", dir / "dnx.mov"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ProbeStream(dir, dir / "dnx.mov", "profile,r_frame_rate"), "DNXHD,25/1\n");
  auto firstSize = [&](const std::string& path) {
    return cli_test::RunProcess(dir, "ffprobe", {"-v", "error", "-select_streams", "v:0",
                                                 "-read_intervals", "%+#1", "-show_entries",
                                                 "packet=size", "-of", "csv=p=0", path})
        .out;
  };
  EXPECT_EQ(firstSize(dir / "dnx.mov"), firstSize(dir / "dnx.mxf"));
}

TEST(BroadcastVideo, BottomFieldFirstH264IsSignalledBottomFirstThroughout) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=50,tinterlace=merge,setfield=bff",
               "-frames:v", "3", "-c:v", "libx264", "-flags", "+ildct+ilme", "-top", "0",
               "-x264-params", "bff=1", dir / "in.mp4"});
  ASSERT_EQ(ProbeStream(dir, dir / "in.mp4", "field_order"), "bb\n");
  // MP4 and a transport stream have no field order of their own: ffprobe reads it from the
  // bitstream's picture timing, which must agree with the fields' order counts (the frame flag).
  for (const char* name : {"out.mp4", "out.ts", "out.mkv"}) {
    SCOPED_TRACE(name);
    const auto run = Fxaa({dir / "in.mp4", "-o", dir / name});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    // (A transport stream's stream is listed again under its program.)
    EXPECT_EQ(ProbeStream(dir, dir / name, "field_order").substr(0, 3), "bb\n");
    const std::string frames = ProbeFrames(dir, dir / name, "interlaced_frame,top_field_first");
    EXPECT_EQ(Count(frames, "interlaced_frame=1"), 3) << frames;
    EXPECT_EQ(Count(frames, "top_field_first=0"), 3) << frames;
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
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;  // the first line, after "fxaa: " and the output's path
  };
  const std::vector<Case> cases = {
      // A font attachment into Matroska, as it was.
      {{"font.mkv", "-o", "font-out.mkv"}, kExitOk, ""},
      {{"font.mkv", "-o", "font-out.mp4"}, kExitFailed,
       ": mp4 cannot hold the attachment stream 1 (ttf), which is copied unchanged: use a "
       "container that can (.mkv), or leave it out (--unfit-streams leave-out)"},
      {{"font.mkv", "-o", "left.mp4", "--unfit-streams", "leave-out"}, kExitOk,
       ": attachment stream 1 (ttf) not carried over: mp4 cannot hold it"},
      // QuickTime's timecode track is rebuilt from the video's tag: nothing to say.
      {{"timecode.mov", "-o", "timecode-out.mov"}, kExitOk, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[2]);
    std::vector<std::string> args;
    for (const std::string& a : c.args)
      args.push_back(a[0] != '-' && a.find('.') != std::string::npos ? dir / a : a);
    const auto run = Fxaa(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
              c.says.empty() ? "" : "fxaa: " + dir / c.args[2] + c.says);
  }
  // ffmpeg writes the attachment, then fails for want of an output.
  cli_test::RunProcess(dir, "ffmpeg", {"-v", "error", "-dump_attachment:t:0",
                                       dir / "font-back.ttf", "-i", dir / "font-out.mkv"});
  EXPECT_EQ(cli_test::FileBytes(dir / "font-back.ttf"), cli_test::FileBytes(dir / "font.ttf"));
  const auto tracks = cli_test::RunProcess(
      dir, "ffprobe", {"-v", "error", "-show_entries", "stream=codec_tag_string", "-of",
                       "csv=p=0", dir / "timecode-out.mov"});
  EXPECT_EQ(tracks.out, "avc1\ntmcd\n");
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
  const auto stdinRun = Fxaa({"-", "-o", dir / "out.mkv"});
  EXPECT_EQ(stdinRun.status, kExitUsage);
  EXPECT_NE(stdinRun.err.find("-: standard input is not read"), std::string::npos) << stdinRun.err;
  EXPECT_TRUE(dir.Files() == std::vector<std::string>{"in.fifo"});
}

TEST(BroadcastVideo, ATransportStreamKeepsItsServicePidsAndNames) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i",
               "sine=sample_rate=48000", "-t", "0.4", "-c:v", "libx264", "-c:a", "mp2",
               "-mpegts_service_id", "0x1234", "-mpegts_pmt_start_pid", "0x1500", "-streamid",
               "0:0x101", "-streamid", "1:0x102", "-metadata", "service_name=Channel Nine",
               "-metadata", "service_provider=Corvella TV", dir / "in.ts"});
  auto services = [&](const std::string& path) {
    return cli_test::RunProcess(dir, "ffprobe",
                                {"-v", "error", "-show_entries",
                                 "program=program_id,pmt_pid:program_tags:stream=id", "-of",
                                 "default=nw=1", path})
        .out;
  };
  const std::string in = services(dir / "in.ts");
  ASSERT_NE(in.find("program_id=4660"), std::string::npos) << in;
  ASSERT_NE(in.find("service_name=Channel Nine"), std::string::npos) << in;
  const auto run = Fxaa({dir / "in.ts", "-o", dir / "out.ts"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(services(dir / "out.ts"), in);
}

}  // namespace
