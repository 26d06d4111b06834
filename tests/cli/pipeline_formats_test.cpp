// The formats of film, game and broadcast pipelines through the tool: DPX, TGA, BMP, WebP,
// JPEG 2000, SGI, Netpbm and QOI give the pixels of the PNG route, deep DPX at its own depth;
// DPX keeps its time code and frame rate and runs as a sequence; a cut file of each fails
// naming it; a DNxHD MOV becomes an MXF. The pictures are made with Debian's ffmpeg command and
// the outputs read back with it, not with the tool's own readers.
#include "cli_test_util.h"

namespace {

using namespace fxaa_cli;
using cli_test::Ffmpeg;
using cli_test::Fxaa;
using cli_test::ScratchDir;

// The picture at `path` decoded by ffmpeg as raw samples of `format`.
std::string Decoded(const ScratchDir& dir, const std::string& path, const std::string& format) {
  return Ffmpeg(dir, {"-i", path, "-f", "rawvideo", "-pix_fmt", format, "-"});
}

// The odd size: no codec gets a whole block, row or chroma pair.
const std::string kPicture = "testsrc=size=213x157";
// Alpha from 16 up: libwebp drops the colour of fully transparent pixels.
const std::string kWithAlpha = "format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='16+X'";

// Writes `name` from the test picture, through `filter` when not empty.
void MakePicture(const ScratchDir& dir, const std::string& name, const std::string& filter,
                 const std::vector<std::string>& options) {
  std::vector<std::string> args = {"-f", "lavfi", "-i", kPicture, "-frames:v", "1"};
  if (!filter.empty()) args.insert(args.end(), {"-vf", filter});
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(dir / name);
  Ffmpeg(dir, args);
}

// Bits a sample of the DPX at `path` (the image element's bit size), and its magic number.
int DpxBits(const std::string& path) { return cli_test::FileBytes(path).at(803); }
std::string DpxMagic(const std::string& path) {
  const std::vector<char> bytes = cli_test::FileBytes(path);
  return std::string(bytes.begin(), bytes.begin() + 4);
}

TEST(PipelineFormats, DeepDpxComesBackAtItsDepthWithinATenBitStepOfThePngRoute) {
  const struct {
    int bits;
    const char* format;  // ffmpeg's DPX encoder takes the byte order from it
    const char* magic;
  } cases[] = {{10, "gbrp10le", "XPDS"}, {16, "rgb48be", "SDPX"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bits);
    ScratchDir dir;
    MakePicture(dir, "in.dpx", "", {"-pix_fmt", c.format});
    // The PNG route starts from the same values.
    Ffmpeg(dir, {"-i", dir / "in.dpx", "-pix_fmt", "rgb48be", dir / "in.png"});
    for (const char* extension : {".dpx", ".png"}) {
      const auto run = Fxaa({dir / ("in" + std::string(extension)), "-o",
                             dir / ("out" + std::string(extension))});
      ASSERT_EQ(run.status, kExitOk) << run.err;
    }
    EXPECT_EQ(DpxBits(dir / "out.dpx"), c.bits);
    EXPECT_EQ(DpxMagic(dir / "out.dpx"), c.magic);
    const std::string dpx = Decoded(dir, dir / "out.dpx", "rgb48le");
    const std::string png = Decoded(dir, dir / "out.png", "rgb48le");
    ASSERT_EQ(dpx.size(), png.size());
    ASSERT_EQ(dpx.size(), 213u * 157 * 6);
    // One 10-bit step is 65535 / 1023 = 64.06 in 16-bit words; rounding to 10 bits takes half.
    int worst = 0;
    for (size_t i = 0; i < dpx.size(); i += 2) {
      auto word = [i](const std::string& s) {
        return int(uint8_t(s[i])) | int(uint8_t(s[i + 1])) << 8;
      };
      worst = std::max(worst, std::abs(word(dpx) - word(png)));
    }
    EXPECT_LE(worst, 64);
  }
}

TEST(PipelineFormats, EachFormatGivesThePixelsOfThePngRoute) {
  ScratchDir dir;
  const struct {
    const char* name;
    const char* source;  // the PNG route's input
    std::vector<std::string> make;
    const char* output;  // the format's own where the tool writes it too
    const char* compare;
  } cases[] = {
      {"in.tga", "rgba.png", {"-rle", "1"}, "out.tga", "rgba"},
      {"in.bmp", "rgb.png", {}, "out.bmp", "rgb24"},
      {"in.webp", "rgba.png", {"-c:v", "libwebp", "-lossless", "1"}, "out.webp", "rgba"},
      {"in.jp2", "rgba.png", {"-c:v", "libopenjpeg"}, "out.jp2", "rgba"},
      {"in.j2k", "rgb.png", {"-c:v", "libopenjpeg", "-format", "j2k"}, "j2k.png", "rgb24"},
      {"in.sgi", "rgb16.png", {"-pix_fmt", "rgb48be"}, "out.sgi", "rgb48le"},
      {"in.pam", "rgba.png", {}, "out.pam", "rgba"},
      {"in.pgm", "grey16.png", {"-pix_fmt", "gray16be"}, "out.pgm", "gray16le"},
      {"in.qoi", "rgba.png", {}, "qoi.png", "rgba"},
  };
  MakePicture(dir, "rgba.png", kWithAlpha, {});
  MakePicture(dir, "rgb.png", "", {});
  MakePicture(dir, "rgb16.png", "", {"-pix_fmt", "rgb48be"});
  MakePicture(dir, "grey16.png", "", {"-pix_fmt", "gray16be"});
  for (const char* source : {"rgba.png", "rgb.png", "rgb16.png", "grey16.png"}) {
    const auto run = Fxaa({dir / source, "-o", dir / ("route-" + std::string(source))});
    ASSERT_EQ(run.status, kExitOk) << run.err;
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Ffmpeg(dir, [&] {
      std::vector<std::string> args = {"-i", dir / c.source};
      args.insert(args.end(), c.make.begin(), c.make.end());
      args.push_back(dir / c.name);
      return args;
    }());
    const auto run = Fxaa({dir / c.name, "-o", dir / c.output});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    const std::string route = Decoded(dir, dir / ("route-" + std::string(c.source)), c.compare);
    EXPECT_FALSE(route.empty());
    EXPECT_TRUE(Decoded(dir, dir / c.output, c.compare) == route);
  }
}

TEST(PipelineFormats, ACutFileOfEachFormatFailsNamingItAndTheLibrarysReason) {
  ScratchDir dir;
  const struct {
    const char* name;
    const char* format;
    std::vector<std::string> make;
  } cases[] = {
      {"cut.dpx", "DPX", {"-pix_fmt", "gbrp10le"}}, {"cut.tga", "TGA", {}},
      {"cut.bmp", "BMP", {}},  {"cut.webp", "WebP", {"-c:v", "libwebp"}},
      {"cut.jp2", "JPEG 2000", {"-c:v", "libopenjpeg"}}, {"cut.sgi", "SGI", {}},
      {"cut.pam", "PAM", {}},  {"cut.ppm", "PPM", {}},
      {"cut.pgm", "PGM", {"-pix_fmt", "gray"}}, {"cut.qoi", "QOI", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / c.name;
    MakePicture(dir, c.name, "", c.make);
    std::vector<char> bytes = cli_test::FileBytes(path);
    bytes.resize(bytes.size() * 2 / 3);
    cli_test::WriteBytes(path, bytes);
    try {
      ReadImage(path);
      ADD_FAILURE() << "read";
    } catch (const ImageError& e) {
      const std::string message = e.what();
      const std::string start = path + ": cannot read " + c.format + ": ";
      EXPECT_EQ(message.rfind(start, 0), 0u) << message;
      EXPECT_GT(message.size(), start.size() + 8) << message;
    }
  }
}

// `dpx` (as ffmpeg writes it: the generic header alone) with film and television headers that
// hold `rate` frames a second and the time code 01:02:03:04.
void AddTimecode(const std::string& dpx, float rate) {
  std::vector<char> file = cli_test::FileBytes(dpx);
  const bool big = std::string(file.begin(), file.begin() + 4) == "SDPX";
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = char(v >> (big ? 24 - 8 * i : 8 * i));
  };
  file.insert(file.begin() + 1664, 384, char(0xFF));
  uint32_t rateBits;
  std::memcpy(&rateBits, &rate, 4);
  put(1724, rateBits);
  put(1940, rateBits);
  put(1920, 0x01020304);
  put(4, 2048);
  put(16, uint32_t(file.size()));
  put(28, 384);
  put(808, 2048);
  cli_test::WriteBytes(dpx, file);
}

TEST(PipelineFormats, DpxKeepsItsTimecodeAndFrameRate) {
  ScratchDir dir;
  MakePicture(dir, "in.dpx", "", {"-pix_fmt", "rgb48be"});
  AddTimecode(dir / "in.dpx", 23.976f);
  const auto run = Fxaa({dir / "in.dpx", "-o", dir / "out.dpx"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  const cli_test::Process probe =
      cli_test::RunProcess(dir, "ffprobe", {"-v", "error", "-show_entries", "frame_tags=timecode",
                                            "-of", "csv=p=0", dir / "out.dpx"});
  EXPECT_EQ(probe.out.substr(0, 11), "01:02:03:04") << probe.err;
  const std::vector<char> in = cli_test::FileBytes(dir / "in.dpx");
  const std::vector<char> out = cli_test::FileBytes(dir / "out.dpx");
  ASSERT_GT(out.size(), 1944u);
  for (size_t at : {size_t(1724), size_t(1940)})  // the film and television headers' rates
    EXPECT_TRUE(std::equal(in.begin() + at, in.begin() + at + 4, out.begin() + at)) << at;
}

// 8-bit DPX keeps the byte order too (big-endian unless the input was not), with the film and
// television headers or without: ffmpeg reads the time code and the PNG route's pixels back.
TEST(PipelineFormats, EightBitDpxIsBigEndianAndReadsBackInGreyRgbAndRgba) {
  ScratchDir dir;
  MakePicture(dir, "headers.dpx", kWithAlpha, {"-pix_fmt", "rgba64be"});
  AddTimecode(dir / "headers.dpx", 25.f);
  MakePicture(dir, "plain.png", kWithAlpha, {});
  for (const std::string in : {"headers.dpx", "plain.png"}) {
    for (const char* channels : {"y", "rgb", "rgba"}) {
      SCOPED_TRACE(in + " " + channels);
      for (const char* out : {"out.dpx", "out.png"}) {
        const auto run = Fxaa({dir / in, "--depth", "8", "--channels", channels, "-o", dir / out});
        ASSERT_EQ(run.status, kExitOk) << run.err;
      }
      EXPECT_EQ(DpxMagic(dir / "out.dpx"), "SDPX");
      EXPECT_EQ(DpxBits(dir / "out.dpx"), 8);
      EXPECT_TRUE(Decoded(dir, dir / "out.dpx", "rgba") == Decoded(dir, dir / "out.png", "rgba"));
      const std::string probe = cli_test::RunProcess(dir, "ffprobe", {"-v", "error",
          "-show_entries", "frame_tags=timecode", "-of", "csv=p=0", dir / "out.dpx"}).out;
      EXPECT_EQ(probe.substr(0, probe.find_first_of(",\n")), in[0] == 'p' ? "" : "01:02:03:04");
    }
  }
}

TEST(PipelineFormats, ADpxSequenceRendersTheFramesAsked) {
  ScratchDir dir;
  Ffmpeg(dir, {"-f", "lavfi", "-i", kPicture, "-frames:v", "5", "-pix_fmt", "gbrp10le",
               "-start_number", "1", dir / "shot.%04d.dpx"});
  std::filesystem::create_directory(dir / "out");
  const auto run = Fxaa({dir / "shot.%04d.dpx", "--frames", "2-4", "-o", dir / "out/"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(dir.Files("out"), (std::vector<std::string>{"shot.0002.dpx", "shot.0003.dpx",
                                                         "shot.0004.dpx"}));
  for (const std::string& name : dir.Files("out")) EXPECT_EQ(DpxBits(dir / ("out/" + name)), 10);
}

// The hashes of the frames of stream `map` of `path`, as ffmpeg decodes them, in order.
std::vector<std::string> FrameHashes(const ScratchDir& dir, const std::string& path,
                                     const std::string& map) {
  std::istringstream lines(Ffmpeg(dir, {"-i", path, "-map", map, "-f", "framemd5", "-"}));
  std::vector<std::string> hashes;
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(',') + 1));
  return hashes;
}

TEST(PipelineFormats, ADnxhdMovBecomesAnMxfWithItsTimecodeAndPcmAudio) {
  ScratchDir dir;
  // DNxHR takes any size from 256 x 120.
  Ffmpeg(dir, {"-f", "lavfi", "-i", "testsrc=size=256x144:rate=25", "-f", "lavfi", "-i",
               "sine=sample_rate=48000", "-t", "0.4", "-c:v", "dnxhd", "-profile:v", "dnxhr_lb",
               "-pix_fmt", "yuv422p", "-c:a", "pcm_s16le", "-timecode", "10:00:00:00",
               dir / "in.mov"});
  const auto run = cli_test::RunTool({"--plugin", FXAA_PLUGIN_PATH, dir / "in.mov", "-o",
                                      dir / "out.mxf"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(run.err.find("not carried over"), std::string::npos) << run.err;  // the timecode is
  const cli_test::Process probe = cli_test::RunProcess(
      dir, "ffprobe", {"-v", "error", "-show_entries", "format=format_name:format_tags=timecode:"
                       "stream=codec_name", "-of", "csv=p=0", dir / "out.mxf"});
  EXPECT_EQ(probe.out, "dnxhd\npcm_s16le\nmxf,10:00:00:00\n") << probe.err;
  EXPECT_EQ(FrameHashes(dir, dir / "out.mxf", "0:v").size(), 10u);
  // MXF packs the samples of each frame into one packet: the samples are what stay the same.
  const std::string audio =
      Ffmpeg(dir, {"-i", dir / "in.mov", "-map", "0:a", "-f", "s16le", "-"});
  EXPECT_EQ(audio.size(), 19200u * 2);
  EXPECT_TRUE(Ffmpeg(dir, {"-i", dir / "out.mxf", "-map", "0:a", "-f", "s16le", "-"}) == audio);

  const auto refused = Fxaa({dir / "in.mov", "-o", dir / "h264.mxf", "--codec", "libx264"});
  EXPECT_EQ(refused.status, kExitUsage);
  EXPECT_NE(refused.err.find("it holds DNxHD/DNxHR (dnxhd), MPEG-2 (mpeg2video) or ProRes"),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "h264.mxf"));
  // MXF numbers its frames from the first: a part of the video would lose its place.
  EXPECT_EQ(Fxaa({dir / "in.mov", "--frames", "6-10", "-o", dir / "part.mxf"}).status, kExitUsage);
}

}  // namespace
