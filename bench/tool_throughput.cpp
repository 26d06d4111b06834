// fxaa_tool_bench: the fxaa tool's throughput on numbered PNG sequences, against their pure render
// time. For each kind of frame it writes a sequence, renders every frame once as the tool's
// render threads do but with no file work going on, then runs the fxaa executable on the
// sequence with --timing at each thread count, and prints a markdown table. "graphics" frames
// are the demo scene (flat colours, hard edges), "footage" frames smooth gradients under a fine
// grain, as filmed frames are; the two compress very differently. Each frame's rows are turned
// a little further than the last one's, so that no two files are alike.
//   fxaa_tool_bench [--frames N] [--size WxH] [--threads 1,2] [--scenes graphics,footage]
//                   [--dir DIR (kept)] [--tool PATH] [--plugin PATH]
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
#include "cli/batch.h"
#include "cli/demo_scene.h"
#include "cli/effect.h"
#include "cli/image.h"

namespace {

namespace fs = std::filesystem;

struct ToolOptions {
  int frames = 60;
  fxaa_bench::FrameSize size{1920, 1080};
  std::vector<int> threads;
  std::vector<std::string> scenes;
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
  return true;
}

// Quotes `text` for the shell.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
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
  std::unique_ptr<fxaa_cli::Effect> effect = fxaa_cli::Effect::Open(options.plugin, &error);
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
    if (fxaa_cli::RenderImage(*effect, image, fxaa_cli::FrameOptions{}, &result) != 0) {
      std::cerr << "fxaa_tool_bench: " << name << ": the plug-in failed\n";
      return -1;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  return seconds;
}

struct Run {
  int threads = 0;
  double processSeconds = 0;
  fxaa_cli::BatchResult batch;
  bool ok = false;
};

// Runs the tool on the sequence; its --timing line is read back from its standard error.
Run RunTool(const ToolOptions& options, const fs::path& dir, int threads) {
  Run run;
  run.threads = threads;
  const fs::path out = dir / ("out-j" + std::to_string(threads));
  fs::remove_all(out);
  fs::create_directories(out);
  const fs::path log = dir / "tool-stderr.txt";
  const std::string command = Quoted(options.tool) + " -q --timing -j " + std::to_string(threads) +
                              " " + Quoted((dir / "in.%04d.png").string()) + " -o " +
                              Quoted(out.string() + "/") + " >/dev/null 2>" + Quoted(log.string());
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  run.processSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::ifstream text(log);
  std::string all, line;
  for (; std::getline(text, line);) {
    all += line + "\n";
    fxaa_cli::BatchTiming& t = run.batch.timing;
    if (std::sscanf(line.c_str(),
                    "timing: %d frames in %lf s; rendering %lf s, reading %lf s, writing %lf s",
                    &run.batch.written, &t.wall, &t.rendering, &t.reading, &t.writing) == 5)
      run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  if (!run.ok) std::cerr << "fxaa_tool_bench: the tool failed (" << command << "):\n" << all;
  fs::remove_all(out);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  ToolOptions options;
  if (!Parse(argc, argv, &options)) {
    std::cerr << "usage: fxaa_tool_bench [--frames N] [--size WxH] [--threads 1,2] [--dir DIR] "
                 "[--tool PATH]\n";
    return 2;
  }
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
  std::cout << "| frames | run | wall s | rendering s | reading s | writing s | "
               "wall / pure render |\n|---|---|---|---|---|---|---|\n";
  bool ok = true;
  for (const std::string& scene : options.scenes) {
    const fs::path sceneDir = dir / scene;
    fs::create_directories(sceneDir);
    std::cerr << "fxaa_tool_bench: " << options.frames << " " << scene << " frames of "
              << options.size.width << "x" << options.size.height << " in " << sceneDir.string()
              << "\n";
    WriteSequence(options, scene, sceneDir);
    const double pure = PureRenderSeconds(options, sceneDir);
    std::vector<Run> runs;
    for (int threads : options.threads) runs.push_back(RunTool(options, sceneDir, threads));
    if (pure <= 0) {
      ok = false;
      continue;
    }
    char row[256];
    std::snprintf(row, sizeof(row), "| %d %s | pure render, no files | %.2f | %.2f | - | - | 1.000 |\n",
                  options.frames, scene.c_str(), pure, pure);
    std::cout << row;
    for (const Run& run : runs) {
      ok = ok && run.ok;
      if (!run.ok) continue;
      const fxaa_cli::BatchTiming& t = run.batch.timing;
      std::snprintf(row, sizeof(row), "| %d %s | fxaa -j %d | %.2f | %.2f | %.2f | %.2f | %.3f |\n",
                    run.batch.written, scene.c_str(), run.threads, run.processSeconds, t.rendering,
                    t.reading, t.writing, run.processSeconds / pure);
      std::cout << row;
    }
    std::cout.flush();
  }
  if (temporary) fs::remove_all(dir);
  return ok ? 0 : 1;
}
