// Eight host threads rendering fifty frames each at once, of random sizes, depths and modes,
// through one set-up effect: no deadlock (a deadline fails the test instead of hanging it),
// every frame equal to the same frame rendered alone, and every thread's render data released
// when the threads end. Linked with the plug-in's objects so the live records can be counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/effect_entry.h"
#include "host_runtime/host.h"
#include "render/thread_render_data.h"
#include "tests/reliability/reliability_support.h"

namespace {

using host_runtime::Host;
using host_runtime::World;

constexpr int kThreads = 8;
constexpr int kFramesPerThread = 50;
constexpr int kDistinctFrames = 24;
// Far beyond the few seconds the run takes even under the sanitizers; past it the threads are
// taken to be deadlocked.
constexpr auto kDeadline = std::chrono::minutes(5);

struct FrameCase {
  int width, height, depth, padding, source;
  unsigned seed;
};

std::vector<FrameCase> MakeCases() {
  std::mt19937 rng(8008);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<FrameCase> cases;
  for (int i = 0; i < kDistinctFrames; ++i)
    cases.push_back({uniform(1, 64), uniform(1, 64), uniform(0, 1) ? 32 : 8, uniform(0, 40),
                     uniform(0, 3) == 0 ? 2 : 1, static_cast<unsigned>(rng())});
  return cases;
}

// Renders `frameCase` and returns the output world's bytes, padding and guards included.
std::vector<uint8_t> Render(Host& host, const FrameCase& frameCase, PF_Err* err) {
  World input(frameCase.width, frameCase.height, frameCase.depth, frameCase.padding);
  World output(frameCase.width, frameCase.height, frameCase.depth, frameCase.padding);
  reliability::FillPattern(&input, frameCase.seed);
  *err = host.SmartRender(&input, &output, frameCase.depth);
  return reliability::RawBytes(output);
}

// Waits for `done` until the deadline; past it the process ends with a failure, since threads
// stuck in a deadlock can be neither joined nor stopped.
void AwaitOrFail(std::mutex& mutex, std::condition_variable& changed, const int& done, int total,
                 const char* what) {
  std::unique_lock<std::mutex> lock(mutex);
  if (!changed.wait_for(lock, kDeadline, [&] { return done == total; })) {
    std::fprintf(stderr, "%s: only %d of %d threads finished before the deadline; deadlock?\n",
                 what, done, total);
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
  }
}

TEST(ThreadRender, EightThreadsOfFiftyFramesMatchTheFramesRenderedAlone) {
  Host host(&EffectMain);
  ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
  const int liveBefore = LiveThreadRenderData();
  const std::vector<FrameCase> cases = MakeCases();
  for (int source : {1, 2})
    ASSERT_TRUE(std::any_of(cases.begin(), cases.end(),
                            [source](const FrameCase& s) { return s.source == source; }));

  // Each distinct frame alone, on a thread that then ends.
  std::vector<std::vector<uint8_t>> expected(cases.size());
  std::thread([&] {
    for (size_t i = 0; i < cases.size(); ++i) {
      host.SetParamValue(1, cases[i].source);
      PF_Err err = 0;
      expected[i] = Render(host, cases[i], &err);
      ASSERT_EQ(err, PF_Err_NONE) << "frame " << i;
    }
  }).join();
  ASSERT_EQ(LiveThreadRenderData(), liveBefore);
  // The threads below render with parameters at their defaults except "Source", which each
  // frame's case fixes; a host-wide value would race between threads, so the frames of each
  // source are rendered in two rounds.
  long threadsBefore = reliability::ThreadCount();
  int framesRendered = 0, mismatches = 0, errors = 0;
  int peakLive = 0;
  for (int source : {1, 2}) {
    host.SetParamValue(1, source);
    std::mutex mutex;
    std::condition_variable changed;
    int done = 0;
    std::atomic<int> rendered{0}, wrong{0}, failed{0}, peak{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        std::mt19937 rng(unsigned(100 * source + t));
        for (int frame = 0; frame < kFramesPerThread; ++frame) {
          size_t pick = rng() % cases.size();
          while (cases[pick].source != source) pick = (pick + 1) % cases.size();
          PF_Err err = 0;
          const std::vector<uint8_t> got = Render(host, cases[pick], &err);
          ++rendered;
          if (err != PF_Err_NONE) ++failed;
          if (got != expected[pick]) ++wrong;
          int live = LiveThreadRenderData(), seen = peak.load();
          while (live > seen && !peak.compare_exchange_weak(seen, live)) {
          }
        }
        std::lock_guard<std::mutex> lock(mutex);
        ++done;
        changed.notify_all();
      });
    AwaitOrFail(mutex, changed, done, kThreads, "ThreadRender");
    for (std::thread& thread : threads) thread.join();
    framesRendered += rendered;
    mismatches += wrong;
    errors += failed;
    peakLive = std::max(peakLive, peak.load());
    EXPECT_EQ(LiveThreadRenderData(), liveBefore) << "every thread's context released, source "
                                                  << source;
  }
  EXPECT_EQ(framesRendered, 2 * kThreads * kFramesPerThread);
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(mismatches, 0) << "frames differ from the same frames rendered alone";
  EXPECT_GT(peakLive, liveBefore + 1) << "the threads never rendered at the same time";
  EXPECT_EQ(reliability::ThreadCount(), threadsBefore) << "threads left behind";
  EXPECT_EQ(host.GlobalSetdown(), PF_Err_NONE);
  EXPECT_EQ(host.OutstandingSuites(), 0);
  EXPECT_EQ(host.OutstandingParams(), 0);
  reliability::ReportFigure("frames rendered by 8 threads at once", framesRendered);
  reliability::ReportFigure("most render threads with live render data at once",
                            peakLive - liveBefore);
}

}  // namespace
