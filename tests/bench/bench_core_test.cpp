// The benchmark's arithmetic and bookkeeping: quantiles, paired bootstrap intervals, stage
// accounting, the overhead estimate, its command line and its report. Nothing here renders.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/bench_report.h"
#include "bench/bench_stats.h"
#include "bench/stage_clock.h"

namespace {

using namespace fxaa_bench;

TEST(BenchStats, QuantilesInterpolateBetweenOrderStatistics) {
  struct Case {
    std::vector<double> values;
    double q, expected;
  };
  const Case cases[] = {
      {{4, 1, 3, 2}, 0.5, 2.5},  // unsorted input, even count
      {{4, 1, 3, 2}, 0.25, 1.75},
      {{4, 1, 3, 2}, 0.75, 3.25},
      {{7, 1, 5}, 0.5, 5},
      {{9}, 0.9, 9},
      {{2, 8}, 0.0, 2},
      {{2, 8}, 1.0, 8},
      {{2, 8}, 2.0, 8},  // clamped
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Quantile(c.values, c.q), c.expected) << c.q;
  EXPECT_TRUE(std::isnan(Median({})));
  const Spread s = Summarise({10, 20, 30, 40, 50});
  EXPECT_EQ(s.count, 5u);
  EXPECT_DOUBLE_EQ(s.median, 30);
  EXPECT_DOUBLE_EQ(s.q1, 20);
  EXPECT_DOUBLE_EQ(s.q3, 40);
}

// Load that swings both paths alike by a factor of three, with the plug-in always 10% slower.
void DriftingPairs(std::vector<double>* plugin, std::vector<double>* bare) {
  for (int i = 0; i < 40; ++i) {
    const double load = 1.0 + 2.0 * ((i * 7) % 11) / 10.0;
    bare->push_back(100 * load);
    plugin->push_back(110 * load);
  }
}

TEST(BenchStats, PairedResamplingCancelsLoadSharedByBothPaths) {
  std::vector<double> plugin, bare;
  DriftingPairs(&plugin, &bare);
  const Interval ratio = MedianRatio(plugin, bare);
  EXPECT_NEAR(ratio.estimate, 1.1, 1e-12);
  // Every resampled pair keeps the 1.1 ratio, so the interval collapses onto it; resampling the
  // two series apart would spread it across the load's range.
  EXPECT_NEAR(ratio.low, 1.1, 1e-12);
  EXPECT_NEAR(ratio.high, 1.1, 1e-12);
}

TEST(BenchStats, IntervalsBracketTheEstimateAndRepeatForASeed) {
  std::vector<double> plugin = {10, 12, 9, 15, 11, 10, 30, 12};
  std::vector<double> bare = {10, 10, 11, 12, 10, 9, 12, 11};
  const Interval a = MedianRatio(plugin, bare, 0.95, 2000, 5);
  const Interval b = MedianRatio(plugin, bare, 0.95, 2000, 5);
  EXPECT_EQ(a.low, b.low);
  EXPECT_EQ(a.high, b.high);
  EXPECT_LE(a.low, a.estimate);
  EXPECT_GE(a.high, a.estimate);
  EXPECT_LT(a.low, a.high);
  const Interval d = MedianDifference(plugin, bare);
  EXPECT_DOUBLE_EQ(d.estimate, Median(plugin) - Median(bare));
  EXPECT_LE(d.low, d.estimate);
  EXPECT_GE(d.high, d.estimate);
}

TEST(BenchStats, UnpairedOrEmptySeriesGiveNoInterval) {
  for (const auto& pair : {std::make_pair(std::vector<double>{1, 2}, std::vector<double>{1}),
                           std::make_pair(std::vector<double>{}, std::vector<double>{})}) {
    const Interval i = MedianRatio(pair.first, pair.second);
    EXPECT_TRUE(std::isnan(i.estimate) && std::isnan(i.low) && std::isnan(i.high));
  }
}

// A stage clock on a clock the test moves by hand.
struct ManualClock {
  double now = 0;
  int waits = 0;
  StageClock clock{[this] { return now; }, [this] { ++waits; }};
};

TEST(StageClockTest, EachMarkWaitsForTheGpuAndChargesTheTimeSinceThePreviousMark) {
  ManualClock m;
  m.now = 10.0;
  m.clock.Start();
  struct Step {
    double at;
    RenderStage stage;
  };
  const Step steps[] = {{10.001, RenderStage::kHost},           {10.011, RenderStage::kTargetCreation},
                        {10.012, RenderStage::kUpload},         {10.042, RenderStage::kSwizzlePass},
                        {10.045, RenderStage::kRelease},        {10.055, RenderStage::kTargetCreation},
                        {10.555, RenderStage::kFxaaPass},       {10.575, RenderStage::kReadBack},
                        {10.580, RenderStage::kRelease},        {10.581, RenderStage::kHost}};
  for (const Step& s : steps) {
    m.now = s.at;
    m.clock.Done(s.stage);
  }
  EXPECT_EQ(m.waits, 10);
  const StageTimes& t = m.clock.times();
  const double expected[kStageCount] = {2, 0, 20, 1, 30, 500, 20, 8};  // ms, in RenderStage order
  for (int s = 0; s < kStageCount; ++s)
    EXPECT_NEAR(t[size_t(s)], expected[s], 1e-6) << StageName(RenderStage(s));
  EXPECT_NEAR(TotalMs(t), 581, 1e-6);

  // A new frame starts from zero and from its own start.
  m.now = 20.0;
  m.clock.Start();
  m.now = 20.004;
  m.clock.Done(RenderStage::kUpload);
  EXPECT_NEAR(TotalMs(m.clock.times()), 4, 1e-6);
  EXPECT_NEAR(m.clock.times()[size_t(RenderStage::kUpload)], 4, 1e-6);
}

TEST(StageClockTest, RenderPathMarksReachOnlyTheActiveClock) {
  ManualClock m;
  m.clock.Start();
  m.now = 0.003;
  MarkRenderStage(RenderStage::kUpload);  // no active clock: nothing happens
  EXPECT_EQ(m.waits, 0);
  StageClock::SetActive(&m.clock);
  MarkRenderStage(RenderStage::kFxaaPass);
  StageClock::SetActive(nullptr);
  MarkRenderStage(RenderStage::kReadBack);
  EXPECT_EQ(m.waits, 1);
  EXPECT_NEAR(m.clock.times()[size_t(RenderStage::kFxaaPass)], 3, 1e-9);
  EXPECT_EQ(m.clock.times()[size_t(RenderStage::kReadBack)], 0);
}

TEST(StageClockTest, MediansAreTakenStageByStage) {
  StageTimes a{}, b{}, c{};
  a[0] = 1, b[0] = 5, c[0] = 3;
  a[5] = 100, b[5] = 90, c[5] = 300;
  const StageTimes m = MedianStages({a, b, c});
  EXPECT_EQ(m[0], 3);
  EXPECT_EQ(m[5], 100);
  EXPECT_EQ(m[1], 0);
  EXPECT_EQ(MedianStages({})[0], 0);
}

TEST(BenchOptions, ParsesEveryOption) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--sizes", "64x32,3840x2160", "--modes", "alpha", "--depths", "32",
                            "--frames", "4", "--min-frames", "9", "--case-seconds", "2.5",
                            "--ratio-frames", "0", "--fixed-frames", "7", "--data", "d.tsv",
                            "--plugin", "p.so", "--memory", "release"},
                           &o, &error))
      << error;
  ASSERT_EQ(o.sizes.size(), 2u);
  EXPECT_EQ(o.sizes[0].width, 64);
  EXPECT_EQ(o.sizes[0].height, 32);
  EXPECT_EQ(o.sizes[1].width, 3840);
  ASSERT_EQ(o.modes.size(), 1u);
  EXPECT_EQ(o.modes[0], Mode::kAlpha);
  EXPECT_EQ(o.depths, std::vector<int>{32});
  EXPECT_EQ(o.frames, 4);
  EXPECT_EQ(o.minFrames, 4);  // never more than --frames
  EXPECT_EQ(o.caseSeconds, 2.5);
  EXPECT_EQ(o.ratioFrames, 0);
  EXPECT_EQ(o.fixedFrames, 7);
  EXPECT_EQ(o.dataFile, "d.tsv");
  EXPECT_EQ(o.plugin, "p.so");
  EXPECT_TRUE(o.releaseMemory);
  Options defaults;
  ASSERT_TRUE(ParseOptions({}, &defaults, &error));
  EXPECT_FALSE(defaults.releaseMemory);  // kept, as the tool keeps it
}

TEST(BenchOptions, RefusesBadArgumentsNamingThem) {
  const std::vector<std::vector<std::string>> bad = {
      {"--sizes", "1920"},       {"--sizes", "0x10"},        {"--sizes", "64x64,"},
      {"--sizes", "20000x10"},   {"--modes", "luma"},        {"--depths", "16"},
      {"--frames", "0"},         {"--frames", "3x"},         {"--fixed-frames", "-1"},
      {"--case-seconds", "0"},   {"--frames"},               {"--speed", "2"},
      {"--memory", "hold"},      {"extra"},
  };
  for (const auto& args : bad) {
    Options o;
    std::string error;
    EXPECT_FALSE(ParseOptions(args, &o, &error)) << args[0];
    EXPECT_NE(error.find(args[0]), std::string::npos) << error;
  }
  Options o;
  std::string error;
  EXPECT_FALSE(ParseOptions({"--help"}, &o, &error));
  EXPECT_EQ(error, UsageText());
}

CaseResult MakeCase(FrameSize size, Mode mode, int depth, double pluginMs, double bareMs,
                    double hostMs) {
  CaseResult c;
  c.size = size;
  c.mode = mode;
  c.depth = depth;
  for (int i = 0; i < 5; ++i) {
    c.plugin.push_back(pluginMs + i * 0.01 * pluginMs);
    c.bare.push_back(bareMs + i * 0.01 * bareMs);
    StageTimes p{}, b{};
    p[size_t(RenderStage::kHost)] = hostMs;
    p[size_t(RenderStage::kFxaaPass)] = pluginMs - hostMs;
    b[size_t(RenderStage::kFxaaPass)] = bareMs;
    c.pluginStages.push_back(p);
    c.bareStages.push_back(b);
  }
  return c;
}

TEST(BenchReport, OverheadIsTheFixedCostPlusTheHostStagesGrowth) {
  const CaseResult fixed = MakeCase({64, 64}, Mode::kColour, 8, 1.2, 1.0, 0.05);
  const CaseResult hd = MakeCase({1920, 1080}, Mode::kColour, 8, 150, 148, 2.05);
  // (1.224 - 1.02) between the medians, then 2.05 - 0.05 of host stage.
  EXPECT_NEAR(EstimatedOverheadMs(fixed, hd), 0.204 + 2.0, 1e-9);
  EXPECT_TRUE(std::isnan(EstimatedOverheadMs(CaseResult{}, hd)));
}

TEST(BenchReport, TablesCarryEveryCaseAndTheSideBySideRatio) {
  const std::vector<CaseResult> cases = {
      MakeCase({256, 256}, Mode::kColour, 8, 4, 4, 0.1),
      MakeCase({1920, 1080}, Mode::kColour, 8, 165, 150, 2),
      MakeCase({1920, 1080}, Mode::kAlpha, 32, 1700, 1690, 5),
  };
  const CaseResult fixed = MakeCase({64, 64}, Mode::kColour, 8, 1.2, 1.0, 0.05);
  Environment environment;
  environment.renderer = "llvmpipe (test)";
  std::ostringstream out;
  WriteReport(out, environment, cases, fixed);
  const std::string text = out.str();
  for (const char* expected :
       {"GL_RENDERER: llvmpipe (test)", "| 256x256 | colour | 8 | 5 |", "| 1920x1080 | alpha | 32 | 5 |",
        "plug-in / bare = 1.100 [1.100, 1.100]", "### Plug-in and bare pipeline stage by stage",
        "### Fixed cost per frame", "| colour | 8 |"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST(BenchReport, PlotDataHasOneBlockPerModeAndDepth) {
  const std::vector<CaseResult> cases = {
      MakeCase({256, 256}, Mode::kAlpha, 8, 40, 40, 0.1),
      MakeCase({1920, 1080}, Mode::kColour, 32, 150, 140, 2),
      MakeCase({256, 256}, Mode::kColour, 32, 4, 4, 0.1),
  };
  std::ostringstream out;
  WritePlotData(out, cases);
  // Blocks apart by two blank lines: colour 8, colour 32, alpha 8, alpha 32.
  std::vector<std::string> blocks(1);
  std::istringstream in(out.str());
  int blank = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) {
      if (++blank == 2) blocks.emplace_back();
      continue;
    }
    blank = 0;
    if (line[0] != '#') blocks.back() += line + "\n";
  }
  ASSERT_EQ(blocks.size(), 4u) << out.str();
  EXPECT_EQ(blocks[0], "");
  // Smallest frame first whatever the order measured; medians of 1.00x .. 1.04x the base.
  EXPECT_EQ(blocks[1].find("0.065536\t4.08\t"), 0u) << blocks[1];
  EXPECT_NE(blocks[1].find("\n2.0736\t153\t"), std::string::npos) << blocks[1];
  EXPECT_EQ(blocks[2].find("0.065536\t40.8\t"), 0u) << blocks[2];
  EXPECT_EQ(blocks[3], "");
}

}  // namespace
