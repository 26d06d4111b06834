// The demo pictures, the progress display, and command lines refused before any plug-in is
// loaded.
#include <set>

#include "cli/demo_scene.h"
#include "cli/progress.h"
#include "cli_test_util.h"

namespace {

using namespace fxaa_cli;
using cli_test::RunTool;
using cli_test::ScratchDir;

uint32_t Pixel(const Image& image, int x, int y) {
  const uint8_t* p = image.byteRow(y) + 4 * x;
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

TEST(DemoScene, HasOnlyHardEdgesInTheOpaquePart) {
  const Image scene = DrawDemoScene(640, 360);
  ASSERT_EQ(scene.type, SampleType::kUInt8);
  // Point sampling leaves no blend between shapes: the opaque part holds a handful of exact
  // colours (background and the fills), however many edges there are.
  std::set<uint32_t> colours;
  int edges = 0;
  for (int y = 0; y < scene.height; ++y)
    for (int x = 0; x + 1 < scene.width * 3 / 4; ++x) {
      colours.insert(Pixel(scene, x, y));
      edges += Pixel(scene, x, y) != Pixel(scene, x + 1, y);
    }
  EXPECT_LE(colours.size(), 14u);
  EXPECT_GT(edges, 1000);
}

TEST(DemoScene, FadesOutOverASoftAlphaRamp) {
  const Image scene = DrawDemoScene(640, 360);
  // Along a row without ink, alpha never rises to the right and takes many steps down to 0.
  const int y = 355;
  std::set<int> alphas;
  for (int x = 1; x < scene.width; ++x) {
    EXPECT_LE(scene.byteRow(y)[4 * x], scene.byteRow(y)[4 * (x - 1)]) << x;
    alphas.insert(scene.byteRow(y)[4 * x]);
  }
  EXPECT_EQ(scene.byteRow(y)[0], 255);
  EXPECT_EQ(scene.byteRow(y)[4 * (scene.width - 1)], 0);
  EXPECT_GT(alphas.size(), 100u);
}

TEST(DemoScene, ComparisonShowsBothImagesAndBothMagnifiedCrops) {
  Image before = cli_test::MakeImage(40, 30, ChannelLayout::kRGBA, SampleType::kUInt8, 1);
  Image after = cli_test::MakeImage(40, 30, ChannelLayout::kRGBA, SampleType::kUInt8, 2);
  for (Image* image : {&before, &after})
    for (size_t i = 0; i < image->bytes.size(); i += 4) image->bytes[i] = 255;  // opaque
  const CropRect crop{5, 6, 10, 8};
  const int zoom = 4;
  const Image out = ComposeComparison(before, after, crop, zoom);
  EXPECT_EQ(out.layout, ChannelLayout::kRGB);

  // Find where each copy landed by matching the images' own pixels.
  auto findCopy = [&](const Image& image, int scale, int sx, int sy, int w, int h) {
    for (int oy = 0; oy + h * scale <= out.height; ++oy)
      for (int ox = 0; ox + w * scale <= out.width; ++ox) {
        bool all = true;
        for (int y = 0; y < h * scale && all; ++y)
          for (int x = 0; x < w * scale && all; ++x)
            all = (Pixel(out, ox + x, oy + y) & 0xFFFFFF) ==
                  (Pixel(image, sx + x / scale, sy + y / scale) & 0xFFFFFF);
        if (all) return std::make_pair(ox, oy);
      }
    return std::make_pair(-1, -1);
  };
  // The top rows only: the crop's frame is drawn over the whole images.
  const auto b = findCopy(before, 1, 0, 0, 40, crop.y - 1);
  const auto a = findCopy(after, 1, 0, 0, 40, crop.y - 1);
  const auto bz = findCopy(before, zoom, crop.x, crop.y, crop.width, crop.height);
  const auto az = findCopy(after, zoom, crop.x, crop.y, crop.width, crop.height);
  EXPECT_GE(b.first, 0);
  EXPECT_GT(a.first, b.first);  // after is right of before
  EXPECT_GT(bz.second, b.second + 30);  // magnified crops below
  EXPECT_EQ(az.second, bz.second);
  EXPECT_GT(az.first, bz.first);
}

TEST(DemoScene, LabelsDrawOnlyInsideTheirWidth) {
  Image canvas = cli_test::MakeImage(80, 20, ChannelLayout::kRGB, SampleType::kUInt8);
  std::fill(canvas.bytes.begin(), canvas.bytes.end(), 0);
  const uint8_t white[3] = {255, 255, 255};
  DrawLabel(&canvas, 2, 3, "AB 1", 2, white);
  int minX = 1000, maxX = -1, minY = 1000, maxY = -1, lit = 0;
  for (int y = 0; y < canvas.height; ++y)
    for (int x = 0; x < canvas.width; ++x)
      if (canvas.byteRow(y)[4 * x + 1] == 255) {
        ++lit;
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
  EXPECT_GT(lit, 0);
  EXPECT_EQ(minX, 2);
  EXPECT_LE(maxX, 2 + LabelWidth("AB 1", 2) - 1);
  EXPECT_GT(maxX, 2 + 3 * 6 * 2);  // the "1" after the gap is drawn
  EXPECT_EQ(minY, 3);
  EXPECT_EQ(maxY, 3 + 7 * 2 - 1);
}

TEST(ProgressDisplay, BarShowsFramesRateAndTimeLeft) {
  const std::string line = Progress::BarLine(30, 0, 60, 10.0, 100);
  EXPECT_NE(line.find("30/60 frames"), std::string::npos) << line;
  EXPECT_NE(line.find("3.0 fps"), std::string::npos) << line;
  EXPECT_NE(line.find("0:10 left"), std::string::npos) << line;
  const size_t filled = std::count(line.begin(), line.end(), '#');
  const size_t empty = std::count(line.begin(), line.end(), '.') - 1;  // one in "3.0"
  EXPECT_EQ(filled, empty);
  EXPECT_NE(Progress::BarLine(3, 2, 9, 1.0, 100).find("2 failed"), std::string::npos);
}

TEST(ProgressDisplay, ClockFormatsMinutesAndHours) {
  EXPECT_EQ(Progress::Clock(0), "0:00");
  EXPECT_EQ(Progress::Clock(65.4), "1:05");
  EXPECT_EQ(Progress::Clock(3600 * 12 + 9), "12:00:09");
  EXPECT_EQ(Progress::Clock(-1), "--:--");
}

TEST(ProgressDisplay, PlainLinesNameEachFrameAndQuietShowsOnlyFailures) {
  std::ostringstream lines, quiet;
  Progress plain(3, Progress::Style::kLines, lines);
  plain.FrameDone("a.png");
  plain.FrameFailed("b.png: no such file");
  plain.FrameDone("c.png");
  plain.Finish();
  EXPECT_NE(lines.str().find("fxaa: [1/3] wrote a.png\n"), std::string::npos) << lines.str();
  EXPECT_NE(lines.str().find("fxaa: b.png: no such file\n"), std::string::npos);
  EXPECT_NE(lines.str().find("fxaa: [3/3] wrote c.png\n"), std::string::npos);
  EXPECT_NE(lines.str().find("2 of 3 frames written"), std::string::npos);
  EXPECT_EQ(lines.str().find('\r'), std::string::npos);

  Progress silent(2, Progress::Style::kQuiet, quiet);
  silent.FrameDone("a.png");
  silent.FrameFailed("b.png: corrupt");
  silent.Finish();
  EXPECT_EQ(quiet.str(), "fxaa: b.png: corrupt\n");
  EXPECT_EQ(silent.done(), 1);
  EXPECT_EQ(silent.failed(), 1);
}

TEST(CommandLine, HelpAndVersionSucceed) {
  const auto help = RunTool({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_NE(help.out.find("Examples:"), std::string::npos);
  EXPECT_NE(help.out.find("demo"), std::string::npos);
  const auto version = RunTool({"--version"});
  EXPECT_EQ(version.status, kExitOk);
  EXPECT_NE(version.out.find("fxaa 1.1.0"), std::string::npos) << version.out;
  const auto renderHelp = RunTool({"render", "--help"});
  EXPECT_EQ(renderHelp.status, kExitOk);
  EXPECT_NE(renderHelp.out.find("--strength"), std::string::npos);
}

TEST(CommandLine, MistakesAreUsageErrorsAndWriteNothing) {
  ScratchDir dir;
  cli_test::WriteBytes(dir / "in.png", {'x'});
  const std::string in = dir / "in.png", out = dir / "out.png";
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{}, "Usage"},
      {{in}, "--output is required"},
      {{"-o", out}, "inputs is required"},
      {{in, "-o", out, "--threads", "0"}, "threads"},
      {{in, "-o", out, "--downsample", "0"}, "downsample"},
      {{in, "-o", out, "--strength", "much"}, "strength"},
      {{in, "-o", out, "--no-such-option"}, "no-such-option"},
      {{in, "-o", out, "--depth", "24"}, "expected 8, 10, 12, 16, half or float"},
      {{in, "-o", out, "--channels", "cmyk"}, "expected y, ya, rgb or rgba"},
      {{in, "-o", out, "--quality", "0"}, "--quality 0: expected a whole number from 1 to 100"},
      {{in, "-o", out, "--damaged-frames", "1"}, "1 not in {fail,conceal}"},
      {{in, "-o", in}, "would overwrite an input"},
      {{in, in, "-o", dir / "o/"}, "written twice"},
      {{in, dir / "b.png", "-o", out}, "several frames need an output pattern"},
      {{in, "-o", out, "--frames", "1-3"}, "--frames needs a numbered input"},
      {{"info", "extra"}, "extra"},
  };
  for (const Case& c : cases) {
    const auto run = RunTool(c.args);
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(run.status, kExitUsage) << joined << "\n" << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << joined << "\n" << run.err;
  }
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"in.png"});
}

}  // namespace
