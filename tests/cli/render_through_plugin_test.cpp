// The tool rendering through the built plug-in: identity at strength 0 in every depth, real
// smoothing, sequences and patterns, threads, bad inputs in a batch, parameter checks against
// what the plug-in declared, and the info view.
#include <cstdio>
#include <map>
#include <sstream>

#include "cli/param_options.h"
#include "cli/pixel_convert.h"
#include "cli/sequence.h"
#include "cli_test_util.h"
#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"
#include "host_runtime/testing/instrumented_host.h"
#include "tiff_jpeg_files.h"

namespace {

using namespace fxaa_cli;
using cli_test::Fxaa;
using cli_test::ScratchDir;
namespace fs = std::filesystem;

struct IdentityCase {
  const char* file;
  ChannelLayout layout;
  SampleType type;
};

std::ostream& operator<<(std::ostream& out, const IdentityCase& c) { return out << c.file; }

class StrengthZero : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(StrengthZero, ReturnsTheInputExactlyInItsOwnLayoutAndDepth) {
  const IdentityCase& c = GetParam();
  ScratchDir dir;
  // Floats beyond 0..1 and negative ones included: the float path must not clamp.
  const Image input = cli_test::MakeImage(23, 17, c.layout, c.type, 11);
  const std::string in = dir / c.file;
  const std::string out = dir / (std::string("out_") + c.file);
  WriteImage(input, in);
  const auto run = Fxaa({in, "-o", out, "--strength", "0"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  const Image result = ReadImage(out);
  EXPECT_EQ(result.layout, c.layout);
  EXPECT_EQ(result.type, c.type);
  EXPECT_TRUE(cli_test::SamePixels(result, ReadImage(in)));
}

INSTANTIATE_TEST_SUITE_P(
    EveryDepth, StrengthZero,
    ::testing::Values(IdentityCase{"rgba8.png", ChannelLayout::kRGBA, SampleType::kUInt8},
                      IdentityCase{"y8.png", ChannelLayout::kY, SampleType::kUInt8},
                      IdentityCase{"rgb16.png", ChannelLayout::kRGB, SampleType::kUInt16},
                      IdentityCase{"ya16.png", ChannelLayout::kYA, SampleType::kUInt16},
                      IdentityCase{"rgbaf.exr", ChannelLayout::kRGBA, SampleType::kFloat},
                      IdentityCase{"rgbh.exr", ChannelLayout::kRGB, SampleType::kHalf},
                      IdentityCase{"ya16.tif", ChannelLayout::kYA, SampleType::kUInt16},
                      IdentityCase{"rgbah.tif", ChannelLayout::kRGBA, SampleType::kHalf}),
    [](const ::testing::TestParamInfo<IdentityCase>& info) {
      std::string n = info.param.file;
      n[n.find('.')] = '_';
      return n;
    });

TEST(Formats, TheSameEightBitFrameGivesTheSamePixelsThroughPngAndTiff) {
  ScratchDir dir;
  const Image input = cli_test::MakeImage(31, 19, ChannelLayout::kRGBA, SampleType::kUInt8, 8);
  WriteImage(input, dir / "in.png");
  WriteImage(input, dir / "in.tif");
  ASSERT_EQ(Fxaa({dir / "in.png", "-o", dir / "out.png"}).status, kExitOk);
  ASSERT_EQ(Fxaa({dir / "in.tif", "-o", dir / "out.tif"}).status, kExitOk);
  const Image png = ReadImage(dir / "out.png"), tiff = ReadImage(dir / "out.tif");
  EXPECT_FALSE(cli_test::SamePixels(png, input));  // smoothed, not passed through
  EXPECT_TRUE(cli_test::SamePixels(png, tiff));
}

TEST(Formats, PaletteAndBilevelTiffsRenderToEightBitRgbAndGrey) {
  for (const uint16_t photometric : {PHOTOMETRIC_PALETTE, PHOTOMETRIC_MINISWHITE}) {
    ScratchDir dir;
    const bool palette = photometric == PHOTOMETRIC_PALETTE;
    cli_test::TiffRecipe r;
    r.width = 40, r.height = 24, r.colour = 1, r.photometric = photometric, r.bits = palette ? 4 : 1;
    r.compression = palette ? COMPRESSION_LZW : COMPRESSION_CCITTFAX4;
    for (int i = 0; palette && i < 3 << r.bits; ++i) r.colormap.push_back(uint16_t(i * 4099));
    ASSERT_TRUE(cli_test::WriteTiffFile(dir / "in.tif", r, cli_test::TiffSamples(r)));
    const auto run = Fxaa({dir / "in.tif", "-o", dir / "out.tif"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    const cli_test::TiffContent out = cli_test::ReadTiffFile(dir / "out.tif");
    EXPECT_EQ(out.bits, 8) << photometric;
    EXPECT_EQ(out.samplesPerPixel, palette ? 3 : 1) << photometric;
  }
}

// A white area above a point-sampled shallow edge (one step every 5 pixels), black below.
Image AliasedEdge(SampleType type) {
  Image image = cli_test::MakeImage(48, 32, ChannelLayout::kRGB, type);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const bool white = y + 0.5 < 10 + (x + 0.5) / 5.0;
      for (int c = 1; c < 4; ++c) {
        if (type == SampleType::kUInt8)
          image.byteRow(y)[4 * x + c] = white ? 255 : 0;
        else
          image.floatRow(y)[4 * x + c] = white ? 1.0f : 0.0f;
      }
    }
  return image;
}

TEST(Smoothing, AnAliasedEdgeGetsInBetweenValuesAndFlatAreasStay) {
  for (const char* file : {"edge.png", "edge.exr"}) {
    ScratchDir dir;
    const bool exr = std::string(file) == "edge.exr";
    const Image input = AliasedEdge(exr ? SampleType::kFloat : SampleType::kUInt8);
    WriteImage(input, dir / file);
    const auto run = Fxaa({dir / file, "-o", dir / "out" + std::string(exr ? ".exr" : ".png")});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    const Image out = ReadImage(dir / "out" + std::string(exr ? ".exr" : ".png"));
    int between = 0;
    for (int y = 0; y < out.height; ++y)
      for (int x = 0; x < out.width; ++x) {
        const float v = exr ? out.floatRow(y)[4 * x + 1] : out.byteRow(y)[4 * x + 1] / 255.0f;
        const double distance = std::abs(y + 0.5 - (10 + (x + 0.5) / 5.0));
        // 8-bit: any step off 0 or 255; float: a clear blend, not a rounding trace.
        if (v > 0.02f && v < 0.98f) ++between;
        // Far from the edge nothing changes (FXAA's search stays within a few pixels).
        if (distance > 4) {
          const float expected = exr ? input.floatRow(y)[4 * x + 1] : input.byteRow(y)[4 * x + 1] / 255.0f;
          ASSERT_EQ(v, expected) << file << " at " << x << "," << y;
        }
      }
    EXPECT_GT(between, 20) << file;
  }
}

TEST(Smoothing, AlphaSourceSmoothsAHardAlphaEdge) {
  ScratchDir dir;
  Image input = AliasedEdge(SampleType::kUInt8);
  input.layout = ChannelLayout::kRGBA;
  for (size_t i = 0; i < input.bytes.size(); i += 4) input.bytes[i] = input.bytes[i + 1];
  WriteImage(input, dir / "matte.png");
  const auto run = Fxaa({dir / "matte.png", "-o", dir / "out.png", "--source", "alpha"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  const Image out = ReadImage(dir / "out.png");
  int between = 0;
  for (size_t i = 0; i < out.bytes.size(); i += 4) between += out.bytes[i] > 5 && out.bytes[i] < 250;
  EXPECT_GT(between, 20);
}

// Frames 1..n of a sequence with different content each.
void WriteSequence(const ScratchDir& dir, const std::string& pattern, std::vector<int> frames) {
  FramePattern p;
  ASSERT_TRUE(ParsePattern(dir / pattern, &p));
  for (int f : frames) WriteImage(cli_test::MakeImage(20, 12, ChannelLayout::kRGBA, SampleType::kUInt8, f), p.Format(f));
}

TEST(Sequences, PatternAndRangeWriteEachFrameAsItsOwnSingleRender) {
  ScratchDir dir;
  WriteSequence(dir, "in.%04d.png", {1, 2, 3, 4});
  const auto run = Fxaa({dir / "in.%04d.png", "--frames", "2-4", "-o", dir / "out.####.png"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_FALSE(fs::exists(dir / "out.0001.png"));
  for (int f = 2; f <= 4; ++f) {
    const std::string single = dir / ("single" + std::to_string(f) + ".png");
    char name[32];
    std::snprintf(name, sizeof(name), "in.%04d.png", f);
    ASSERT_EQ(Fxaa({dir / name, "-o", single}).status, kExitOk);
    std::snprintf(name, sizeof(name), "out.%04d.png", f);
    EXPECT_EQ(cli_test::FileBytes(dir / name), cli_test::FileBytes(single)) << name;
  }
}

TEST(Sequences, GapsAreReportedAndTheOtherFramesStillWritten) {
  ScratchDir dir;
  WriteSequence(dir, "in.%04d.png", {1, 2, 4});
  fs::create_directory(dir / "out");
  const auto run = Fxaa({dir / "in.%04d.png", "-o", dir / "out"});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_NE(run.err.find("1 of 4 frames missing"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(dir / "in.0003.png" + ": missing"), std::string::npos) << run.err;
  EXPECT_EQ(dir.Files("out"), (std::vector<std::string>{"in.0001.png", "in.0002.png", "in.0004.png"}));
}

TEST(Sequences, FailFastRefusesAGappedSequenceBeforeRendering) {
  ScratchDir dir;
  WriteSequence(dir, "in.%04d.png", {1, 3});
  fs::create_directory(dir / "out");
  const auto run = Fxaa({dir / "in.%04d.png", "-o", dir / "out", "--fail-fast"});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_NE(run.err.find("in.0002.png: missing"), std::string::npos) << run.err;
  EXPECT_TRUE(dir.Files("out").empty());
}

TEST(Threads, SeveralRenderThreadsWriteTheSameBytesAsOne) {
  ScratchDir dir;
  WriteSequence(dir, "in.%02d.png", {1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_EQ(Fxaa({dir / "in.%02d.png", "-o", dir / "one/", "-j", "1"}).status, kExitOk);
  ASSERT_EQ(Fxaa({dir / "in.%02d.png", "-o", dir / "four/", "-j", "4"}).status, kExitOk);
  const auto names = dir.Files("one");
  ASSERT_EQ(names.size(), 8u);
  EXPECT_EQ(dir.Files("four"), names);
  for (const auto& n : names)
    EXPECT_EQ(cli_test::FileBytes(dir / ("one/" + n)), cli_test::FileBytes(dir / ("four/" + n))) << n;
}

// The --timing line, parsed; false when there is none.
bool ParseTiming(const std::string& err, int* frames, double* wall, double* rendering,
                 double* reading, double* writing) {
  const size_t at = err.find("timing: ");
  return at != std::string::npos &&
         std::sscanf(err.c_str() + at,
                     "timing: %d frames in %lf s; rendering %lf s, reading %lf s, writing %lf s",
                     frames, wall, rendering, reading, writing) == 5;
}

TEST(Timing, CountsTheWrittenFramesAndRenderingOnceHoweverManyThreadsWait) {
  ScratchDir dir;
  WriteSequence(dir, "in.%02d.png", {1, 2, 4, 5, 6, 7, 8});  // 3 missing: not written
  for (const char* threads : {"1", "4"}) {
    const auto run =
        Fxaa({dir / "in.%02d.png", "-o", dir / ("out" + std::string(threads) + "/"), "-j", threads,
              "--timing"});
    EXPECT_EQ(run.status, kExitFailed);
    int frames = -1;
    double wall = -1, rendering = -1, reading = -1, writing = -1;
    ASSERT_TRUE(ParseTiming(run.err, &frames, &wall, &rendering, &reading, &writing)) << run.err;
    EXPECT_EQ(frames, 7) << threads;
    // Render threads queue for the plug-in's render lock: time during which any of them renders
    // is one span of the batch, not a sum over threads. Reading and writing are each one
    // thread's, so within the batch too.
    EXPECT_LE(rendering, wall) << threads;
    EXPECT_LE(reading, wall) << threads;
    EXPECT_LE(writing, wall) << threads;
  }
  const auto quiet = Fxaa({dir / "in.%02d.png", "-o", dir / "plain/"});
  EXPECT_EQ(quiet.err.find("timing:"), std::string::npos) << quiet.err;
}

struct BadCase {
  const char* name;
  const char* cause;
  void (*make)(const std::string& path);
};

std::ostream& operator<<(std::ostream& out, const BadCase& c) { return out << c.name; }

class BadInputThroughTheTool : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInputThroughTheTool, FailsWithFileAndCauseAndWritesNothing) {
  ScratchDir dir;
  const std::string in = dir / GetParam().name;
  GetParam().make(in);
  fs::create_directory(dir / "out");
  const auto run = Fxaa({in, "-o", dir / "out/result.png"});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_NE(run.err.find("fxaa: " + in + ": "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(GetParam().cause), std::string::npos) << run.err;
  EXPECT_TRUE(dir.Files("out").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadInputThroughTheTool,
    ::testing::Values(
        BadCase{"missing.png", "no such file", [](const std::string&) {}},
        BadCase{"notes.png", "unsupported file type",
                [](const std::string& p) { cli_test::WriteBytes(p, {'n', 'o', 't', 'e', 's', '!', '!', '!'}); }},
        BadCase{"cut.png", "corrupt or truncated PNG",
                [](const std::string& p) {
                  WriteImage(cli_test::MakeImage(40, 40, ChannelLayout::kRGB, SampleType::kUInt8), p);
                  auto bytes = cli_test::FileBytes(p);
                  bytes.resize(bytes.size() - 40);
                  cli_test::WriteBytes(p, bytes);
                }}),
    [](const ::testing::TestParamInfo<BadCase>& info) {
      std::string n = info.param.name;
      return n.substr(0, n.find('.'));
    });

TEST(Batches, AFrameLargerThanTheGpuTakesFailsWithThatCause) {
  ScratchDir dir;
  // Within the tool's limit, beyond the largest texture llvmpipe offers (16384).
  WriteImage(cli_test::MakeImage(20000, 1, ChannelLayout::kRGB, SampleType::kUInt8), dir / "wide.png");
  const auto run = Fxaa({dir / "wide.png", "-o", dir / "out.png"});
  if (run.status == kExitOk) GTEST_SKIP() << "this GPU takes 20000-pixel textures";
  EXPECT_EQ(run.status, kExitFailed);
  // The limit is the renderer's own, read from a context: named, whatever it is.
  EXPECT_NE(run.err.find(dir / "wide.png" + ": cannot render: a frame of 20000 x 1 is larger than "
                         "the GPU takes (at most "), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "out.png"));
}

TEST(Batches, OneBadFrameDoesNotStopTheOthers) {
  ScratchDir dir;
  WriteImage(cli_test::MakeImage(8, 8, ChannelLayout::kRGB, SampleType::kUInt8, 1), dir / "a.png");
  cli_test::WriteBytes(dir / "b.png", {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n', 0, 0});
  WriteImage(cli_test::MakeImage(8, 8, ChannelLayout::kRGB, SampleType::kUInt8, 3), dir / "c.png");
  const auto run = Fxaa({dir / "a.png", dir / "b.png", dir / "c.png", "-o", dir / "out/"});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_NE(run.err.find(dir / "b.png" + ": corrupt"), std::string::npos) << run.err;
  EXPECT_EQ(dir.Files("out"), (std::vector<std::string>{"a.png", "c.png"}));
}

TEST(Parameters, ValuesOutsideTheDeclaredRangeAreRefusedNamingTheRange) {
  ScratchDir dir;
  WriteImage(cli_test::MakeImage(8, 8, ChannelLayout::kRGB, SampleType::kUInt8), dir / "in.png");
  struct Case {
    std::vector<std::string> option;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"--strength", "100.5"}, "\"Strength\" takes 0 to 100"},
      {{"--strength", "-1"}, "\"Strength\" takes 0 to 100"},
      {{"--strength", "nan"}, "\"Strength\" takes 0 to 100"},
      {{"--span", "101"}, "\"FXAA Span\" takes 0 to 100"},
      {{"--reduce-multiplier", "-0.01"}, "\"FXAA Reduce Multiplier\" takes 0 to 100"},
      {{"--reduce-minimum", "1000"}, "\"FXAA Reduce Minimum\" takes 0 to 100"},
      {{"--source", "luma"}, "not a choice of \"Source\" (color|alpha)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {dir / "in.png", "-o", dir / "out.png"};
    args.insert(args.end(), c.option.begin(), c.option.end());
    const auto run = Fxaa(args);
    EXPECT_EQ(run.status, kExitUsage) << c.option[0] << " " << c.option[1];
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_FALSE(fs::exists(dir / "out.png"));
  // The ends of each range are accepted.
  const auto edges = Fxaa({dir / "in.png", "-o", dir / "out.png", "--strength", "100", "--span",
                           "0", "--reduce-multiplier", "100", "--reduce-minimum", "0", "--source",
                           "Colour"});
  EXPECT_EQ(edges.status, kExitOk) << edges.err;
}

TEST(Downsampling, RendersTheFrameAtReducedResolution) {
  ScratchDir dir;
  // 8-bit: bytes cross the GPU exactly, so the frame can be compared bit for bit.
  const Image input = cli_test::MakeImage(9, 7, ChannelLayout::kRGBA, SampleType::kUInt8, 4);
  WriteImage(input, dir / "in.png");
  const auto run = Fxaa({dir / "in.png", "-o", dir / "out.png", "--downsample", "2", "--strength", "0"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  const Image out = ReadImage(dir / "out.png");
  EXPECT_EQ(out.width, 5);
  EXPECT_EQ(out.height, 4);
  // The plug-in returned the reduced frame as the host handed it over.
  EXPECT_TRUE(cli_test::SamePixels(out, Downsample(input, 2)));
}

TEST(Premultiplied, InputComesBackUnchangedAtStrengthZero) {
  ScratchDir dir;
  Image input = cli_test::MakeImage(16, 16, ChannelLayout::kRGBA, SampleType::kUInt8, 8);
  for (size_t i = 0; i < input.bytes.size(); i += 4)
    for (int c = 1; c < 4; ++c) input.bytes[i + c] = std::min(input.bytes[i + c], input.bytes[i]);
  WriteImage(input, dir / "in.png");
  const auto run = Fxaa({dir / "in.png", "-o", dir / "out.png", "--premultiplied", "--strength", "0"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_TRUE(cli_test::SamePixels(ReadImage(dir / "out.png"), input));
}

TEST(Demo, WritesBeforeAfterAndComparisonAndSaysWhere) {
  ScratchDir dir;
  const std::string folder = dir / "demo";
  const auto run = Fxaa({"demo", "--out", folder});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  const std::string comparison = (fs::path(folder) / "comparison.png").string();
  EXPECT_NE(run.out.find("comparison: " + comparison), std::string::npos) << run.out;
  EXPECT_EQ(dir.Files("demo"), (std::vector<std::string>{"after.png", "before.png", "comparison.png"}));
  const Image before = ReadImage(folder + "/before.png");
  const Image after = ReadImage(folder + "/after.png");
  EXPECT_FALSE(cli_test::SamePixels(before, after));
  EXPECT_GT(ReadImage(comparison).width, 2 * before.width);
}

TEST(PluginFile, MissingOrNotAPluginIsARuntimeErrorNamingTheFile) {
  ScratchDir dir;
  WriteImage(cli_test::MakeImage(4, 4, ChannelLayout::kRGB, SampleType::kUInt8), dir / "in.png");
  const std::string missing = dir / "nowhere/FXAA.so";
  const auto a = cli_test::RunTool({"--plugin", missing, dir / "in.png", "-o", dir / "out.png"});
  EXPECT_EQ(a.status, kExitFailed);
  EXPECT_NE(a.err.find(missing), std::string::npos) << a.err;
  const auto b = cli_test::RunTool({"--plugin", NOT_A_PLUGIN_PATH, "info"});
  EXPECT_EQ(b.status, kExitFailed);
  EXPECT_NE(b.err.find(std::string(NOT_A_PLUGIN_PATH) + ": not an effect plug-in: it has no EffectMain"),
            std::string::npos)
      << b.err;
  EXPECT_FALSE(fs::exists(dir / "out.png"));
}

// What the plug-in declares, asked directly through the host side.
struct Declared {
  std::string about;
  std::vector<PF_ParamDef> params;
  std::map<int, bool> hidden;
  std::map<int, std::string> defaultChoice;  // popups, by index: read while the file is loaded
};

Declared AskThePlugin() {
  Declared d;
  std::string error;
  auto module = host_runtime::PluginModule::Load(FXAA_PLUGIN_PATH, &error);
  EXPECT_NE(module, nullptr) << error;
  if (!module) return d;
  host_runtime::testing::InstrumentedHost host(module->entry());
  EXPECT_EQ(host.GlobalSetup(), 0);
  EXPECT_EQ(host.About(&d.about), 0);
  EXPECT_EQ(host.ParamsSetup(), 0);
  EXPECT_EQ(host.UpdateParamsUI(), 0);
  d.params = host.DeclaredParams();
  for (const host_runtime::ParamState& p : host.Params())
    if (p.type == PF_Param_POPUP) d.defaultChoice[p.index] = p.choices.at(size_t(p.defaultValue) - 1);
  for (const host_runtime::testing::Call& call : host.Calls()) {
    int index, flag, undoable, set;
    if (call.name == "AEGP_SetDynamicStreamFlag" &&
        std::sscanf(call.detail.c_str(), "index %d flag %d undoable %d set %d", &index, &flag, &undoable, &set) == 4 &&
        flag == 2)
      d.hidden[index] = set != 0;
  }
  host.GlobalSetdown();
  return d;
}

TEST(Info, ListsTheAboutTextAndEveryDeclaredParameterAsDeclared) {
  const Declared declared = AskThePlugin();
  ASSERT_FALSE(declared.params.empty());
  const auto run = Fxaa({"info"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  const std::string firstAboutLine = declared.about.substr(0, declared.about.find_first_of("\r\n"));
  EXPECT_NE(run.out.find("  " + firstAboutLine + "\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("(" + std::to_string(declared.params.size()) + " declared"), std::string::npos);

  std::istringstream lines(run.out);
  std::map<int, std::string> rows;  // index -> its line
  for (std::string line; std::getline(lines, line);) {
    int index, id;
    if (std::sscanf(line.c_str(), " %d %d", &index, &id) == 2) rows[index] = line;
  }
  for (size_t i = 0; i < declared.params.size(); ++i) {
    const PF_ParamDef& p = declared.params[i];
    const int index = static_cast<int>(i + 1);
    ASSERT_TRUE(rows.count(index)) << index;
    const std::string& row = rows[index];
    int shownIndex, shownId;
    std::sscanf(row.c_str(), " %d %d", &shownIndex, &shownId);
    EXPECT_EQ(shownId, p.uu.id) << row;
    if (p.name[0]) {
      EXPECT_NE(row.find(p.name), std::string::npos) << row;
    }
    const bool hidden = declared.hidden.count(index) && declared.hidden.at(index);
    EXPECT_EQ(row.find("hidden") != std::string::npos, hidden) << row;
    if (p.param_type == PF_Param_FLOAT_SLIDER) {
      char range[64];
      std::snprintf(range, sizeof(range), "%g to %g", p.u.fs_d.valid_min, p.u.fs_d.valid_max);
      EXPECT_NE(row.find(range), std::string::npos) << row;
    }
  }
}

TEST(Info, TheOptionHelpShowsTheRangesAndDefaultsThePluginDeclares) {
  const Declared declared = AskThePlugin();
  const auto run = Fxaa({"render", "--help"});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  for (const host_runtime::KnownParam& known : host_runtime::KnownParams()) {
    const PF_ParamDef* def = nullptr;
    int index = 0;
    for (size_t i = 0; i < declared.params.size(); ++i)
      if (std::string(declared.params[i].name) == known.name)
        def = &declared.params[i], index = static_cast<int>(i + 1);
    ASSERT_NE(def, nullptr) << known.name;
    char range[96];
    if (def->param_type == PF_Param_POPUP) {
      // The default choice, as the option spells it: "Color" is "color".
      std::snprintf(range, sizeof(range), "; default %s",
                    Lower(declared.defaultChoice.at(index)).c_str());
    } else {
      std::snprintf(range, sizeof(range), "(%g to %g, default %g)", def->u.fs_d.valid_min,
                    def->u.fs_d.valid_max, def->u.fs_d.dephault);
    }
    const size_t line = run.out.find(known.option);
    ASSERT_NE(line, std::string::npos) << known.option;
    EXPECT_NE(run.out.substr(line, run.out.find('\n', line) - line).find(range), std::string::npos)
        << known.option << " should say " << range << "\n" << run.out;
  }
}

}  // namespace
