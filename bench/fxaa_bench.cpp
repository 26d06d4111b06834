// fxaa_bench: renders frames through EffectMain of the built plug-in, loaded as the host loads
// it, and beside them the same GL work done bare; times both in alternation, and the stages of
// each from copies that mark them. Prints markdown tables (docs/performance.md explains them).
#include <unistd.h>

#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bare_pipeline.h"
#include "bench/bench_options.h"
#include "bench/bench_report.h"
#include "bench/stage_clock.h"
#include "cli/process_memory.h"
#include "host/effect_entry.h"
#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"

namespace fxaa_bench {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when unreadable.
long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, field.size() + 1, field + ":") == 0)
      return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return -1;
}

// The process's peak resident size over the whole run, in KiB, as far as resets have hidden it.
long g_runPeakKiB = 0;

// Sets the process's peak resident size back to its current one (Linux 4.0 on).
bool ResetPeakResident() {
  g_runPeakKiB = std::max(g_runPeakKiB, StatusKiB("VmHWM"));
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return clear.good();
}

// Runs `frame` and returns the resident memory it added at its peak, in MiB: freed memory is
// handed back first, so that the frame's own allocations show. NaN where the peak cannot be
// reset.
double TransientPeakMiB(const std::function<void()>& frame) {
  fxaa_cli::HandBackFreedMemory();
  const long before = StatusKiB("VmRSS");
  const bool reset = ResetPeakResident() && before >= 0;
  frame();
  const long peak = StatusKiB("VmHWM");
  if (!reset || peak < 0) return std::numeric_limits<double>::quiet_NaN();
  return double(peak - before) / 1024.0;
}

// Diagonal stripes and a disc edge with partial alpha: edges everywhere for FXAA to work on.
void FillPattern(host_runtime::World& world) {
  const float one = world.bitDepth() == 32 ? 1.0f : 255.0f;
  const int w = world.width(), h = world.height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool stripe = ((x + 2 * y) / 7) % 2 == 0;
      const float dx = float(x - w / 2), dy = float(y - h / 2);
      const bool disc = dx * dx + dy * dy < float(w) * float(h) / 8.0f;
      const float alpha = disc ? one : (stripe ? one : 0.5f * one);
      world.setChannel(x, y, 0, std::round(alpha));
      world.setChannel(x, y, 1, stripe ? one : 0.0f);
      world.setChannel(x, y, 2, disc ? one : 0.25f * one);
      world.setChannel(x, y, 3, stripe != disc ? one : 0.0f);
    }
  }
}

// Whether two worlds of one size and depth hold the same pixels, byte for byte.
bool SamePixels(const host_runtime::World& a, const host_runtime::World& b) {
  const size_t bytes = size_t(a.width()) * size_t(a.bytesPerPixel());
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.row(y), b.row(y), bytes) != 0) return false;
  return true;
}

// One plug-in driven by a host: each frame is a pre-render and a render command, as the host
// sends them.
class PluginPath {
 public:
  explicit PluginPath(PF_FilterProc entry) : host_(entry) {}
  ~PluginPath() {
    if (setUp_) host_.GlobalSetdown();
  }

  bool SetUp() {
    setUp_ = host_.GlobalSetup() == PF_Err_NONE;
    return setUp_ && host_.ParamsSetup() == PF_Err_NONE;
  }
  void SetMode(Mode mode) { host_.SetParamValue(1, int(mode)); }

  PF_Err Render(host_runtime::World& in, host_runtime::World& out, int depth) {
    host_runtime::PreRenderSetup setup;
    setup.request.rect = {0, 0, in.width(), in.height()};
    setup.bitDepth = short(depth);
    setup.layerWidth = in.width();
    setup.layerHeight = in.height();
    PF_PreRenderOutput pre{};
    PF_Err err = host_.SmartPreRender(setup, &pre);
    if (err == PF_Err_NONE) err = host_.SmartRender(&in, &out, depth);
    if (pre.pre_render_data != nullptr && pre.delete_pre_render_data_func != nullptr)
      pre.delete_pre_render_data_func(pre.pre_render_data);
    return err;
  }

 private:
  host_runtime::Host host_;
  bool setUp_ = false;
};

// Everything that renders: the plug-in file, the copy with stage marks, the bare pipeline.
struct Paths {
  PluginPath& plugin;
  PluginPath& staged;
  BarePipeline& bare;
  StageClock clock;
};

[[noreturn]] void Fail(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "fxaa_bench: %s\n", message.c_str());
  std::exit(1);
}

std::string Describe(const FrameSize& size, Mode mode, int depth) {
  return std::to_string(size.width) + "x" + std::to_string(size.height) + " " + ModeName(mode) +
         " " + std::to_string(depth) + " bpc";
}

// How many rounds a case runs: plug-in and bare frames, and of those how many also have staged
// frames.
struct RoundPlan {
  int rounds;        // plug-in and bare frames, at most
  int stagedRounds;  // staged frames, at most (the first rounds)
  bool capped;       // stop early after minFrames once caseSeconds have passed
  bool bareStaged;   // the bare pipeline's stages too (only compared where frames are quick)
};

CaseResult RunCase(Paths& paths, FrameSize size, Mode mode, int depth, const RoundPlan& plan,
                   const Options& options) {
  const auto caseStart = Clock::now();
  CaseResult result;
  result.size = size;
  result.mode = mode;
  result.depth = depth;
  const std::string name = Describe(size, mode, depth);

  host_runtime::World in(size.width, size.height, depth);
  host_runtime::World pluginOut(size.width, size.height, depth), bareOut(size.width, size.height, depth);
  host_runtime::World stagedOut(size.width, size.height, depth);
  host_runtime::World bareStagedOut(size.width, size.height, depth);
  FillPattern(in);
  paths.plugin.SetMode(mode);
  paths.staged.SetMode(mode);
  paths.bare.Configure(size.width, size.height, int(mode) - 1);

  auto pluginFrame = [&] {
    if (paths.plugin.Render(in, pluginOut, depth) != PF_Err_NONE) Fail(name + ": the plug-in failed");
  };
  auto bareFrame = [&] { paths.bare.Render(in.get(), bareOut.get(), depth); };
  auto stagedFrame = [&] {
    paths.clock.Start();
    StageClock::SetActive(&paths.clock);
    const PF_Err err = paths.staged.Render(in, stagedOut, depth);
    paths.clock.Done(RenderStage::kHost);  // the commands' tails: check-ins, suite releases
    StageClock::SetActive(nullptr);
    if (err != PF_Err_NONE) Fail(name + ": the staged copy of the plug-in failed");
    result.pluginStages.push_back(paths.clock.times());
  };
  auto bareStagedFrame = [&] {
    if (!plan.bareStaged) return;
    paths.clock.Start();
    paths.bare.Render(in.get(), bareStagedOut.get(), depth, &paths.clock);
    result.bareStages.push_back(paths.clock.times());
  };

  // An untimed round first: each path's memory peak, and proof that all paths draw the same
  // pixels (otherwise the bare pipeline would not be doing the plug-in's work).
  result.pluginPeakMiB = TransientPeakMiB(pluginFrame);
  result.barePeakMiB = TransientPeakMiB(bareFrame);
  stagedFrame();
  bareStagedFrame();
  result.pluginStages.clear();
  result.bareStages.clear();
  if (!SamePixels(pluginOut, bareOut)) Fail(name + ": the bare pipeline's pixels differ");
  if (!SamePixels(pluginOut, stagedOut)) Fail(name + ": the staged copy's pixels differ");
  if (plan.bareStaged && !SamePixels(pluginOut, bareStagedOut))
    Fail(name + ": the staged bare pixels differ");

  const auto timedStart = Clock::now();
  for (int round = 0; round < plan.rounds; ++round) {
    const bool early = round < options.minFrames;
    const bool inTime = MsSince(timedStart) < options.caseSeconds * 1000.0;
    if (plan.capped && !early && !inTime) break;
    const bool staged = round < plan.stagedRounds && (early || inTime);
    // Alternate the order, so that neither path always runs on the other's leftovers.
    const bool pluginFirst = round % 2 == 0;
    for (int step = 0; step < 2; ++step) {
      if ((step == 0) == pluginFirst) {
        const auto start = Clock::now();
        pluginFrame();
        result.plugin.push_back(MsSince(start));
      } else {
        const auto start = Clock::now();
        bareFrame();
        result.bare.push_back(MsSince(start));
      }
    }
    if (staged) {
      if (pluginFirst) {
        stagedFrame();
        bareStagedFrame();
      } else {
        bareStagedFrame();
        stagedFrame();
      }
    }
  }
  result.seconds = MsSince(caseStart) / 1000.0;
  if (plan.rounds > 0)
    std::fprintf(stderr, "fxaa_bench: %s: %zu rounds, %.1f s\n", name.c_str(), result.plugin.size(),
               result.seconds);
  return result;
}

std::string ReadFirstLine(const char* path, const std::string& prefix) {
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (prefix.empty()) return line;
    if (line.compare(0, prefix.size(), prefix) == 0) {
      const size_t colon = line.find(':');
      return colon == std::string::npos ? line : line.substr(line.find_first_not_of(" \t", colon + 1));
    }
  }
  return "unknown";
}

Environment DescribeEnvironment(const BarePipeline& bare) {
  Environment e;
  e.renderer = bare.renderer();
  e.version = bare.version();
  e.cpu = ReadFirstLine("/proc/cpuinfo", "model name");
  e.cores = int(sysconf(_SC_NPROCESSORS_ONLN));
  std::istringstream load(ReadFirstLine("/proc/loadavg", ""));
  std::string one, five, fifteen;
  load >> one >> five >> fifteen;
  e.loadAverage = one + " " + five + " " + fifteen;
  return e;
}

int Run(const Options& options) {
  const std::string pluginFile = options.plugin.empty() ? FXAA_PLUGIN_PATH : options.plugin;
  std::string error;
  std::unique_ptr<host_runtime::PluginModule> module = host_runtime::PluginModule::Load(pluginFile, &error);
  if (!module) Fail(error);
  PluginPath plugin(module->entry());
  if (!plugin.SetUp()) Fail(pluginFile + ": global or parameter set-up failed");
  // The same sources, linked in with stage marks compiled in.
  PluginPath staged(&EffectMain);
  if (!staged.SetUp()) Fail("the staged copy's global or parameter set-up failed");
  BarePipeline bare;
  if (!bare.ok()) Fail("the bare pipeline has no context or programs");
  Paths paths{plugin, staged, bare, StageClock()};
  Environment environment = DescribeEnvironment(bare);
  environment.memory = fxaa_cli::AllocatorName();
  if (environment.memory == "jemalloc")
    environment.memory += options.releaseMemory
                              ? ", freed memory handed back at once (`--memory release`)"
                              : ", freed memory kept for the next frames (`--memory keep`)";

  // Each context compiles its programs on its first draws: that stays out of every case.
  for (Mode mode : {Mode::kColour, Mode::kAlpha})
    for (int depth : {8, 32}) RunCase(paths, {64, 64}, mode, depth, {0, 0, false, true}, options);

  std::vector<CaseResult> cases;
  for (const FrameSize& size : options.sizes) {
    for (Mode mode : options.modes) {
      for (int depth : options.depths) {
        const bool ratioCase = size.width == 1920 && size.height == 1080 && mode == Mode::kColour;
        // Alpha frames are slow: their bare stages would add minutes and are not compared.
        RoundPlan plan{options.frames, options.frames, true, mode == Mode::kColour};
        if (ratioCase && options.ratioFrames > options.frames) {
          plan.rounds = options.ratioFrames;
          plan.capped = false;
        }
        cases.push_back(RunCase(paths, size, mode, depth, plan, options));
      }
    }
  }
  CaseResult fixed;
  if (options.fixedFrames > 0) {
    Options all = options;
    all.minFrames = options.fixedFrames;
    fixed = RunCase(paths, {64, 64}, Mode::kColour, 8,
                    {options.fixedFrames, options.fixedFrames, false, true}, all);
  }

  WriteReport(std::cout, environment, cases, fixed);
  std::cout << "Peak resident memory of the process: "
            << std::max(g_runPeakKiB, StatusKiB("VmHWM")) / 1024 << " MiB.\n";
  std::cout.flush();
  if (!options.dataFile.empty()) {
    std::ofstream data(options.dataFile);
    WritePlotData(data, cases);
    if (!data.good()) Fail(options.dataFile + ": cannot write the plot data");
  }
  return 0;
}

}  // namespace
}  // namespace fxaa_bench

int main(int argc, char** argv) {
  fxaa_bench::Options options;
  std::string error;
  if (!fxaa_bench::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::fprintf(stderr, "%s%s", error.c_str(), error.back() == '\n' ? "" : "\n");
    return error == fxaa_bench::UsageText() ? 0 : 2;
  }
  // Before the renderer starts any thread.
  if (options.releaseMemory && !fxaa_cli::ReleaseFreedMemoryAtOnce()) {
    std::fprintf(stderr, "fxaa_bench: --memory release: %s allocator has no such setting\n",
                 fxaa_cli::AllocatorName());
    return 2;
  }
  return fxaa_bench::Run(options);
}
