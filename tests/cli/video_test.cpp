// Video through the tool: a re-encoded video keeps its frames, times, colour tags, rotation,
// metadata, depth and alpha, and its other streams bit for bit; lossless video gives the pixels
// of the PNG path; damaged input fails cleanly. The media are made with Debian's ffmpeg command
// and the results read back with the libraries or ffmpeg, not with the tool's own reader.
#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include "cli/libav/libav.h"
#include "cli_test_util.h"

namespace {

using namespace fxaa_cli;
using cli_test::Ffmpeg;
using cli_test::Fxaa;
using cli_test::ScratchDir;

struct PacketRecord {
  int64_t pts, dts, duration;
  std::string data;
  int64_t pos = -1;  // in the file, where the demuxer says
  bool operator==(const PacketRecord& o) const {
    return pts == o.pts && dts == o.dts && duration == o.duration && data == o.data;
  }
};

struct StreamRecord {
  AVMediaType type;
  AVRational timeBase;
  AVColorPrimaries primaries;
  AVColorTransferCharacteristic transfer;
  AVColorSpace matrix;
  AVColorRange range;
  int format, profile;
  double rotation = 0;
  std::map<std::string, std::string> metadata;
  std::vector<PacketRecord> packets;
  int id = 0;  // a transport stream's PID
  AVFieldOrder fieldOrder = AV_FIELD_UNKNOWN;
};

struct FileRecord {
  std::map<std::string, std::string> metadata;
  std::vector<StreamRecord> streams;
};

std::map<std::string, std::string> Tags(const AVDictionary* dict) {
  std::map<std::string, std::string> tags;
  for (const AVDictionaryEntry* e = nullptr; (e = av_dict_get(dict, "", e, AV_DICT_IGNORE_SUFFIX));)
    tags[e->key] = e->value;
  return tags;
}

// Every stream's parameters and packets, as the demuxer gives them.
FileRecord Demux(const std::string& path) {
  FileRecord file;
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(input, nullptr) < 0) {
    ADD_FAILURE() << "cannot demux " << path;
    avformat_close_input(&input);
    return file;
  }
  file.metadata = Tags(input->metadata);
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVStream* st = input->streams[i];
    const AVCodecParameters* p = st->codecpar;
    StreamRecord s{p->codec_type, st->time_base, p->color_primaries, p->color_trc,
                   p->color_space, p->color_range, p->format, p->profile, 0, {}, {}};
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 31, 100)  // FFmpeg 6.1's place for it
    const AVPacketSideData* sd = av_packet_side_data_get(p->coded_side_data,
                                                         p->nb_coded_side_data,
                                                         AV_PKT_DATA_DISPLAYMATRIX);
    const uint8_t* m = sd != nullptr ? sd->data : nullptr;
#else
    const uint8_t* m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
#endif
    if (m != nullptr) s.rotation = av_display_rotation_get(reinterpret_cast<const int32_t*>(m));
    s.metadata = Tags(st->metadata);
    s.id = st->id;
    s.fieldOrder = p->field_order;
    file.streams.push_back(s);
  }
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(input, packet) >= 0) {
    file.streams[packet->stream_index].packets.push_back(
        {packet->pts, packet->dts, packet->duration,
         std::string(reinterpret_cast<const char*>(packet->data), packet->size), packet->pos});
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&input);
  return file;
}

// Copies `from` into `to` packet for packet, the first stream turned by `degrees` on display:
// the ffmpeg command of Debian 12 has no option for that.
void RemuxRotated(const std::string& from, const std::string& to, double degrees) {
  AVFormatContext *in = nullptr, *out = nullptr;
  ASSERT_GE(avformat_open_input(&in, from.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(in, nullptr), 0);
  ASSERT_GE(avformat_alloc_output_context2(&out, nullptr, nullptr, to.c_str()), 0);
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    AVStream* st = avformat_new_stream(out, nullptr);
    avcodec_parameters_copy(st->codecpar, in->streams[i]->codecpar);
    st->codecpar->codec_tag = 0;
    st->time_base = in->streams[i]->time_base;
    av_dict_copy(&st->metadata, in->streams[i]->metadata, 0);
  }
  av_dict_copy(&out->metadata, in->metadata, 0);
  int32_t matrix[9];
  av_display_rotation_set(matrix, degrees);
  libav::AddStreamSideData(out->streams[0], AV_PKT_DATA_DISPLAYMATRIX,
                           reinterpret_cast<const uint8_t*>(matrix), sizeof(matrix));
  ASSERT_GE(avio_open(&out->pb, to.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(avformat_write_header(out, nullptr), 0);
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(in, packet) >= 0) {
    av_packet_rescale_ts(packet, in->streams[packet->stream_index]->time_base,
                         out->streams[packet->stream_index]->time_base);
    av_interleaved_write_frame(out, packet);
  }
  av_write_trailer(out);
  av_packet_free(&packet);
  avio_closep(&out->pb);
  avformat_free_context(out);
  avformat_close_input(&in);
}

TEST(VideoThroughTheTool, AnH264AacMp4KeepsFramesTimesTagsRotationMetadataAndAudio) {
  ScratchDir dir;
  // Variable frame rate: frames 7 to 9 come later and 10 to 12 later still. The colour tags on
  // the frames too: FFmpeg 7 takes them from the frames, not from the encoder's options.
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i",
               "sine=frequency=440:sample_rate=48000", "-vf",
               "setpts='N+if(gt(N,5),7,0)+if(gt(N,8),3,0)',"
               "setparams=color_primaries=bt709:color_trc=bt709:colorspace=bt709:range=tv",
               "-fps_mode", "passthrough",
               "-frames:v", "12", "-t", "1", "-c:v", "libx264", "-pix_fmt", "yuv420p",
               "-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709",
               "-color_range", "tv", "-c:a", "aac", "-metadata", "title=Edge study",
               "-metadata:s:a:0", "language=fra", dir / "plain.mp4"});
  RemuxRotated(dir / "plain.mp4", dir / "in.mp4", 90);
  const auto run = Fxaa({dir / "in.mp4", "-o", dir / "out.mp4", "-j", "3"});
  ASSERT_EQ(run.status, kExitOk) << run.err;

  const FileRecord in = Demux(dir / "in.mp4"), out = Demux(dir / "out.mp4");
  ASSERT_EQ(in.streams.size(), 2u);
  ASSERT_EQ(out.streams.size(), 2u);
  EXPECT_EQ(out.metadata.at("title"), "Edge study");
  const StreamRecord &vin = in.streams[0], &vout = out.streams[0];
  EXPECT_EQ(vout.type, AVMEDIA_TYPE_VIDEO);
  ASSERT_EQ(vout.packets.size(), 12u);
  ASSERT_EQ(av_cmp_q(vout.timeBase, vin.timeBase), 0);
  std::vector<int64_t> ptsIn, ptsOut;
  for (const PacketRecord& p : vin.packets) ptsIn.push_back(p.pts);
  for (const PacketRecord& p : vout.packets) ptsOut.push_back(p.pts);
  std::sort(ptsIn.begin(), ptsIn.end());
  std::sort(ptsOut.begin(), ptsOut.end());
  EXPECT_EQ(ptsOut, ptsIn);
  EXPECT_EQ(vout.primaries, AVCOL_PRI_BT709);
  EXPECT_EQ(vout.transfer, AVCOL_TRC_BT709);
  EXPECT_EQ(vout.matrix, AVCOL_SPC_BT709);
  EXPECT_EQ(vout.range, AVCOL_RANGE_MPEG);
  EXPECT_EQ(vout.format, AV_PIX_FMT_YUV420P);
  EXPECT_DOUBLE_EQ(vout.rotation, vin.rotation);
  EXPECT_NE(vin.rotation, 0.0);
  // The picture was re-encoded, not copied.
  EXPECT_NE(vout.packets[1].data, vin.packets[1].data);

  const StreamRecord &ain = in.streams[1], &aout = out.streams[1];
  EXPECT_EQ(aout.metadata.at("language"), "fra");
  ASSERT_EQ(av_cmp_q(aout.timeBase, ain.timeBase), 0);
  ASSERT_FALSE(ain.packets.empty());
  EXPECT_TRUE(aout.packets == ain.packets);
}

struct LosslessCase {
  const char* name;
  std::vector<std::string> makeInput;  // ffmpeg arguments after the frames; empty: the frames
  const char* input;
  const char* output;
  std::vector<std::string> options;
};

std::ostream& operator<<(std::ostream& out, const LosslessCase& c) { return out << c.name; }

class LosslessVideo : public ::testing::TestWithParam<LosslessCase> {};

TEST_P(LosslessVideo, GivesThePixelsOfThePngPathFrameByFrame) {
  const LosslessCase& c = GetParam();
  ScratchDir dir;
  // Three different frames, so that a frame out of order shows.
  for (int f = 1; f <= 3; ++f)
    WriteImage(cli_test::MakeImage(64, 48, ChannelLayout::kRGB, SampleType::kUInt8, f),
               dir / ("f" + std::to_string(f) + ".png"));
  auto png = Fxaa({dir / "f%d.png", "-o", dir / "png%d.png"});
  ASSERT_EQ(png.status, kExitOk) << png.err;
  if (!c.makeInput.empty()) {
    std::vector<std::string> args = {"-framerate", "25", "-i", dir / "f%d.png"};
    args.insert(args.end(), c.makeInput.begin(), c.makeInput.end());
    args.push_back(dir / c.input);
    Ffmpeg(dir, args);
  }
  std::vector<std::string> args = {dir / c.input, "-o", dir / c.output, "-j", "3"};
  args.insert(args.end(), c.options.begin(), c.options.end());
  const auto run = Fxaa(args);
  ASSERT_EQ(run.status, kExitOk) << run.err;

  std::string frames = dir / c.output;
  if (frames.find('%') == std::string::npos) {
    Ffmpeg(dir, {"-i", frames, dir / "decoded%d.png"});
    frames = dir / "decoded%d.png";
  }
  for (int f = 1; f <= 3; ++f) {
    char name[512];
    std::snprintf(name, sizeof(name), frames.c_str(), f);
    EXPECT_TRUE(cli_test::SamePixels(ReadImage(name), ReadImage(dir / ("png" + std::to_string(f) + ".png"))))
        << "frame " << f;
  }
}

INSTANTIATE_TEST_SUITE_P(
    RgbVideo, LosslessVideo,
    ::testing::Values(
        LosslessCase{"ffv1", {"-c:v", "ffv1"}, "in.mkv", "out.mkv", {}},
        LosslessCase{"x264rgb_qp0", {"-c:v", "libx264rgb", "-qp", "0"}, "in.mkv", "out.mkv",
                     {"--crf", "0"}},
        LosslessCase{"frames_into_video", {}, "f%d.png", "out.mkv", {"--codec", "ffv1"}},
        LosslessCase{"video_into_frames", {"-c:v", "ffv1"}, "in.mkv", "out%d.png", {}}),
    [](const ::testing::TestParamInfo<LosslessCase>& info) { return info.param.name; });

// The frames of `path` as raw planes of `format`.
std::vector<uint16_t> Planes(const ScratchDir& dir, const std::string& path, const char* format) {
  const std::string raw = Ffmpeg(dir, {"-i", path, "-f", "rawvideo", "-pix_fmt", format, "-"});
  std::vector<uint16_t> words(raw.size() / 2);
  std::memcpy(words.data(), raw.data(), words.size() * 2);
  return words;
}

TEST(VideoThroughTheTool, ATenBitSourceStaysTenBit) {
  ScratchDir dir;
  // Luma in every 10-bit step of the legal range, so that a pass through 8 bits would show.
  Ffmpeg(dir, {"-f", "lavfi", "-i", "nullsrc=size=64x48:rate=25,format=yuv420p10le,"
               "geq=lum='64+mod(X*13+Y*29+N*7\\,876)':cb=512:cr=512",
               "-frames:v", "4", "-c:v", "ffv1", dir / "in.mkv"});
  const auto run = Fxaa({dir / "in.mkv", "-o", dir / "out.mkv", "--strength", "0"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  const StreamRecord video = Demux(dir / "out.mkv").streams.at(0);
  EXPECT_EQ(video.format, AV_PIX_FMT_YUV420P10LE);
  EXPECT_EQ(video.fieldOrder, AV_FIELD_PROGRESSIVE);

  const std::vector<uint16_t> in = Planes(dir, dir / "in.mkv", "gray10le");
  const std::vector<uint16_t> out = Planes(dir, dir / "out.mkv", "gray10le");
  ASSERT_EQ(out.size(), in.size());
  // Through RGB in 16-bit words and back, luma comes out within one 10-bit step, mostly exact;
  // through 8 bits a step of 8-bit RGB is 3.4 steps of 10-bit luma, off by 0.86 on average.
  double sum = 0;
  int worst = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    const int d = std::abs(int(out[i]) - int(in[i]));
    sum += d;
    worst = std::max(worst, d);
  }
  EXPECT_LE(worst, 1);
  EXPECT_LT(sum / in.size(), 0.3);
}

// The first frame's flags as ffprobe gives them: "1,1," is interlaced, top field first.
std::string FirstFrameFields(const ScratchDir& dir, const std::string& path) {
  return cli_test::RunProcess(dir, "ffprobe", {"-v", "error", "-select_streams", "v:0",
                                               "-read_intervals", "%+#1", "-show_entries",
                                               "frame=interlaced_frame,top_field_first", "-of",
                                               "csv=p=0", path})
      .out;
}

TEST(VideoThroughTheTool, InterlacedVideoIsRenderedFieldByFieldAndStaysInterlaced) {
  ScratchDir dir;
  // Each frame woven from two pictures of different colours and edges, a field each, as a camera
  // takes them half a frame apart; converted to 4:2:0 before the weave, so that each field's
  // chroma is its own.
  const std::string woven =
      "nullsrc=size=64x24:rate=50,format=rgb24,"
      "geq=r='if(mod(N\\,2)\\,30\\,200)+20*gt(X\\,Y*2+N)':"
      "g='if(mod(N\\,2)\\,60\\,40)+150*gt(X\\,Y*2+N)':b='if(mod(N\\,2)\\,210\\,30)',"
      "format=yuv420p,tinterlace=merge";
  const struct {
    const char* name;
    std::vector<std::string> encode;
  } cases[] = {{"h264.mkv", {"-c:v", "libx264", "-qp", "0"}},
               {"mpeg2.ts", {"-c:v", "mpeg2video", "-q:v", "2"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> make = {"-f", "lavfi", "-i", woven, "-frames:v", "3"};
    make.insert(make.end(), c.encode.begin(), c.encode.end());
    const std::string coded = dir / ("coded." + std::string(c.name));
    make.insert(make.end(), {"-flags", "+ildct+ilme", "-top", "1", coded});
    Ffmpeg(dir, make);
    // Tagged top field first, coded and shown so: FFmpeg 7 tags ffmpeg's own interlaced output
    // as top coded first, bottom shown first.
    Ffmpeg(dir, {"-i", coded, "-c", "copy", "-field_order", "tt", dir / c.name});
    const std::string out = dir / ("out." + std::string(c.name));
    ASSERT_EQ(Fxaa({dir / c.name, "-o", out}).status, kExitOk);
    EXPECT_EQ(Demux(dir / c.name).streams.at(0).fieldOrder, AV_FIELD_TT);
    EXPECT_EQ(Demux(out).streams.at(0).fieldOrder, AV_FIELD_TT);
    EXPECT_EQ(FirstFrameFields(dir, out), FirstFrameFields(dir, dir / c.name));
    EXPECT_EQ(FirstFrameFields(dir, out).substr(0, 4), "1,1,");
    for (const char* field : {"top", "bottom"}) {
      SCOPED_TRACE(field);
      // The field as a picture of its own through the tool, against the output's field.
      const std::string pick = std::string("field=") + field;
      Ffmpeg(dir, {"-i", dir / c.name, "-vf", pick, "-pix_fmt", "rgb24", dir / "field%d.png"});
      ASSERT_EQ(Fxaa({dir / "field%d.png", "-o", dir / "alone%d.png"}).status, kExitOk);
      const std::string alone = Ffmpeg(
          dir, {"-i", dir / "alone%d.png", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
      const std::string got =
          Ffmpeg(dir, {"-i", out, "-vf", pick, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
      ASSERT_EQ(got.size(), alone.size());
      // The output's 4:2:0 again, and MPEG-2's quantiser, move values by about one step on
      // average; two fields blended move them by some 30, their colours being far apart.
      double sum = 0;
      for (size_t i = 0; i < got.size(); ++i)
        sum += std::abs(int(uint8_t(got[i])) - int(uint8_t(alone[i])));
      EXPECT_LT(sum / got.size(), 3.0);
    }
  }
}

// The mean squared difference of the chroma planes of two 4:2:0 8-bit videos of `width` x
// `height`.
double ChromaError(const ScratchDir& dir, const std::string& a, const std::string& b, int width,
                   int height) {
  const std::string x = Ffmpeg(dir, {"-i", a, "-f", "rawvideo", "-pix_fmt", "yuv420p", "-"});
  const std::string y = Ffmpeg(dir, {"-i", b, "-f", "rawvideo", "-pix_fmt", "yuv420p", "-"});
  const size_t luma = size_t(width) * height, frame = luma * 3 / 2;
  double squares = 0;
  for (size_t i = 0; i < std::min(x.size(), y.size()); ++i)
    if (i % frame >= luma) squares += std::pow(double(uint8_t(x[i])) - uint8_t(y[i]), 2);
  return squares / double(x.size() / 3);
}

TEST(VideoThroughTheTool, ChromaComesBackAtLeastAsWellAsThroughSwscalesAccurateRoundTrip) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=128x96:rate=25", "-frames:v", "2",
               "-pix_fmt", "yuv420p", "-c:v", "ffv1", dir / "in.mkv"});
  ASSERT_EQ(Fxaa({dir / "in.mkv", "-o", dir / "out.mkv", "--strength", "0"}).status, kExitOk);
  const std::string accurate = "scale=flags=accurate_rnd+full_chroma_int";
  Ffmpeg(dir, {"-i", dir / "in.mkv", "-vf",
               accurate + ",format=rgb24," + accurate + ",format=yuv420p", "-c:v", "ffv1",
               dir / "swscale.mkv"});
  EXPECT_LE(ChromaError(dir, dir / "in.mkv", dir / "out.mkv", 128, 96),
            ChromaError(dir, dir / "in.mkv", dir / "swscale.mkv", 128, 96));
}

TEST(VideoThroughTheTool, ProRes4444KeepsItsAlpha) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=24,format=yuva444p10le,"
               "geq=lum='lum(X,Y)':cb='cb(X,Y)':cr='cr(X,Y)':a='mod(X*16+Y*5\\,1024)'",
               "-frames:v", "4", "-c:v", "prores_ks", "-profile:v", "4444", dir / "in.mov"});
  const auto run = Fxaa({dir / "in.mov", "-o", dir / "out.mov", "--strength", "0"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  const StreamRecord video = Demux(dir / "out.mov").streams.at(0);
  EXPECT_EQ(video.profile, FF_PROFILE_PRORES_4444);
  EXPECT_EQ(video.fieldOrder, AV_FIELD_PROGRESSIVE);

  const std::vector<uint16_t> in = Planes(dir, dir / "in.mov", "yuva444p12le");
  const std::vector<uint16_t> out = Planes(dir, dir / "out.mov", "yuva444p12le");
  ASSERT_EQ(out.size(), in.size());
  // The alpha plane, last of each frame's four. The decoder gives 12-bit alpha whose low bits
  // repeat the high ones, prores_ks takes 10-bit: scaling down by a rounded shift may move a value
  // one 10-bit step (4 at 12 bits) plus the repeated bit. A lost alpha would be off by thousands.
  const size_t plane = 64 * 48;
  for (size_t frame = 0; frame < in.size() / (4 * plane); ++frame)
    for (size_t i = 0; i < plane; ++i) {
      const size_t at = frame * 4 * plane + 3 * plane + i;
      ASSERT_LE(std::abs(int(out[at]) - int(in[at])), 5) << "frame " << frame << " pixel " << i;
    }
}

// What ffprobe says of `path`'s video: its first frame's side data (`frame`), else the stream's.
std::string Probe(const ScratchDir& dir, const std::string& path, bool frame) {
  const cli_test::Process p = cli_test::RunProcess(
      dir, "ffprobe",
      {"-v", "error", "-select_streams", "v:0", frame ? "-show_frames" : "-show_streams",
       "-read_intervals", "%+#1", "-show_entries",
       frame ? "frame=side_data_list" : "stream=side_data_list", path});
  EXPECT_EQ(p.status, 0) << p.err;
  return p.out;
}

TEST(VideoThroughTheTool, Hdr10MetadataReachesTheEncoderAndTheContainer) {
  ScratchDir dir;
  // As x265 writes HDR10: the metadata in the bitstream's SEI only, on every key frame. SVT-AV1
  // takes frames of 64 lines and more.
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=96x64:rate=25", "-frames:v", "3", "-pix_fmt",
               "yuv420p10le", "-c:v", "libx265", "-x265-params",
               "log-level=error:hdr10=1:master-display=G(13250,34500)B(7500,3000)R(34000,16000)"
               "WP(15635,16450)L(10000000,1):max-cll=1000,400",
               "-color_primaries", "bt2020", "-color_trc", "smpte2084", "-colorspace", "bt2020nc",
               "-vf", "setparams=color_primaries=bt2020:color_trc=smpte2084:colorspace=bt2020nc",
               dir / "in.mkv"});
  Ffmpeg(dir, {"-i", dir / "in.mkv", "-c", "copy", dir / "in.mp4"});
  const std::vector<std::string> mastering = {"green_x=13250/50000", "white_point_y=16450/50000",
                                              "max_luminance=10000000/10000", "max_content=1000",
                                              "max_average=400"};
  ASSERT_EQ(Probe(dir, dir / "in.mkv", false).find("Mastering"), std::string::npos);
  const struct {
    const char* input;
    const char* output;
    const char* codec;
    bool inBitstream;  // the encoder takes the metadata, which its frames then carry
  } cases[] = {{"in.mkv", "out.mkv", "", true},
               {"in.mp4", "out.mp4", "", true},
               {"in.mkv", "av1.mkv", "libsvtav1", true},
               {"in.mkv", "vp9.webm", "libvpx-vp9", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    std::vector<std::string> args = {dir / c.input, "-o", dir / c.output};
    if (*c.codec) args.insert(args.end(), {"--codec", c.codec});
    const auto run = Fxaa(args);
    ASSERT_EQ(run.status, kExitOk) << run.err;
    // Progressive, as the input is tagged.
    EXPECT_EQ(Demux(dir / c.output).streams.at(0).fieldOrder, AV_FIELD_PROGRESSIVE);
    const std::string stream = Probe(dir, dir / c.output, false);
    EXPECT_NE(stream.find("side_data_type=Mastering display metadata"), std::string::npos)
        << stream;
    EXPECT_NE(stream.find("max_content=1000"), std::string::npos) << stream;
    // The frames of the bitstream alone: FFmpeg 7's decoders add the container's metadata.
    const std::string bitstream = dir / (std::string(c.output) + (*c.codec ? ".ivf" : ".hevc"));
    Ffmpeg(dir, {"-i", dir / c.output, "-map", "0:v", "-c", "copy", bitstream});
    const std::string frame = Probe(dir, bitstream, true);
    EXPECT_EQ(frame.find("side_data_type=Mastering display metadata") != std::string::npos,
              c.inBitstream) << frame;
    if (std::string(c.codec).empty()) {  // x265: exactly the input's values
      for (const std::string& value : mastering)
        EXPECT_NE(frame.find(value), std::string::npos) << value << "\n" << frame;
    }
  }
}

TEST(VideoThroughTheTool, DnxhdAndDnxhrKeepTheirProfileAtARateTheEncoderTakes) {
  ScratchDir dir;
  const struct {
    const char* size;
    std::vector<std::string> encode;
    const char* format;
  } cases[] = {
      // DNxHD takes a few rates for each size; the input's measured rate is none of them.
      {"1920x1080", {"-b:v", "120M"}, "yuv422p"},
      {"320x180", {"-profile:v", "dnxhr_hq"}, "yuv422p"},
      {"320x180", {"-profile:v", "dnxhr_hqx"}, "yuv422p10le"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size + std::string(" ") + c.format);
    const std::string name = dir / (c.size + std::string(c.format) + ".mov");
    std::vector<std::string> make = {"-f", "lavfi", "-i",
                                     "testsrc2=rate=25:size=" + std::string(c.size),
                                     "-frames:v", "2", "-c:v", "dnxhd", "-pix_fmt", c.format};
    make.insert(make.end(), c.encode.begin(), c.encode.end());
    make.push_back(name);
    Ffmpeg(dir, make);
    const auto run = Fxaa({name, "-o", dir / "out.mov"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.err, "");
    const StreamRecord in = Demux(name).streams.at(0);
    const StreamRecord out = Demux(dir / "out.mov").streams.at(0);
    EXPECT_EQ(out.profile, in.profile);
    EXPECT_EQ(out.format, in.format);
    // DNxHD frames have the size of their profile and rate: the same frames, the same rate.
    EXPECT_EQ(out.packets.at(0).data.size(), in.packets.at(0).data.size());
  }
  // A size of its own goes from DNxHD to DNxHR, which takes any size from 256 x 120; below that
  // nothing is rendered, and the encoder's reason is told.
  const std::string hdIn = dir / "1920x1080yuv422p.mov";
  const auto hd = Fxaa({hdIn, "-o", dir / "hd_reduced.mov", "--downsample", "3"});
  EXPECT_EQ(hd.status, kExitOk) << hd.err;
  EXPECT_EQ(hd.err, "fxaa: " + dir / "hd_reduced.mov" +
                        ": DNxHD takes no 640 x 360 yuv422p frames: encoded as DNxHR HQ\n");
  EXPECT_EQ(Demux(dir / "hd_reduced.mov").streams.at(0).profile, FF_PROFILE_DNXHR_HQ);
  const auto small = Fxaa({hdIn, "-o", dir / "small.mov", "--downsample", "16"});
  EXPECT_EQ(small.status, kExitFailed);
  EXPECT_EQ(small.err, "fxaa: " + dir / "small.mov" +
                           ": cannot open the dnxhd encoder for 120 x 68 yuv422p: Invalid "
                           "argument (Input dimensions too small, input must be at least "
                           "256x120)\n");
  EXPECT_FALSE(cli_test::fs::exists(dir / "small.mov"));
}

TEST(VideoThroughTheTool, ADownsampledSizeTheFormatCannotHoldIsCroppedWithANote) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-frames:v", "2", "-c:v",
               "libx264", "-pix_fmt", "yuv420p", dir / "in.mp4"});
  const auto run = Fxaa({dir / "in.mp4", "-o", dir / "out.mp4", "--downsample", "8"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(run.err, "fxaa: " + dir / "out.mp4" +
                         ": 20 x 15 frames cropped to 20 x 14: yuv420p takes widths divisible by "
                         "2 and heights by 2\n");
  const std::string raw =
      Ffmpeg(dir, {"-i", dir / "out.mp4", "-f", "rawvideo", "-pix_fmt", "gray", "-"});
  EXPECT_EQ(raw.size(), 2u * 20 * 14);
}

TEST(VideoThroughTheTool, Mpeg2SignalsABufferItsFramesFit) {
  ScratchDir dir;
  // ffmpeg's own MPEG-2 at a fine quantiser signals a buffer of 49152 bits, a twentieth of its
  // key frames.
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=352x288:rate=25", "-frames:v", "4", "-c:v",
               "mpeg2video", "-q:v", "2", dir / "in.mkv"});
  ASSERT_EQ(Fxaa({dir / "in.mkv", "-o", dir / "out.mkv"}).status, kExitOk);
  const std::string stream = Probe(dir, dir / "out.mkv", false);
  const size_t at = stream.find("buffer_size=");
  ASSERT_NE(at, std::string::npos) << stream;
  const long long buffer = std::stoll(stream.substr(at + 12));
  size_t largest = 0;
  const FileRecord out = Demux(dir / "out.mkv");
  for (const PacketRecord& p : out.streams.at(0).packets)
    largest = std::max(largest, p.data.size());
  EXPECT_GE(buffer, 8 * static_cast<long long>(largest));
}

TEST(VideoThroughTheTool, CrfZeroIsLosslessAtTenBits) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "2", "-pix_fmt",
               "yuv420p10le", "-c:v", "ffv1", dir / "in.mkv"});
  // FFV1 is lossless: what it holds is what any lossless encoder must give back.
  ASSERT_EQ(Fxaa({dir / "in.mkv", "-o", dir / "ffv1.mkv"}).status, kExitOk);
  const std::vector<uint16_t> expected = Planes(dir, dir / "ffv1.mkv", "yuv420p10le");
  for (const char* codec : {"libx264", "libx265", "libvpx-vp9"}) {
    SCOPED_TRACE(codec);
    const std::string out = dir / (std::string(codec) + ".mkv");
    ASSERT_EQ(Fxaa({dir / "in.mkv", "-o", out, "--codec", codec, "--crf", "0"}).status, kExitOk);
    EXPECT_EQ(Planes(dir, out, "yuv420p10le"), expected);
  }
}

enum class Damage { kCutInHalf, kLastPacketCutOff, kBytesFlippedHalfway };

struct DamageCase {
  const char* name;
  const char* file;
  std::vector<std::string> encode;  // ffmpeg's output options
  Damage damage;
  const char* says;
};

std::ostream& operator<<(std::ostream& out, const DamageCase& c) { return out << c.name; }

class DamagedVideo : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedVideo, FailsWithOneLineNamingItAndLeavesNothing) {
  const DamageCase& c = GetParam();
  ScratchDir dir;
  std::vector<std::string> make = {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25",
                                   "-frames:v", "6"};
  make.insert(make.end(), c.encode.begin(), c.encode.end());
  make.push_back(dir / "good");
  Ffmpeg(dir, make);
  std::vector<char> bytes = cli_test::FileBytes(dir / "good");
  if (c.damage == Damage::kCutInHalf)
    bytes.resize(bytes.size() / 2);
  else if (c.damage == Damage::kLastPacketCutOff)  // the last packet ends the file
    bytes.resize(bytes.size() - Demux(dir / "good").streams.at(0).packets.back().data.size());
  else
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i) bytes[i] ^= 0x5A;
  std::filesystem::remove(dir / "good");
  cli_test::WriteBytes(dir / c.file, bytes);

  const auto run = Fxaa({dir / c.file, "-o", dir / "out.mkv"});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_NE(run.err.find(dir / c.file + ": " + c.says), std::string::npos) << run.err;
  EXPECT_EQ(dir.Files(), std::vector<std::string>{c.file});  // no output, no temporary file
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedVideo,
    ::testing::Values(
        // The index of an MP4 is at its end: nothing can be read.
        DamageCase{"cut_short", "cut.mp4", {"-c:v", "libx264", "-f", "mp4"},
                   Damage::kCutInHalf, "cannot read as a video"},
        // With the index first, the demuxer ends early as if the file were whole.
        DamageCase{"cut_short_index_first", "cut.mp4",
                   {"-c:v", "libx264", "-movflags", "+faststart", "-f", "mp4"},
                   Damage::kLastPacketCutOff, "damaged or cut short after frame"},
        // FFV1 with slice checksums: its decoder conceals the damage and says so in its log.
        DamageCase{"slice_checksum", "bad.mkv",
                   {"-c:v", "ffv1", "-level", "3", "-slicecrc", "1", "-f", "matroska"},
                   Damage::kBytesFlippedHalfway, "frame 3 (0.080 s): damaged"}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.name; });

TEST(VideoThroughTheTool, RefusesOutputsThatCannotTakeAVideosFramesBeforeReadingIt) {
  ScratchDir dir;
  cli_test::WriteBytes(dir / "in.mp4", {'n', 'o', 't', ' ', 'r', 'e', 'a', 'd'});
  WriteImage(cli_test::MakeImage(8, 8, ChannelLayout::kRGB, SampleType::kUInt8), dir / "a.png");
  const std::vector<std::vector<std::string>> refused = {
      {dir / "in.mp4", "-o", dir / "one.png"},              // many frames, one file
      {dir / "in.mp4", "-o", dir / "out/"},                 // a folder has no names for them
      {dir / "in.mp4", "-o", dir / "out.%03d.mp4"},         // a video per frame
      {dir / "a.png", dir / "in.mp4", "-o", dir / "out/"},  // a video among other inputs
      {dir / "in.mp4", "-o", dir / "in.mp4"},
      {dir / "in.mp4", "-o", dir / "out.mp4", "--codec", "no-such-encoder"},
      {dir / "in.mp4", "--frames", "1-9x2", "-o", dir / "out.mp4"},  // a part has no gaps
      {dir / "in.mp4", "--frames", "1-3,5", "-o", dir / "out.mkv"},
      {dir / "in.mp4", "--frames", "0-5", "-o", dir / "out.%03d.png"},  // numbered from 1
  };
  for (const auto& args : refused) {
    const auto run = Fxaa(args);
    EXPECT_EQ(run.status, kExitUsage) << args.back() << ": " << run.err;
  }
}

// The packets of one stream, by presentation time: a re-encoded video orders its packets in its
// own way.
std::vector<int64_t> SortedTimes(const StreamRecord& stream) {
  std::vector<int64_t> times;
  for (const PacketRecord& p : stream.packets) times.push_back(p.pts);
  std::sort(times.begin(), times.end());
  return times;
}

TEST(VideoThroughTheTool, TransportStreamsKeepTheirFramesTimesAndAudioPackets) {
  ScratchDir dir;
  // H.264 as camcorders write it, MPEG-2 as broadcasts do (its encoder takes only its standard
  // frame rates as time base); plain 188-byte packets, and Blu-ray's 192-byte packets with their
  // arrival times in front.
  const std::pair<const char*, const char*> cases[] = {
      {"libx264", "out.ts"}, {"libx264", "out.m2ts"}, {"mpeg2video", "out.ts"}};
  for (const auto& [codec, name] : cases) {
    SCOPED_TRACE(std::string(codec) + " " + name);
    Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i",
                 "sine=frequency=440:sample_rate=48000", "-t", "1", "-c:v", codec, "-pix_fmt",
                 "yuv420p", "-c:a", "mp2", dir / "in.ts"});
    const FileRecord in = Demux(dir / "in.ts");
    ASSERT_EQ(in.streams.size(), 2u);
    ASSERT_EQ(in.streams[0].packets.size(), 25u);
    const auto run = Fxaa({dir / "in.ts", "-o", dir / name});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.err, "");  // the same codec: nothing to tell
    const FileRecord out = Demux(dir / name);
    ASSERT_EQ(out.streams.size(), 2u);
    EXPECT_EQ(SortedTimes(out.streams[0]), SortedTimes(in.streams[0]));
    const std::vector<PacketRecord>&ain = in.streams[1].packets, &aout = out.streams[1].packets;
    ASSERT_EQ(aout.size(), ain.size());
    for (size_t i = 0; i < ain.size(); ++i) {
      EXPECT_EQ(aout[i].pts, ain[i].pts) << i;
      EXPECT_TRUE(aout[i].data == ain[i].data) << i;
    }
    const std::vector<char> bytes = cli_test::FileBytes(dir / name);
    const size_t stride = std::string(name) == "out.ts" ? 188 : 192, sync = stride - 188;
    ASSERT_GT(bytes.size(), stride + sync);
    EXPECT_EQ(bytes[sync], 0x47);
    EXPECT_EQ(bytes[stride + sync], 0x47);
  }
}

TEST(VideoThroughTheTool, KeepsEveryPacketsTimeWhereItsEncoderCountsOtherwise) {
  ScratchDir dir;
  // MPEG-2 counts whole frames; Opus in Matroska is shown earlier by its codec delay, which only
  // FFmpeg 7's muxer takes off again by itself. The streams start 100 ms in, a time a shift to
  // zero would lose (FFmpeg 7 starts them at zero, older ones later).
  const struct {
    const char* video;
    const char* audio;
    const char* name;
  } cases[] = {{"mpeg2video", "mp2", "in.mkv"},
               {"libvpx-vp9", "libopus", "in.webm"},
               {"mpeg2video", "libopus", "opus.mkv"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i",
                 "sine=sample_rate=48000", "-t", "0.4", "-c:v", c.video, "-c:a", c.audio,
                 "-output_ts_offset", "0.1", dir / c.name});
    // Twice through: a shift each pass would add up.
    const std::string once = dir / ("once." + std::string(c.name)),
                      twice = dir / ("twice." + std::string(c.name));
    ASSERT_EQ(Fxaa({dir / c.name, "-o", once}).status, kExitOk);
    ASSERT_EQ(Fxaa({once, "-o", twice}).status, kExitOk);
    const FileRecord in = Demux(dir / c.name), out = Demux(twice);
    ASSERT_EQ(out.streams.size(), 2u);
    EXPECT_EQ(SortedTimes(out.streams[0]), SortedTimes(in.streams[0]));
    EXPECT_NE(SortedTimes(in.streams[0]).front(), 0);  // the offsets a shift would lose
    ASSERT_EQ(out.streams[1].packets.size(), in.streams[1].packets.size());
    for (size_t i = 0; i < in.streams[1].packets.size(); ++i)
      EXPECT_EQ(out.streams[1].packets[i].pts, in.streams[1].packets[i].pts) << i;
  }
}

// What is done to one frame: bytes flipped in its middle, the 188-byte transport stream packet
// there lost (as a broadcast capture loses one), or the file cut short there.
enum class FrameDamage { kFlipped, kPacketLost, kCut };

struct ConcealCase {
  const char* name;
  std::vector<std::string> encode;  // ffmpeg's output options: frames that decode on their own
  FrameDamage damage;
  int frame;     // the damaged frame, from 1
  bool leftOut;  // the decoder gives no picture for it, else one it concealed
};

std::ostream& operator<<(std::ostream& out, const ConcealCase& c) { return out << c.name; }

class ConcealedDamage : public ::testing::TestWithParam<ConcealCase> {};

TEST_P(ConcealedDamage, FailsByDefaultElseKeepsEveryOtherFrameOfACleanRunAndNamesTheDamagedOne) {
  const ConcealCase& c = GetParam();
  ScratchDir dir;
  std::vector<std::string> make = cli_test::DistinctFrames(8);
  make.insert(make.end(), c.encode.begin(), c.encode.end());
  make.push_back(dir / "clean");
  Ffmpeg(dir, make);
  std::vector<char> bytes = cli_test::FileBytes(dir / "clean");
  // Within the frame's packet, which a transport stream spreads over a few percent more bytes.
  const PacketRecord damaged = Demux(dir / "clean").streams.at(0).packets.at(c.frame - 1);
  const size_t at = size_t(damaged.pos) + damaged.data.size() / 2;
  if (c.damage == FrameDamage::kCut) bytes.resize(at);
  if (c.damage == FrameDamage::kPacketLost)
    bytes.erase(bytes.begin() + at / 188 * 188, bytes.begin() + at / 188 * 188 + 188);
  if (c.damage == FrameDamage::kFlipped)
    for (size_t i = at; i < at + 16; ++i) bytes[i] ^= 0x5A;
  cli_test::WriteBytes(dir / "bad", bytes);
  ASSERT_EQ(Fxaa({dir / "clean", "-o", dir / "clean.%d.png"}).status, kExitOk);

  EXPECT_EQ(Fxaa({dir / "bad", "-o", dir / "out.mkv"}).status, kExitFailed);
  EXPECT_FALSE(cli_test::fs::exists(dir / "out.mkv"));
  const int kept = c.damage == FrameDamage::kCut ? c.frame : 8;
  for (const char* out : {"out.mkv", "out.%d.png"}) {
    const auto run = Fxaa({dir / "bad", "-o", dir / out, "--damaged-frames", "conceal"});
    EXPECT_EQ(run.status, kExitFailed);
    const size_t named = run.err.find(dir / "bad: frame " + std::to_string(c.frame) + " (");
    ASSERT_NE(named, std::string::npos) << run.err;
    const std::string says = c.leftOut ? "): left out: " : "): damaged: ";
    EXPECT_EQ(run.err.compare(run.err.find(')', named), says.size(), says), 0) << run.err;
    EXPECT_NE(run.err.find(c.leftOut ? "concealed, 1 left out" : ": 1 frame rendered as concealed"),
              std::string::npos);
    if (c.damage == FrameDamage::kCut) {
      EXPECT_NE(run.err.find("bad: cut short after frame " + std::to_string(c.frame)),
                std::string::npos) << run.err;
    }
  }
  EXPECT_EQ(Demux(dir / "out.mkv").streams.at(0).packets.size(), size_t(kept - c.leftOut));
  for (int f = 1; f <= 8; ++f) {
    const std::string out = dir / ("out." + std::to_string(f) + ".png");
    if (f == c.frame)  // rendered as the decoder concealed it, or its number left unused
      EXPECT_NE(cli_test::fs::exists(out), c.leftOut);
    else if (f > kept)
      EXPECT_FALSE(cli_test::fs::exists(out)) << f;
    else
      EXPECT_EQ(cli_test::FileBytes(out),
                cli_test::FileBytes(dir / ("clean." + std::to_string(f) + ".png")))
          << f;
  }
}

// Lossless H.264 of key frames only, so that damage stays in its frame. Flipped bytes in its
// residuals may decode without a word: a transport stream has no checksum over them.
const std::vector<std::string> kIntraLosslessTs = {"-c:v", "libx264", "-qp", "0", "-g", "1",
                                                   "-pix_fmt", "yuv444p", "-f", "mpegts"};

INSTANTIATE_TEST_SUITE_P(
    Files, ConcealedDamage,
    ::testing::Values(
        ConcealCase{"ffv1_slice_checksum",
                    {"-c:v", "ffv1", "-level", "3", "-slicecrc", "1", "-g", "1", "-f", "matroska"},
                    FrameDamage::kFlipped, 4, false},
        // A PNG frame whose compressed data is damaged does not decode at all.
        ConcealCase{"png_frame_left_out", {"-c:v", "png", "-f", "matroska"}, FrameDamage::kFlipped,
                    4, true},
        ConcealCase{"transport_stream_packet_lost", kIntraLosslessTs, FrameDamage::kPacketLost, 4,
                    false},
        ConcealCase{"transport_stream_cut_short", kIntraLosslessTs, FrameDamage::kCut, 5, false}),
    [](const ::testing::TestParamInfo<ConcealCase>& info) { return info.param.name; });

TEST(ConcealedDamage, ASequenceIntoAVideoLeavesOutItsCorruptFileKeepingTheOtherFramesTimes) {
  ScratchDir dir;
  for (int f = 1; f <= 4; ++f)
    WriteImage(cli_test::MakeImage(32, 24, ChannelLayout::kRGB, SampleType::kUInt8, f),
               dir / ("in." + std::to_string(f) + ".png"));
  std::vector<char> cut = cli_test::FileBytes(dir / "in.3.png");
  cut.resize(40);  // the header, no pixels
  cli_test::WriteBytes(dir / "in.3.png", cut);
  std::vector<std::string> args = {dir / "in.%d.png", "-o", dir / "out.mkv", "--codec", "ffv1",
                                   "--fps", "25"};
  EXPECT_EQ(Fxaa(args).status, kExitFailed);
  EXPECT_FALSE(cli_test::fs::exists(dir / "out.mkv"));
  args.insert(args.end(), {"--damaged-frames", "conceal"});
  const auto run = Fxaa(args);
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_NE(run.err.find(dir / "in.3.png: corrupt"), std::string::npos) << run.err;
  // Milliseconds, Matroska's time base: the third frame's place, 80 to 120 ms, stays empty.
  EXPECT_EQ(SortedTimes(Demux(dir / "out.mkv").streams.at(0)), (std::vector<int64_t>{0, 40, 120}));
}

// Damage that leaves the libraries' logs quiet: a B-frame's slice data overwritten (the decoder
// conceals the rest of the picture and only marks the frame), a frame's PES start code
// overwritten (the demuxer skips its packet without a word), and a lost 188-byte packet of the
// audio, which the demuxer marks but which leaves the picture whole.
enum class QuietDamage { kSliceData, kPesStart, kAudioPacket };

struct QuietDamageCase {
  const char* name;
  QuietDamage damage;
  const char* named;   // what the concealing run names, after the file's name
  const char* says;    // and what it says of it
  const char* failed;  // what the failing run names first (it stops there)
  const char* counted;            // the count line's end; "": none, and exit status 0
};

std::ostream& operator<<(std::ostream& out, const QuietDamageCase& c) { return out << c.name; }

class QuietDamageInATransportStream : public ::testing::TestWithParam<QuietDamageCase> {};

TEST_P(QuietDamageInATransportStream, IsNamedAndFailsUnlessItSparesThePicture) {
  const QuietDamageCase& c = GetParam();
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-f", "lavfi", "-i",
               "sine=sample_rate=48000", "-t", "1", "-c:v", "libx264", "-c:a", "mp2",
               dir / "in.ts"});
  const FileRecord in = Demux(dir / "in.ts");
  std::vector<char> bytes = cli_test::FileBytes(dir / "in.ts");
  const std::vector<PacketRecord>& video = in.streams.at(0).packets;
  // The first B-frame: shown before the frame decoded just before it. Frame 3 of the stream.
  size_t b = 1;
  while (video.at(b).pts > video.at(b - 1).pts) ++b;
  const std::string startCode("\0\0\1", 3), videoPesStart("\0\0\1\xE0", 4);
  auto find = [&](const std::string& what, size_t from) {
    return size_t(std::search(bytes.begin() + from, bytes.end(), what.begin(), what.end()) -
                  bytes.begin());
  };
  if (c.damage == QuietDamage::kSliceData) {
    size_t at = find(startCode, size_t(video[b].pos));
    while ((bytes[at + 3] & 0x1f) != 1) at = find(startCode, at + 1);  // a slice's NAL unit
    at += 4 + 10;  // past the slice's header
    ASSERT_EQ(at / 188, (at + 7) / 188) << "within one packet of the stream";
    for (size_t i = 0; i < 8; ++i) bytes[at + i] = char(i * 73 + 41);
  } else if (c.damage == QuietDamage::kPesStart) {
    const size_t at = find(videoPesStart, size_t(video[b].pos));
    std::fill(bytes.begin() + at, bytes.begin() + at + 4, char(0xFF));
  } else {
    const int pid = in.streams.at(1).id;
    size_t at = 0;
    for (int seen = 0; seen < 20; at += 188)
      if (((bytes[at + 1] & 0x1f) << 8 | uint8_t(bytes[at + 2])) == pid) ++seen;
    bytes.erase(bytes.begin() + at - 188, bytes.begin() + at);
  }
  cli_test::WriteBytes(dir / "bad.ts", bytes);
  if (c.damage == QuietDamage::kSliceData) {  // the decoder logs no error about it
    EXPECT_EQ(Ffmpeg(dir, {"-threads", "1", "-i", dir / "bad.ts", "-f", "null", "-"}), "");
  }

  for (const std::string mode : {"fail", "conceal"}) {
    SCOPED_TRACE(mode);
    std::filesystem::remove(dir / "out.ts");
    const auto run = Fxaa({dir / "bad.ts", "-o", dir / "out.ts", "--damaged-frames", mode});
    if (mode == "fail") {
      EXPECT_NE(run.err.find(dir / "bad.ts: " + c.failed), std::string::npos) << run.err;
    } else {
      const size_t named = run.err.find(dir / "bad.ts: " + c.named);
      ASSERT_NE(named, std::string::npos) << run.err;
      EXPECT_NE(run.err.find(c.says, named), std::string::npos) << run.err;
    }
    if (*c.counted == '\0') {
      EXPECT_EQ(run.status, kExitOk) << run.err;
      EXPECT_EQ(run.err.find("damaged:"), std::string::npos) << run.err;
    } else {
      EXPECT_EQ(run.status, kExitFailed) << run.err;
      if (mode == "conceal") {
        EXPECT_NE(run.err.find(std::string("fxaa: damaged: ") + c.counted), std::string::npos)
            << run.err;
      }
    }
    // Nothing under the output's name unless the picture is whole or damage is concealed.
    EXPECT_EQ(cli_test::fs::exists(dir / "out.ts"), mode == "conceal" || *c.counted == '\0');
  }
  // Concealed, the frames that came keep their times; a missing one leaves its place empty.
  std::vector<int64_t> expected = SortedTimes(in.streams[0]);
  if (c.damage == QuietDamage::kPesStart) expected.erase(expected.begin() + 2);
  EXPECT_EQ(SortedTimes(Demux(dir / "out.ts").streams.at(0)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Damage, QuietDamageInATransportStream,
    ::testing::Values(
        // Frame 2 is decoded after frame 3, from it: its damage is frame 3's; so is that of
        // every frame decoded after frame 3 (frame 5 is decoded before it), up to the end:
        // there is no key frame after the first.
        QuietDamageCase{"slice_data", QuietDamage::kSliceData, "frame 3 (",
                        "s): damaged: the decoder concealed lost parts of it",
                        "frame 2 (1.520 s): damaged: predicted from the frame at 1.560 s",
                        "23 frames rendered as concealed, 0 left out"},
        QuietDamageCase{"pes_start", QuietDamage::kPesStart, "frame 3 (",
                        "missing from the stream", "frame 3 (1.560 s): missing from the stream",
                        "21 frames rendered as concealed, 1 left out"},
        QuietDamageCase{"audio_packet", QuietDamage::kAudioPacket, "audio stream 1 (mp2): ",
                        "the demuxer marked", "audio stream 1 (mp2): ", ""}),
    [](const ::testing::TestParamInfo<QuietDamageCase>& info) { return info.param.name; });

TEST(VideoThroughTheTool, SaysWhatTheOutputCannotKeepOfItsInput) {
  ScratchDir dir;
  const std::vector<std::string> source = {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25",
                                           "-frames:v", "3"};
  auto make = [&](std::vector<std::string> args) {
    args.insert(args.begin(), source.begin(), source.end());
    Ffmpeg(dir, args);
  };
  make({"-c:v", "qtrle", "-pix_fmt", "argb", dir / "alpha.mov"});
  make({"-c:v", "libx264", "-timecode", "01:00:00:00", dir / "timecode.mov"});
  make({"-pix_fmt", "rgb48be", dir / "deep.%d.png"});
  make({"-c:v", "libx264", dir / "plain.mp4"});
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> notes;  // the lines, in order; none: nothing said
  };
  const std::vector<Case> cases = {
      {{"alpha.mov", "-o", "a.mp4"},
       {"a.mp4: qtrle video re-encoded as libx264 (mp4 cannot hold qtrle)",
        "a.mp4: alpha dropped: libx264 as yuv444p has none"}},
      {{"deep.%d.png", "-o", "d.avi", "--codec", "mjpeg"},
       {"d.avi: reduced to 8 bits: mjpeg as yuvj444p"}},
      {{"timecode.mov", "-o", "t.mkv"},
       {"t.mkv: data stream 1 (none) not carried over: matroska cannot hold it"}},
      {{"deep.%d.png", "-o", "f.mkv", "--codec", "ffv1", "--crf", "20"},
       {"f.mkv: --crf left unused: ffv1 has no crf setting"}},
      {{"plain.mp4", "-o", "p.mp4"}, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args;
    for (const std::string& a : c.args)  // file names are those with an extension
      args.push_back(a[0] != '-' && a.find('.') != std::string::npos ? dir / a : a);
    const auto run = Fxaa(args);
    ASSERT_EQ(run.status, kExitOk) << c.args[0] << ": " << run.err;
    std::string expected;
    for (const std::string& note : c.notes) expected += "fxaa: " + (dir / note) + "\n";
    EXPECT_EQ(run.err, expected);
    EXPECT_TRUE(cli_test::fs::exists(dir / c.args[2]));
  }
}

}  // namespace
