// What fxaa_bench measured, and its markdown tables and plot data.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/stage_clock.h"

namespace fxaa_bench {

// One size, mode and depth. Frame times in milliseconds, one entry per round; plug-in and bare
// frames of one round ran next to each other.
struct CaseResult {
  FrameSize size;
  Mode mode = Mode::kColour;
  int depth = 8;
  std::vector<double> plugin, bare;
  std::vector<StageTimes> pluginStages, bareStages;  // from the copies with stage marks
  double pluginPeakMiB = 0, barePeakMiB = 0;         // resident memory a frame adds at its peak
  double seconds = 0;                                // the case's wall time
};

struct Environment {
  std::string renderer;  // GL_RENDERER
  std::string version;   // GL_VERSION
  std::string cpu;       // model name
  int cores = 0;
  std::string loadAverage;
  std::string memory;  // the allocator and what it does with freed memory
};

// Megapixels of a frame size.
double Megapixels(const FrameSize& size);

// The CPU-side cost the plug-in adds to a frame of `target`'s size, estimated from the fixed
// cost measured on tiny frames (plug-in minus bare, all stages) plus the growth of the host
// stage (the output clear) from the tiny frame's size to the target's. NaN without data.
double EstimatedOverheadMs(const CaseResult& fixed, const CaseResult& target);

// The whole report: environment, frames, stages, the side-by-side comparison, the fixed cost
// and cost growth. `fixed` may have no frames (not measured).
void WriteReport(std::ostream& out, const Environment& environment,
                 const std::vector<CaseResult>& cases, const CaseResult& fixed);

// Tab-separated medians, one block per mode and depth (blocks apart by two blank lines, as
// gnuplot's "index" reads them): megapixels, plug-in ms, first and third quartile, bare ms.
void WritePlotData(std::ostream& out, const std::vector<CaseResult>& cases);

}  // namespace fxaa_bench
