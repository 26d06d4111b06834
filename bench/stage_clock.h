// Times the stages of frames: a frame starts, each mark waits for the GPU and adds the time since
// the previous mark to the stage that has just ended. The plug-in's staged copy of the render path
// reaches the active clock through MarkRenderStage; the bare pipeline marks the same stages itself.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "render/render_stages.h"

namespace fxaa_bench {

constexpr int kStageCount = static_cast<int>(RenderStage::kCount);

// Milliseconds spent in each stage of one frame.
using StageTimes = std::array<double, kStageCount>;

// Column headings, in RenderStage order: "host", "context switch", ...
const char* StageName(RenderStage stage);

class StageClock {
 public:
  // `now` gives seconds on a steady clock; `waitForGpu` finishes the GPU work issued so far.
  // The defaults use std::chrono::steady_clock and glFinish on the current context.
  StageClock();
  StageClock(std::function<double()> now, std::function<void()> waitForGpu);

  // Begins a frame: the stage times start from zero and from now.
  void Start();
  // Waits for the GPU, then adds the time since the previous mark (or Start) to `finished`.
  void Done(RenderStage finished);
  // The current frame's times.
  const StageTimes& times() const { return times_; }

  // The clock MarkRenderStage reports to (none: marks do nothing).
  static void SetActive(StageClock* clock);

 private:
  std::function<double()> now_;
  std::function<void()> waitForGpu_;
  double last_ = 0;
  StageTimes times_{};
};

// Sum of a frame's stage times.
double TotalMs(const StageTimes& times);

// Per stage, the median over frames.
StageTimes MedianStages(const std::vector<StageTimes>& frames);

}  // namespace fxaa_bench
