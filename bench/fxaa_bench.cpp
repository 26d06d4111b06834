// Times frames rendered through EffectMain of the built plug-in (loaded as the host loads it)
// and, side by side, the same GL work done bare, then prints one markdown table.
//   fxaa_bench [--frames N] [--uhd] [--alpha-all] [--plugin PATH]
// --uhd adds 3840x2160; --alpha-all times alpha mode at every size (it is far slower);
// --memory only renders 1920x1080 colour frames on each path and prints the resident memory
// after each, to tell memory kept per frame from memory reused.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bare_pipeline.h"
#include "hostsim/host_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  int frames = 7;
  bool uhd = false;
  bool alphaAll = false;
  bool memory = false;
  std::string plugin = FXAA_PLUGIN_PATH;
};

struct Size {
  int width, height;
};

// Returns the median of `values` (which it sorts).
double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Returns the milliseconds `frame` takes.
double TimeMs(const std::function<void()>& frame) {
  const auto start = Clock::now();
  frame();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Diagonal stripes and a disc edge with partial alpha: edges everywhere for FXAA to work on.
void FillPattern(hostsim::World& world) {
  const bool floats = world.bitDepth() == 32;
  const float one = floats ? 1.0f : 255.0f;
  const int w = world.width(), h = world.height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool stripe = ((x + 2 * y) / 7) % 2 == 0;
      const float dx = float(x - w / 2), dy = float(y - h / 2);
      const bool disc = dx * dx + dy * dy < float(w * h) / 8.0f;
      const float alpha = disc ? one : (stripe ? one : 0.5f * one);
      world.setChannel(x, y, 0, std::round(alpha));
      world.setChannel(x, y, 1, stripe ? one : 0.0f);
      world.setChannel(x, y, 2, disc ? one : 0.25f * one);
      world.setChannel(x, y, 3, stripe != disc ? one : 0.0f);
    }
  }
}

// Largest difference of any channel between two worlds of the same size and depth.
float MaxDifference(const hostsim::World& a, const hostsim::World& b) {
  float worst = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      for (int c = 0; c < 4; ++c) worst = std::max(worst, std::fabs(a.channel(x, y, c) - b.channel(x, y, c)));
  return worst;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) {
      options->frames = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--uhd") {
      options->uhd = true;
    } else if (arg == "--memory") {
      options->memory = true;
    } else if (arg == "--alpha-all") {
      options->alphaAll = true;
    } else if (arg == "--plugin" && i + 1 < argc) {
      options->plugin = argv[++i];
    } else {
      std::fprintf(stderr, "usage: fxaa_bench [--frames N] [--uhd] [--alpha-all] [--memory] [--plugin PATH]\n");
      return false;
    }
  }
  return true;
}

// Resident memory of the process now, in MiB (0 where /proc cannot tell).
long ResidentMiB() {
  long pages = 0, resident = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(statm);
  return resident * (sysconf(_SC_PAGESIZE) / 1024) / 1024;
}

void PrintRow(const char* path, const Size& size, const char* mode, int depth, int frames,
              double ms) {
  const double megapixels = double(size.width) * size.height / 1e6;
  std::printf("| %s | %dx%d | %s | %d | %d | %.2f | %.2f | %.2f | %ld |\n", path, size.width,
              size.height, mode, depth, frames, ms, 1000.0 / ms, ms / megapixels, ResidentMiB());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return 2;

  std::string error;
  std::unique_ptr<hostsim::PluginModule> module = hostsim::PluginModule::Load(options.plugin, &error);
  if (!module) {
    std::fprintf(stderr, "fxaa_bench: %s\n", error.c_str());
    return 1;
  }
  hostsim::Host host(module->entry());
  if (host.GlobalSetup() != PF_Err_NONE || host.ParamsSetup() != PF_Err_NONE) {
    std::fprintf(stderr, "fxaa_bench: global or parameter set-up failed\n");
    return 1;
  }
  BarePipeline bare;
  if (!bare.ok()) {
    std::fprintf(stderr, "fxaa_bench: the bare pipeline has no context or programs\n");
    return 1;
  }

  // A failed frame would time nothing worth reporting: stop at the first one.
  auto pluginFrame = [&](hostsim::World& in, hostsim::World& out, int depth) {
    const PF_Err err = host.SmartRender(&in, &out, depth);
    if (err != PF_Err_NONE) {
      std::fprintf(stderr, "fxaa_bench: SmartRender failed with %d\n", int(err));
      std::exit(1);
    }
  };

  std::printf("GL_RENDERER: %s\n\n", bare.renderer().c_str());
  if (options.memory) {
    hostsim::World in(1920, 1080, 8), out(1920, 1080, 8);
    FillPattern(in);
    host.SetParamValue(1, 1);
    bare.Configure(1920, 1080, 0);
    for (const char* path : {"plug-in", "bare"}) {
      std::printf("%s, resident MiB after each 1920x1080 colour 8 bpc frame:", path);
      for (int i = 0; i < options.frames; ++i) {
        if (path[0] == 'p') pluginFrame(in, out, 8); else bare.Render(in.get(), out.get(), 8);
        std::printf(" %ld", ResidentMiB());
        std::fflush(stdout);
      }
      std::printf("\n");
    }
    return 0;
  }
  std::printf("| path | size | mode | depth | frames | ms/frame (median) | frames/s | ms/megapixel | resident MiB after |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");

  std::vector<Size> sizes = {{256, 256}, {1280, 720}, {1920, 1080}};
  if (options.uhd) sizes.push_back({3840, 2160});
  double ratio = 0, pluginHd = 0, bareHd = 0;
  float checkDifference = -1;
  for (const Size& size : sizes) {
    for (int mode = 1; mode <= 2; ++mode) {
      const bool alpha = mode == 2;
      if (alpha && !options.alphaAll && size.width * size.height > 1280 * 720) continue;
      const char* modeName = alpha ? "alpha" : "colour";
      // Alpha mode reads 441 more taps a pixel: fewer frames keep the run short.
      const int frames = alpha ? std::max(1, options.frames / 2) : options.frames;
      host.SetParamValue(1, mode);
      bare.Configure(size.width, size.height, mode - 1);
      for (int depth : {8, 32}) {
        hostsim::World in(size.width, size.height, depth), out(size.width, size.height, depth);
        hostsim::World bareOut(size.width, size.height, depth);
        FillPattern(in);
        // One untimed frame each: first-use costs (shader variants, allocations) stay out.
        pluginFrame(in, out, depth);
        bare.Render(in.get(), bareOut.get(), depth);
        if (size.width == 256 && !alpha && depth == 8) checkDifference = MaxDifference(out, bareOut);
        // Alternating frames, so that load from elsewhere falls on both alike.
        std::vector<double> pluginMs, bareMs;
        const bool sideBySide = size.width == 1920 && !alpha;
        for (int i = 0; i < frames; ++i) {
          pluginMs.push_back(TimeMs([&] { pluginFrame(in, out, depth); }));
          if (sideBySide) bareMs.push_back(TimeMs([&] { bare.Render(in.get(), bareOut.get(), depth); }));
        }
        PrintRow("plug-in", size, modeName, depth, frames, Median(pluginMs));
        if (sideBySide) {
          PrintRow("bare", size, modeName, depth, frames, Median(bareMs));
          if (depth == 8) {
            pluginHd = Median(pluginMs);
            bareHd = Median(bareMs);
            ratio = pluginHd / bareHd;
          }
        }
      }
    }
  }

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("\nPlug-in / bare at 1920x1080 colour 8 bpc: %.3f (%.2f ms / %.2f ms)\n", ratio,
              pluginHd, bareHd);
  std::printf("Largest channel difference plug-in vs bare, 256x256 colour 8 bpc: %.0f\n",
              double(checkDifference));
  std::printf("Peak resident memory of the process: %ld MiB\n", usage.ru_maxrss / 1024);
  return 0;
}
