#include "bench/stage_clock.h"

#include <EGL/egl.h>
#include <GL/glew.h>

#include <chrono>
#include <numeric>

#include "bench/bench_stats.h"

namespace fxaa_bench {
namespace {

StageClock* g_active = nullptr;

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// glFinish on the calling thread's context; nothing when none is current.
void FinishCurrentContext() {
  if (eglGetCurrentContext() != EGL_NO_CONTEXT) glFinish();
}

}  // namespace

const char* StageName(RenderStage stage) {
  switch (stage) {
    case RenderStage::kHost: return "host";
    case RenderStage::kContextSwitch: return "context switch";
    case RenderStage::kTargetCreation: return "target creation";
    case RenderStage::kUpload: return "upload";
    case RenderStage::kSwizzlePass: return "swizzle pass";
    case RenderStage::kFxaaPass: return "FXAA pass";
    case RenderStage::kReadBack: return "read-back";
    case RenderStage::kRelease: return "release";
    case RenderStage::kCount: break;
  }
  return "?";
}

StageClock::StageClock() : StageClock(SteadySeconds, FinishCurrentContext) {}

StageClock::StageClock(std::function<double()> now, std::function<void()> waitForGpu)
    : now_(std::move(now)), waitForGpu_(std::move(waitForGpu)) {}

void StageClock::Start() {
  times_.fill(0);
  last_ = now_();
}

void StageClock::Done(RenderStage finished) {
  waitForGpu_();
  const double now = now_();
  const int index = static_cast<int>(finished);
  if (index >= 0 && index < kStageCount) times_[size_t(index)] += (now - last_) * 1000.0;
  last_ = now;
}

void StageClock::SetActive(StageClock* clock) { g_active = clock; }

double TotalMs(const StageTimes& times) { return std::accumulate(times.begin(), times.end(), 0.0); }

StageTimes MedianStages(const std::vector<StageTimes>& frames) {
  StageTimes medians{};
  for (size_t s = 0; s < medians.size(); ++s) {
    std::vector<double> values;
    for (const StageTimes& frame : frames) values.push_back(frame[s]);
    medians[s] = values.empty() ? 0.0 : Median(values);
  }
  return medians;
}

}  // namespace fxaa_bench

// The staged copy of the render path calls this at the end of each stage.
void MarkRenderStage(RenderStage finished) {
  if (fxaa_bench::g_active != nullptr) fxaa_bench::g_active->Done(finished);
}
