// fxaa_tool_bench: the fxaa tool's throughput on numbered PNG sequences, against their pure render
// time. For each kind of frame it writes a sequence, renders every frame once as the tool's
// render threads do but with no file work going on, then runs the fxaa executable on the
// sequence with --timing at each thread count, and prints a markdown table. "graphics" frames
// are the demo scene (flat colours, hard edges), "footage" frames smooth gradients under a fine
// grain, as filmed frames are; the two compress very differently. Each frame's rows are turned
// a little further than the last one's, so that no two files are alike. The tool runs with its
// freed memory kept (its default) and released (--release-memory), in alternation over rounds,
// so that load from other processes falls on both alike; this process renders as the tool's
// default does.
//   fxaa_tool_bench [--frames N] [--size WxH] [--threads 1,2] [--scenes graphics,footage]
//                   [--memory keep,release] [--rounds N] [--dir DIR (kept)] [--tool PATH]
//                   [--plugin PATH]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/bench_stats.h"
#include "cli/batch.h"
#include "cli/demo_scene.h"
#include "cli/image.h"
#include "cli/process_memory.h"
#include "host_runtime/effect_session.h"

namespace {

namespace fs = std::filesystem;
using fxaa_bench::Median;

struct ToolOptions {
  int frames = 60;
  fxaa_bench::FrameSize size{1920, 1080};
  std::vector<int> threads;
  std::vector<std::string> scenes;
  std::vector<bool> keepMemory;  // the tool's memory settings to compare, in this order
  int rounds = 3;                // runs of each setting, alternating
  std::string dir;  // empty: a new temporary folder, removed at the end
  std::string tool = FXAA_TOOL_PATH;
  std::string plugin = FXAA_PLUGIN_PATH;
};

bool Parse(int argc, char** argv, ToolOptions* options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i], value = argv[i + 1];
    if (arg == "--frames") {
      options->frames = std::atoi(value.c_str());
      if (options->frames < 1) return false;
    } else if (arg == "--size") {
      if (!fxaa_bench::ParseFrameSize(value, &options->size)) return false;
    } else if (arg == "--threads") {
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');) {
        const int n = std::atoi(item.c_str());
        if (n < 1 || n > 64) return false;
        options->threads.push_back(n);
      }
    } else if (arg == "--scenes") {
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');) {
        if (item != "graphics" && item != "footage") return false;
        options->scenes.push_back(item);
      }
    } else if (arg == "--memory") {
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');) {
        if (item != "keep" && item != "release") return false;
        options->keepMemory.push_back(item == "keep");
      }
    } else if (arg == "--rounds") {
      options->rounds = std::atoi(value.c_str());
      if (options->rounds < 1) return false;
    } else if (arg == "--dir") {
      options->dir = value;
    } else if (arg == "--tool") {
      options->tool = value;
    } else if (arg == "--plugin") {
      options->plugin = value;
    } else {
      return false;
    }
  }
  if (argc % 2 == 0) return false;  // an option without its value
  if (options->threads.empty()) options->threads.push_back(fxaa_cli::DefaultThreadCount());
  if (options->scenes.empty()) options->scenes = {"graphics", "footage"};
  if (options->keepMemory.empty()) options->keepMemory = {true, false};
  return true;
}

// Smooth gradients under a fine grain, opaque: what filmed frames look like to a compressor.
fxaa_cli::Image DrawFootage(int width, int height) {
  fxaa_cli::Image image;
  image.width = width;
  image.height = height;
  image.Allocate();
  std::mt19937 random(7);
  std::uniform_int_distribution<int> grain(-3, 3);
  for (int y = 0; y < height; ++y) {
    uint8_t* p = image.byteRow(y);
    for (int x = 0; x < width; ++x, p += 4) {
      const double v = 0.5 + 0.25 * std::sin(x * 0.01 + y * 0.003) + 0.2 * std::cos(y * 0.02 - x * 0.004);
      p[0] = 255;
      for (int c = 1; c < 4; ++c)
        p[c] = uint8_t(std::clamp(int(255 * v * (0.55 + 0.15 * c)) + grain(random), 0, 255));
    }
  }
  return image;
}

// Writes frames 1..n as in.0001.png ...
void WriteSequence(const ToolOptions& options, const std::string& sceneName, const fs::path& dir) {
  const fxaa_cli::Image scene =
      sceneName == "footage" ? DrawFootage(options.size.width, options.size.height)
                             : fxaa_cli::DrawDemoScene(options.size.width, options.size.height);
  const size_t rowBytes = size_t(scene.width) * 4;
  for (int frame = 1; frame <= options.frames; ++frame) {
    fxaa_cli::Image image = scene;
    const size_t shift = size_t(frame * 7 % scene.height) * rowBytes;
    std::rotate(image.bytes.begin(), image.bytes.begin() + long(shift), image.bytes.end());
    char name[32];
    std::snprintf(name, sizeof(name), "in.%04d.png", frame);
    fxaa_cli::WriteImage(image, (dir / name).string());
  }
}

// The frames' render time with nothing else running: each file is read first, outside the
// timing, then rendered as a render thread of the tool renders it. Seconds; negative on failure.
double PureRenderSeconds(const ToolOptions& options, const fs::path& dir) {
  std::string error;
  std::unique_ptr<host_runtime::EffectSession> effect =
      host_runtime::EffectSession::Open(options.plugin, &error);
  if (!effect) {
    std::cerr << "fxaa_tool_bench: " << error << "\n";
    return -1;
  }
  double seconds = 0;
  for (int frame = 1; frame <= options.frames; ++frame) {
    char name[32];
    std::snprintf(name, sizeof(name), "in.%04d.png", frame);
    const fxaa_cli::Image image = fxaa_cli::ReadImage((dir / name).string());
    fxaa_cli::Image result;
    const auto start = std::chrono::steady_clock::now();
    if (fxaa_cli::RenderImage(*effect, image, fxaa_cli::FrameOptions{}, &result)) {
      std::cerr << "fxaa_tool_bench: " << name << ": the plug-in failed\n";
      return -1;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  return seconds;
}

struct Run {
  double processSeconds = 0;
  double cpuSeconds = 0;     // the tool's user and system time, less swayed by other load
  double peakMiB = 0;        // the tool's peak resident size
  std::string loadAverage;   // one minute, at the start
  fxaa_cli::BatchResult batch;
  bool ok = false;
};

std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one;
  file >> one;
  return one.empty() ? "?" : one;
}

// Runs the tool on the sequence; its --timing line is read back from its standard error, its
// peak resident size from the kernel's account of the finished child.
Run RunTool(const ToolOptions& options, const fs::path& dir, int threads, bool keepMemory) {
  Run run;
  const fs::path out = dir / ("out-j" + std::to_string(threads));
  fs::remove_all(out);
  fs::create_directories(out);
  const fs::path log = dir / "tool-stderr.txt";
  std::vector<std::string> args = {options.tool, "-q", "--timing", "-j", std::to_string(threads),
                                   (dir / "in.%04d.png").string(), "-o", out.string() + "/"};
  if (!keepMemory) args.push_back(fxaa_cli::kReleaseMemoryOption);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  run.loadAverage = LoadAverage();
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int status = -1;
  rusage usage{};
  if (posix_spawn(&pid, args[0].c_str(), &files, nullptr, argv.data(), environ) != 0 ||
      wait4(pid, &status, 0, &usage) != pid)
    status = -1;
  run.processSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&files);
  run.peakMiB = double(usage.ru_maxrss) / 1024.0;
  run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::ifstream text(log);
  std::string all, line;
  for (; std::getline(text, line);) {
    all += line + "\n";
    fxaa_cli::BatchTiming& t = run.batch.timing;
    if (std::sscanf(line.c_str(),
                    "timing: %d frames in %lf s; rendering %lf s, reading %lf s, writing %lf s",
                    &run.batch.written, &t.wall, &t.rendering, &t.reading, &t.writing) == 5)
      run.ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  if (!run.ok) {
    std::cerr << "fxaa_tool_bench: the tool failed:";
    for (const std::string& a : args) std::cerr << " " << a;
    std::cerr << "\n" << all;
  }
  fs::remove_all(out);
  return run;
}

// One row of the table: the median of each column over the rounds of one setting.
std::string Row(const ToolOptions& options, const std::string& scene, int threads,
                bool keepMemory, const std::vector<Run>& runs, double pure) {
  std::vector<double> wall, cpu, rendering, reading, writing, peak;
  std::string loads;
  for (const Run& run : runs) {
    wall.push_back(run.processSeconds);
    cpu.push_back(run.cpuSeconds);
    rendering.push_back(run.batch.timing.rendering);
    reading.push_back(run.batch.timing.reading);
    writing.push_back(run.batch.timing.writing);
    peak.push_back(run.peakMiB);
    loads += (loads.empty() ? "" : ", ") + run.loadAverage;
  }
  char row[512];
  std::snprintf(row, sizeof(row),
                "| %d %s | fxaa -j %d%s | %zu | %.2f | %.2f | %.2f | %.2f | %.2f | %.3f | %.0f | "
                "%s |\n",
                options.frames, scene.c_str(), threads, keepMemory ? "" : " --release-memory",
                runs.size(), Median(wall), Median(cpu), Median(rendering), Median(reading),
                Median(writing), Median(wall) / pure, Median(peak), loads.c_str());
  return row;
}

}  // namespace

int main(int argc, char** argv) {
  ToolOptions options;
  if (!Parse(argc, argv, &options)) {
    std::cerr << "usage: fxaa_tool_bench [--frames N] [--size WxH] [--threads 1,2] "
                 "[--scenes graphics,footage] [--memory keep,release] [--rounds N] [--dir DIR] "
                 "[--tool PATH] [--plugin PATH]\n";
    return 2;
  }
  // The pure render runs as the tool's render threads do by default.
  if (fxaa_cli::ReleaseMemoryRequested({})) fxaa_cli::ReleaseFreedMemoryAtOnce();
  fs::path dir = options.dir;
  const bool temporary = dir.empty();
  if (temporary) {
    std::string pattern = (fs::temp_directory_path() / "fxaa-tool-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::cerr << "fxaa_tool_bench: cannot make a temporary folder\n";
      return 1;
    }
    dir = pattern;
  }
  std::cout << "| frames | run | rounds | wall s | CPU s | rendering s | reading s | writing s | "
               "wall / pure render | peak MiB | load average |\n"
               "|---|---|---|---|---|---|---|---|---|---|---|\n";
  std::string comparisons;
  bool ok = true;
  for (const std::string& scene : options.scenes) {
    const fs::path sceneDir = dir / scene;
    fs::create_directories(sceneDir);
    std::cerr << "fxaa_tool_bench: " << options.frames << " " << scene << " frames of "
              << options.size.width << "x" << options.size.height << " in " << sceneDir.string()
              << "\n";
    WriteSequence(options, scene, sceneDir);
    const std::string pureLoad = LoadAverage();
    const double pure = PureRenderSeconds(options, sceneDir);
    // runs[thread count][setting], the settings alternating in order from round to round.
    const size_t settings = options.keepMemory.size();
    std::vector<std::vector<std::vector<Run>>> runs(
        options.threads.size(), std::vector<std::vector<Run>>(settings));
    for (int round = 0; round < options.rounds; ++round) {
      for (size_t t = 0; t < options.threads.size(); ++t) {
        for (size_t k = 0; k < settings; ++k) {
          const size_t setting = round % 2 == 0 ? k : settings - 1 - k;
          Run run = RunTool(options, sceneDir, options.threads[t], options.keepMemory[setting]);
          ok = ok && run.ok;
          if (run.ok) runs[t][setting].push_back(run);
        }
      }
    }
    if (pure <= 0) {
      ok = false;
      continue;
    }
    char row[1024];
    std::snprintf(row, sizeof(row),
                  "| %d %s | pure render, no files | 1 | %.2f | - | %.2f | - | - | 1.000 | - | "
                  "%s |\n",
                  options.frames, scene.c_str(), pure, pure, pureLoad.c_str());
    std::cout << row;
    for (size_t t = 0; t < options.threads.size(); ++t) {
      for (size_t k = 0; k < settings; ++k)
        if (!runs[t][k].empty())
          std::cout << Row(options, scene, options.threads[t], options.keepMemory[k], runs[t][k],
                           pure);
      // Kept against released, round by round: load that slows both runs of a round cancels.
      if (settings == 2 && options.keepMemory[0] != options.keepMemory[1]) {
        const std::vector<Run>& kept = runs[t][options.keepMemory[0] ? 0 : 1];
        const std::vector<Run>& released = runs[t][options.keepMemory[0] ? 1 : 0];
        std::vector<double> ratios, cpuRatios;
        std::string each;
        for (size_t r = 0; r < std::min(kept.size(), released.size()); ++r) {
          ratios.push_back(kept[r].processSeconds / released[r].processSeconds);
          cpuRatios.push_back(kept[r].cpuSeconds / released[r].cpuSeconds);
          std::snprintf(row, sizeof(row), "%s%.3f", each.empty() ? "" : ", ", ratios.back());
          each += row;
        }
        if (!ratios.empty()) {
          std::snprintf(row, sizeof(row),
                        "- %s, fxaa -j %d: kept / released wall time = %.3f (median over %zu "
                        "rounds: %s), CPU time = %.3f\n",
                        scene.c_str(), options.threads[t], Median(ratios), ratios.size(),
                        each.c_str(), Median(cpuRatios));
          comparisons += row;
        }
      }
    }
    std::cout.flush();
  }
  if (!comparisons.empty()) std::cout << "\n" << comparisons;
  if (temporary) fs::remove_all(dir);
  return ok ? 0 : 1;
}
