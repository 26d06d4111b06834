#include "bench/bench_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <utility>

#include "bench/bench_stats.h"

namespace fxaa_bench {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Fixed-point text, "n/a" for NaN.
std::string Number(double value, int decimals) {
  if (std::isnan(value)) return "n/a";
  char text[64];
  std::snprintf(text, sizeof(text), "%.*f", decimals, value);
  return text;
}

// Decimals that keep about three significant digits for milliseconds from 0.01 to 10,000.
int MsDecimals(double ms) { return ms >= 100 ? 0 : ms >= 10 ? 1 : ms >= 1 ? 2 : 3; }
std::string Ms(double ms) { return Number(ms, MsDecimals(std::fabs(ms))); }

std::string SizeText(const FrameSize& s) {
  return std::to_string(s.width) + "x" + std::to_string(s.height);
}

std::string CaseText(const CaseResult& c) {
  return SizeText(c.size) + " | " + ModeName(c.mode) + " | " + std::to_string(c.depth);
}

std::string IntervalText(const Interval& i, int decimals) {
  return Number(i.estimate, decimals) + " [" + Number(i.low, decimals) + ", " +
         Number(i.high, decimals) + "]";
}

// The first case of that size, mode and depth, or null.
const CaseResult* Find(const std::vector<CaseResult>& cases, FrameSize size, Mode mode,
                       int depth) {
  for (const CaseResult& c : cases)
    if (c.size.width == size.width && c.size.height == size.height && c.mode == mode &&
        c.depth == depth)
      return &c;
  return nullptr;
}

// The paired part of two series: the bare path may have fewer rounds than the plug-in.
std::pair<std::vector<double>, std::vector<double>> Paired(const CaseResult& c) {
  const size_t n = std::min(c.plugin.size(), c.bare.size());
  return {std::vector<double>(c.plugin.begin(), c.plugin.begin() + long(n)),
          std::vector<double>(c.bare.begin(), c.bare.begin() + long(n))};
}

void WriteFrames(std::ostream& out, const std::vector<CaseResult>& cases) {
  out << "### Frames\n\n"
         "Milliseconds per frame through `EffectMain` (pre-render and render commands), median "
         "and interquartile range over the rounds; the bare pipeline's frames alternate with "
         "them. The ratio is of the medians, with a 95% bootstrap interval over paired rounds. "
         "Peak: resident memory one frame adds at its peak (MiB).\n\n"
         "| size | mode | depth | rounds | plug-in ms | IQR | frames/s | ms per megapixel | "
         "bare ms | plug-in / bare [95%] | peak plug-in | peak bare |\n"
         "|---|---|---|---|---|---|---|---|---|---|---|---|\n";
  for (const CaseResult& c : cases) {
    const Spread p = Summarise(c.plugin);
    const auto paired = Paired(c);
    out << "| " << CaseText(c) << " | " << c.plugin.size() << " | " << Ms(p.median) << " | "
        << Ms(p.q1) << "-" << Ms(p.q3) << " | " << Number(1000.0 / p.median, 2) << " | "
        << Ms(p.median / Megapixels(c.size)) << " | " << Ms(Median(c.bare)) << " | "
        << IntervalText(MedianRatio(paired.first, paired.second), 3) << " | "
        << Number(c.pluginPeakMiB, 0) << " | " << Number(c.barePeakMiB, 0) << " |\n";
  }
  out << "\n";
}

void WriteStages(std::ostream& out, const std::vector<CaseResult>& cases) {
  out << "### Stages of the plug-in's frame\n\n"
         "Milliseconds per stage (median), from the benchmark's copy of the render path with a "
         "`glFinish` and a time stamp after each stage; \"unmarked\" is the plug-in's own frame "
         "(the Frames table), for the cost of the marks.\n\n"
         "| size | mode | depth |";
  for (int s = 0; s < kStageCount; ++s) out << " " << StageName(RenderStage(s)) << " |";
  out << " sum | unmarked |\n|---|---|---|";
  for (int s = 0; s < kStageCount + 2; ++s) out << "---|";
  out << "\n";
  for (const CaseResult& c : cases) {
    if (c.pluginStages.empty()) continue;
    const StageTimes m = MedianStages(c.pluginStages);
    out << "| " << CaseText(c) << " |";
    for (double ms : m) out << " " << Ms(ms) << " |";
    out << " " << Ms(TotalMs(m)) << " | " << Ms(Median(c.plugin)) << " |\n";
  }
  out << "\n";
}

void WriteSideBySide(std::ostream& out, const std::vector<const CaseResult*>& shown) {
  if (shown.empty()) return;
  out << "### Plug-in and bare pipeline stage by stage\n\n"
         "Milliseconds (median) from the copies with stage marks; the bare pipeline has no host "
         "stage.\n\n| stage |";
  for (const CaseResult* c : shown)
    out << " plug-in " << SizeText(c->size) << " " << ModeName(c->mode) << " " << c->depth
        << " | bare | difference |";
  out << "\n|---|";
  for (size_t i = 0; i < shown.size(); ++i) out << "---|---|---|";
  out << "\n";
  for (int s = 0; s <= kStageCount; ++s) {
    out << "| " << (s < kStageCount ? StageName(RenderStage(s)) : "sum") << " |";
    for (const CaseResult* c : shown) {
      const StageTimes p = MedianStages(c->pluginStages), b = MedianStages(c->bareStages);
      const double pv = s < kStageCount ? p[size_t(s)] : TotalMs(p);
      const double bv = s < kStageCount ? b[size_t(s)] : TotalMs(b);
      out << " " << Ms(pv) << " | " << Ms(bv) << " | " << Ms(pv - bv) << " |";
    }
    out << "\n";
  }
  out << "\n";
}

void WriteFixedCost(std::ostream& out, const CaseResult& fixed) {
  if (fixed.plugin.empty()) return;
  const StageTimes p = MedianStages(fixed.pluginStages), b = MedianStages(fixed.bareStages);
  out << "### Fixed cost per frame\n\n"
         "Microseconds (median) at " << SizeText(fixed.size) << " colour " << fixed.depth
      << " bpc over " << fixed.plugin.size()
      << " alternating rounds, where the GPU work is small and what is left is what every frame "
         "costs whatever its size.\n\n"
         "| stage | plug-in | bare | difference |\n|---|---|---|---|\n";
  for (int s = 0; s < kStageCount; ++s)
    out << "| " << StageName(RenderStage(s)) << " | " << Number(p[size_t(s)] * 1000, 0) << " | "
        << Number(b[size_t(s)] * 1000, 0) << " | "
        << Number((p[size_t(s)] - b[size_t(s)]) * 1000, 0) << " |\n";
  out << "| sum of stages | " << Number(TotalMs(p) * 1000, 0) << " | "
      << Number(TotalMs(b) * 1000, 0) << " | " << Number((TotalMs(p) - TotalMs(b)) * 1000, 0)
      << " |\n";
  const auto paired = Paired(fixed);
  Interval d = MedianDifference(paired.first, paired.second);
  out << "| unmarked frame | " << Number(Median(fixed.plugin) * 1000, 0) << " | "
      << Number(Median(fixed.bare) * 1000, 0) << " | "
      << IntervalText({d.estimate * 1000, d.low * 1000, d.high * 1000}, 0) << " |\n\n";
}

void WriteCostGrowth(std::ostream& out, const std::vector<CaseResult>& cases) {
  std::vector<FrameSize> sizes;
  for (const CaseResult& c : cases) {
    bool known = false;
    for (const FrameSize& s : sizes) known |= s.width == c.size.width && s.height == c.size.height;
    if (!known) sizes.push_back(c.size);
  }
  out << "### Cost growth\n\n"
         "Plug-in milliseconds per megapixel (median frame time / megapixels); flat rows mean "
         "the cost grows in proportion to the pixels.\n\n| mode | depth |";
  for (const FrameSize& s : sizes) out << " " << SizeText(s) << " |";
  out << " largest / smallest |\n|---|---|";
  for (size_t i = 0; i <= sizes.size(); ++i) out << "---|";
  out << "\n";
  for (Mode mode : {Mode::kColour, Mode::kAlpha}) {
    for (int depth : {8, 32}) {
      std::vector<double> row;
      for (const FrameSize& s : sizes) {
        const CaseResult* c = Find(cases, s, mode, depth);
        row.push_back(c ? Median(c->plugin) / Megapixels(s) : kNaN);
      }
      double low = kNaN, high = kNaN;
      for (double v : row) {
        if (std::isnan(v)) continue;
        low = std::isnan(low) ? v : std::min(low, v);
        high = std::isnan(high) ? v : std::max(high, v);
      }
      if (std::isnan(low)) continue;
      out << "| " << ModeName(mode) << " | " << depth << " |";
      for (double v : row) out << " " << Ms(v) << " |";
      out << " " << Number(high / low, 2) << " |\n";
    }
  }
  out << "\n";
}

void WriteVerdict(std::ostream& out, const std::vector<CaseResult>& cases, const CaseResult& fixed) {
  out << "### Plug-in overhead at 1920x1080 colour\n\n";
  bool any = false;
  for (int depth : {8, 32}) {
    const CaseResult* c = Find(cases, {1920, 1080}, Mode::kColour, depth);
    if (c == nullptr || c->bare.empty()) continue;
    any = true;
    const auto paired = Paired(*c);
    const Interval ratio = MedianRatio(paired.first, paired.second);
    const double bare = Median(c->bare);
    const double overhead = EstimatedOverheadMs(fixed, *c);
    out << "- " << depth << " bpc, measured side by side over " << paired.first.size()
        << " rounds: plug-in / bare = " << IntervalText(ratio, 3) << " (" << Ms(Median(c->plugin))
        << " ms / " << Ms(bare) << " ms).";
    if (!std::isnan(overhead))
      out << " Estimated from the fixed cost and the host stage: " << Ms(overhead)
          << " ms a frame, " << Number(100.0 * overhead / bare, 2) << "% of the bare frame.";
    out << "\n";
  }
  if (!any) out << "- Not measured in this run.\n";
  out << "\n";
}

}  // namespace

double Megapixels(const FrameSize& size) { return double(size.width) * size.height / 1e6; }

double EstimatedOverheadMs(const CaseResult& fixed, const CaseResult& target) {
  if (fixed.plugin.empty() || fixed.bare.empty() || fixed.pluginStages.empty() ||
      target.pluginStages.empty())
    return kNaN;
  const auto paired = Paired(fixed);
  const double fixedMs = Median(paired.first) - Median(paired.second);
  const size_t host = size_t(RenderStage::kHost);
  const double hostGrowth =
      MedianStages(target.pluginStages)[host] - MedianStages(fixed.pluginStages)[host];
  return fixedMs + hostGrowth;
}

void WriteReport(std::ostream& out, const Environment& environment,
                 const std::vector<CaseResult>& cases, const CaseResult& fixed) {
  out << "GL_RENDERER: " << environment.renderer << "  \nGL_VERSION: " << environment.version
      << "  \nCPU: " << environment.cpu << ", " << environment.cores
      << " cores; load average at start: " << environment.loadAverage << "  \nMemory: "
      << environment.memory << "\n\n";
  WriteVerdict(out, cases, fixed);
  WriteFrames(out, cases);
  WriteStages(out, cases);
  std::vector<const CaseResult*> shown;
  for (int depth : {8, 32}) {
    const CaseResult* c = Find(cases, {1920, 1080}, Mode::kColour, depth);
    if (c != nullptr && !c->pluginStages.empty() && !c->bareStages.empty()) shown.push_back(c);
  }
  WriteSideBySide(out, shown);
  WriteFixedCost(out, fixed);
  WriteCostGrowth(out, cases);
}

void WritePlotData(std::ostream& out, const std::vector<CaseResult>& cases) {
  bool first = true;
  for (Mode mode : {Mode::kColour, Mode::kAlpha}) {
    for (int depth : {8, 32}) {
      if (!first) out << "\n\n";
      first = false;
      out << "# " << ModeName(mode) << " " << depth
          << " bpc: megapixels, plug-in ms (median, q1, q3), bare ms (median)\n";
      // By size, so that the plotted lines run from small frames to large ones.
      std::vector<const CaseResult*> block;
      for (const CaseResult& c : cases)
        if (c.mode == mode && c.depth == depth && !c.plugin.empty()) block.push_back(&c);
      std::stable_sort(block.begin(), block.end(), [](const CaseResult* a, const CaseResult* b) {
        return Megapixels(a->size) < Megapixels(b->size);
      });
      for (const CaseResult* pc : block) {
        const CaseResult& c = *pc;
        const Spread p = Summarise(c.plugin);
        out << Megapixels(c.size) << "\t" << p.median << "\t" << p.q1 << "\t" << p.q3 << "\t"
            << Median(c.bare) << "\n";
      }
    }
  }
}

}  // namespace fxaa_bench
