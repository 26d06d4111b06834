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
#include "hostsim/host_sim.h"
#include "render/thread_render_data.h"
#include "tests/reliability/reliability_support.h"

namespace {

using hostsim::Host;
using hostsim::World;

constexpr int kThreads = 8;
constexpr int kFramesPerThread = 50;
constexpr int kDistinctFrames = 24;
// Far beyond the few seconds the run takes even under the sanitizers; past it the threads are
// taken to be deadlocked.
constexpr auto kDeadline = std::chrono::minutes(5);

struct FrameSpec {
  int width, height, depth, padding, source;
  unsigned seed;
};

std::vector<FrameSpec> MakeSpecs() {
  std::mt19937 rng(8008);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<FrameSpec> specs;
  for (int i = 0; i < kDistinctFrames; ++i)
    specs.push_back({uniform(1, 64), uniform(1, 64), uniform(0, 1) ? 32 : 8, uniform(0, 40),
                     uniform(0, 3) == 0 ? 2 : 1, static_cast<unsigned>(rng())});
  return specs;
}

// Renders `spec` and returns the output world's bytes, padding and guards included.
std::vector<uint8_t> Render(Host& host, const FrameSpec& spec, PF_Err* err) {
  World input(spec.width, spec.height, spec.depth, spec.padding);
  World output(spec.width, spec.height, spec.depth, spec.padding);
  reliability::FillPattern(&input, spec.seed);
  *err = host.SmartRender(&input, &output, spec.depth);
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
  const std::vector<FrameSpec> specs = MakeSpecs();
  for (int source : {1, 2})
    ASSERT_TRUE(std::any_of(specs.begin(), specs.end(),
                            [source](const FrameSpec& s) { return s.source == source; }));

  // Each distinct frame alone, on a thread that then ends.
  std::vector<std::vector<uint8_t>> expected(specs.size());
  std::thread([&] {
    for (size_t i = 0; i < specs.size(); ++i) {
      host.SetParamValue(1, specs[i].source);
      PF_Err err = 0;
      expected[i] = Render(host, specs[i], &err);
      ASSERT_EQ(err, PF_Err_NONE) << "frame " << i;
    }
  }).join();
  ASSERT_EQ(LiveThreadRenderData(), liveBefore);
  // The threads below render with parameters at their defaults except "Source", which each
  // frame's spec fixes; a host-wide value would race between threads, so the frames of each
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
          size_t pick = rng() % specs.size();
          while (specs[pick].source != source) pick = (pick + 1) % specs.size();
          PF_Err err = 0;
          const std::vector<uint8_t> got = Render(host, specs[pick], &err);
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
