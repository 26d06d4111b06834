// A smoke run of the video reader on damaged files: small videos of each container and codec
// the tool writes, damaged in a fixed pseudo-random way (bytes flipped, runs overwritten, the
// file cut short), read to their end. Every outcome must be frames of the declared size or
// one-line errors naming the file, and reading must end. The sanitizer suite runs it too.
#include <optional>
#include <random>
#include <thread>

#include "cli/formats/format.h"
#include "cli/libav/libav.h"
#include "cli/video/video.h"
#include "cli_test_util.h"

namespace {

using namespace fxaa_cli;
using cli_test::ScratchDir;

struct Seed {
  const char* file;
  const char* codec;
};

// The frames of a damaged file: how many came out and how many failed.
struct Outcome {
  int frames = 0, errors = 0;
};

::testing::AssertionResult ReadsToTheEndCleanly(const std::string& path, Outcome* outcome) {
  auto oneLine = [&](const std::string& message) {
    return message.rfind(path + ": ", 0) == 0 && message.find('\n') == std::string::npos;
  };
  std::unique_ptr<VideoReader> reader;
  try {
    reader = std::make_unique<VideoReader>(path);
  } catch (const ImageError& e) {
    ++outcome->errors;
    if (!oneLine(e.what())) return ::testing::AssertionFailure() << "opening: " << e.what();
    return ::testing::AssertionSuccess();
  }
  // A damaged index may claim more frames than the seed had, never without end.
  for (int calls = 0; calls < 1000; ++calls) {
    Image image;
    FrameTime time;
    try {
      if (!reader->Read(&image, &time)) return ::testing::AssertionSuccess();
    } catch (const ImageError& e) {
      ++outcome->errors;
      if (!oneLine(e.what())) return ::testing::AssertionFailure() << e.what();
      continue;
    }
    ++outcome->frames;
    const size_t values = size_t(image.width) * image.height * 4;
    if (image.width < 1 || image.height < 1 ||
        (image.type == SampleType::kUInt8 ? image.bytes.size() : image.floats.size()) != values)
      return ::testing::AssertionFailure() << "frame buffers do not match " << image.width
                                           << " x " << image.height;
  }
  return ::testing::AssertionFailure() << "reading does not end";
}

TEST(DamagedVideoSmoke, EveryDamagedFileGivesFramesOrOneLineErrorsAndEnds) {
  ScratchDir dir;
  const Seed seeds[] = {{"h264.mp4", "libx264"}, {"prores.mov", "prores_ks"},
                        {"ffv1.mkv", "ffv1"},    {"vp9.webm", "libvpx-vp9"},
                        {"mpeg4.avi", "mpeg4"}};
  std::mt19937 random(1);
  Outcome total;
  for (const Seed& seed : seeds) {
    SCOPED_TRACE(seed.file);
    WriteOptions options;
    options.formatOptions["codec"] = seed.codec;
    {
      VideoWriter writer(dir / seed.file,
                         cli_test::MakeImage(32, 24, ChannelLayout::kRGB, SampleType::kUInt8),
                         nullptr, VideoWriteOptionsFrom(options));
      for (int f = 0; f < 8; ++f)
        writer.Write(cli_test::MakeImage(32, 24, ChannelLayout::kRGB, SampleType::kUInt8, f + 1),
                     FrameTime{f, 1});
      writer.Finish();
    }
    const std::vector<char> good = cli_test::FileBytes(dir / seed.file);
    ASSERT_GT(good.size(), 64u);
    for (int variant = 0; variant < 40; ++variant) {
      std::vector<char> bytes = good;
      std::uniform_int_distribution<size_t> at(0, bytes.size() - 1);
      switch (variant % 3) {
        case 0:  // a few bytes flipped anywhere, headers included
          for (int n = 0; n < 1 + variant % 7; ++n) bytes[at(random)] ^= char(1 + random() % 255);
          break;
        case 1: {  // a run overwritten with noise
          const size_t from = at(random);
          for (size_t i = from; i < std::min(bytes.size(), from + 32); ++i) bytes[i] = char(random());
          break;
        }
        case 2:  // cut short
          bytes.resize(at(random));
          break;
      }
      const std::string path = dir / ("damaged-" + std::to_string(variant) + "-" + seed.file);
      cli_test::WriteBytes(path, bytes);
      EXPECT_TRUE(ReadsToTheEndCleanly(path, &total)) << "variant " << variant;
      std::filesystem::remove(path);
    }
  }
  // Both outcomes occur: the damage reaches the decoders, not only the containers' headers.
  EXPECT_GT(total.frames, 0);
  EXPECT_GT(total.errors, 0);
}

// Each reader counts the errors of its own decoder, whichever thread logs them (its slice and
// frame threads), and those logged on its own thread: two reading at once (a video's frames, a
// picture written read back) take none of each other's.
TEST(LoggedErrors, EachReaderCountsItsOwnDecodersErrorsFromAnyThread) {
  using libav::Logger;
  using libav::LoggedErrors;
  libav::KeepLogQuiet();
  const AVCodec* png = avcodec_find_decoder(AV_CODEC_ID_PNG);
  libav::CodecPtr a(avcodec_alloc_context3(png)), b(avcodec_alloc_context3(png));
  int keyA = 0, keyB = 0;
  LoggedErrors errorsA(&keyA), errorsB(&keyB);
  a->opaque = &keyA;
  std::thread([&] { av_log(a.get(), AV_LOG_ERROR, "damage in a\n"); }).join();
  std::optional<LoggedErrors::Scope> scope(std::in_place, errorsB);
  av_log(b.get(), AV_LOG_ERROR, "damage on b's thread\n");
  scope.reset();
  av_log(b.get(), AV_LOG_ERROR, "damage of no reader's\n");
  EXPECT_EQ(errorsA.count(Logger::kDecoder), 1u);
  EXPECT_EQ(errorsA.last(Logger::kDecoder), "damage in a");
  EXPECT_EQ(errorsB.count(Logger::kDecoder), 1u);
  EXPECT_EQ(errorsB.last(Logger::kDecoder), "damage on b's thread");
  EXPECT_EQ(errorsB.count(Logger::kDemuxer), 0u);
}

}  // namespace
