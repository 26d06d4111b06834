#include "cli/app.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <map>
#include <sstream>

#include "cli/batch.h"
#include "cli/demo_scene.h"
#include "cli/effect.h"
#include "cli/formats/format.h"
#include "cli/formats/video.h"
#include "cli/process_memory.h"
#include "cli/sequence.h"
#include "cli/system.h"

namespace fxaa_cli {

namespace fs = std::filesystem;

namespace {

const char* kExamples = R"(Examples:
  fxaa demo                                   draw the test scene, write ./fxaa-demo/comparison.png
  fxaa in.png -o out.png                      anti-alias one image
  fxaa shot.%04d.exr --frames 1-60 -o aa/     a sequence into a folder (same file names)
  fxaa 'shot.####.png' -o aa.%04d.png -j 4    every frame on disk, four render threads
  fxaa in.exr -o out.exr --strength 60 --source alpha
  fxaa scan.tif -o aa.tif                     TIFF back at its depth, compression and alpha kind
  fxaa photo.jpg -o aa.jpg --quality 90       JPEG at quality 90 (default 95), ICC and EXIF kept
  fxaa render.exr -o aa.tif --depth 16        another format: the output name chooses it
  fxaa a.png b.png c.png -o smooth/           several files
  fxaa in.mp4 -o out.mp4                      a video: same codec, colour tags and audio
  fxaa in.mov -o frames/out.%05d.exr          a video's frames as files
  fxaa 'shot.####.png' --fps 24 -o out.mov    files into a video (ProRes in .mov)
  fxaa in.mkv -o out.mkv --codec libx265 --crf 20
  fxaa info                                   what the plug-in declares

Exit status: 0 all frames written, 1 some frames failed or a runtime error (plug-in, OpenGL,
files), 2 the command line is wrong (nothing was done), 130 interrupted.)";

std::string FormatNumber(double v, int precision) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(precision) << v;
  std::string s = text.str();
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  return s;
}

// Values given for the plug-in's parameters; unset ones keep the plug-in's defaults.
struct ParamValues {
  CLI::Option* sourceOption = nullptr;
  std::string source;
  std::vector<CLI::Option*> sliderOptions;
  std::vector<double> sliders;
};

// " (0 to 100, default 8)" for what the plug-in declared under `name`; without the plug-in's
// declarations (it could not be loaded), a pointer to where they are shown.
std::string DeclaredRangeText(const std::vector<DeclaredParam>& declared, const std::string& name) {
  for (const DeclaredParam& p : declared) {
    if (p.name != name) continue;
    if (p.type == PF_Param_FLOAT_SLIDER)
      return " (" + FormatNumber(p.validMin, 2) + " to " + FormatNumber(p.validMax, 2) +
             ", default " + FormatNumber(p.defaultValue, 2) + ")";
    if (p.type == PF_Param_POPUP) {
      const int i = static_cast<int>(p.defaultValue) - 1;
      if (i >= 0 && size_t(i) < p.choices.size()) return "; default " + Lower(p.choices[i]);
    }
  }
  return " (range and default: see \"fxaa info\")";
}

// The parameter options, their help completed from what the plug-in declares.
void AddParamOptions(CLI::App* app, ParamValues* values,
                     const std::vector<DeclaredParam>& declared) {
  values->sourceOption =
      app->add_option("--source", values->source,
                      "\"Source\": color (smooth all four channels) or alpha (smooth the alpha "
                      "channel over a blurred underlay)" +
                          DeclaredRangeText(declared, "Source"))
          ->type_name("MODE");
  const auto& known = KnownParamOptions();
  values->sliders.resize(known.size());
  for (size_t i = 0; i < known.size(); ++i) {
    const ParamOption& s = known[i];
    values->sliderOptions.push_back(
        app->add_option(s.option, values->sliders[i],
                        std::string(s.help) + DeclaredRangeText(declared, s.paramName))
            ->type_name("X"));
  }
}

// What the plug-in declares, for the help text: the plug-in is loaded only when help is asked
// for (with the --plugin the arguments name, if any), and its failure only shortens the help.
std::vector<DeclaredParam> DeclaredForHelp(const std::vector<std::string>& args) {
  bool help = false;
  std::string plugin;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-h" || args[i] == "--help") help = true;
    if (args[i] == "--plugin" && i + 1 < args.size()) plugin = args[i + 1];
    if (args[i].rfind("--plugin=", 0) == 0) plugin = args[i].substr(9);
  }
  if (!help) return {};
  std::string error;
  std::unique_ptr<Effect> effect = Effect::Open(plugin.empty() ? DefaultPluginPath() : plugin, &error);
  if (!effect) return {};
  return effect->params();
}

// Hands the given values to the host side, checked against what the plug-in declared.
void ApplyParamValues(Effect& effect, const ParamValues& values) {
  if (values.sourceOption->count() > 0) {
    const DeclaredParam* p = effect.Find("Source");
    if (p == nullptr || p->type != PF_Param_POPUP)
      throw std::runtime_error(effect.path() + ": the plug-in declares no \"Source\" popup");
    int choice = 0;
    std::string names;
    for (size_t i = 0; i < p->choices.size(); ++i) {
      // "color" and the British "colour" both name the first choice.
      const std::string name = Lower(p->choices[i]);
      if (Lower(values.source) == name || (name == "color" && Lower(values.source) == "colour"))
        choice = static_cast<int>(i + 1);
      names += (i ? "|" : "") + name;
    }
    if (choice == 0)
      throw UsageError("--source " + values.source + ": not a choice of \"Source\" (" + names + ")");
    effect.SetValue(p->index, choice);
  }
  const auto& known = KnownParamOptions();
  for (size_t i = 0; i < known.size(); ++i) {
    if (values.sliderOptions[i]->count() == 0) continue;
    const DeclaredParam* p = effect.Find(known[i].paramName);
    if (p == nullptr || p->type != PF_Param_FLOAT_SLIDER)
      throw std::runtime_error(effect.path() + ": the plug-in declares no \"" +
                               known[i].paramName + "\" slider");
    const double v = values.sliders[i];
    if (!(v >= p->validMin && v <= p->validMax))
      throw UsageError(std::string(known[i].option) + " " + FormatNumber(v, 6) +
                       ": out of range: \"" + p->name + "\" takes " +
                       FormatNumber(p->validMin, 2) + " to " + FormatNumber(p->validMax, 2));
    effect.SetValue(p->index, v);
  }
}

std::unique_ptr<Effect> OpenEffect(const std::string& path, std::ostream& err) {
  std::string error;
  std::unique_ptr<Effect> effect = Effect::Open(path, &error);
  if (!effect) err << "fxaa: " << error << "\n";
  return effect;
}

// Ctrl-C stops a batch after the frames in flight; a second one ends the process at once.
void OnInterrupt(int) {
  g_interrupted = true;
  std::signal(SIGINT, SIG_DFL);
}

struct RenderArgs {
  std::vector<std::string> inputs;
  std::string output;
  std::string frames;
  int threads = DefaultThreadCount();
  int downsample = 1;
  bool failFast = false;
  bool premultiplied = false;
  bool timing = false;
  std::string depth;
  std::string channels;
  // The formats' own options, in the order of AllFormatOptions().
  std::vector<CLI::Option*> formatOptions;
  std::vector<std::string> formatValues;
  ParamValues params;
};

struct DemoArgs {
  std::string folder = "fxaa-demo";
  ParamValues params;
};

void ParseWriteOptions(const RenderArgs& args, WriteOptions* write) {
  if (!args.depth.empty()) {
    const std::string d = Lower(args.depth);
    write->overrideType = true;
    if (d == "8") write->type = SampleType::kUInt8;
    else if (d == "16") write->type = SampleType::kUInt16;
    else if (d == "half") write->type = SampleType::kHalf;
    else if (d == "float") write->type = SampleType::kFloat;
    else throw UsageError("--depth " + args.depth + ": expected 8, 16, half or float");
  }
  if (!args.channels.empty()) {
    const std::string c = Lower(args.channels);
    write->overrideLayout = true;
    if (c == "y") write->layout = ChannelLayout::kY;
    else if (c == "ya") write->layout = ChannelLayout::kYA;
    else if (c == "rgb") write->layout = ChannelLayout::kRGB;
    else if (c == "rgba") write->layout = ChannelLayout::kRGBA;
    else throw UsageError("--channels " + args.channels + ": expected y, ya, rgb or rgba");
  }
  const std::vector<const FormatOption*> known = AllFormatOptions();
  for (size_t i = 0; i < known.size(); ++i) {
    if (args.formatOptions[i]->count() == 0) continue;
    const std::string& value = args.formatValues[i];
    const std::string why = known[i]->check(value);
    if (!why.empty()) throw UsageError("--" + std::string(known[i]->name) + " " + value + ": " + why);
    write->formatOptions[known[i]->name] = value;
  }
}

int RunRender(const RenderArgs& args, const std::string& pluginPath, bool quiet, bool terminal,
              std::ostream& err) {
  BatchOptions options;
  options.threads = args.threads;
  options.failFast = args.failFast;
  options.frame.premultiplied = args.premultiplied;
  options.frame.downsample = args.downsample;
  ParseWriteOptions(args, &options.frame.write);

  BatchPlan plan = PlanBatch(args.inputs, args.frames, args.output, options.frame.write);
  if (!plan.gaps.empty()) {
    err << "fxaa: " << args.inputs[0] << ": " << plan.gaps.size() << " of "
        << plan.source->expectedFrames() << " frames missing from the sequence\n";
    if (args.failFast) {
      for (const std::string& gap : plan.gaps)
        err << "fxaa: " << gap << ": missing (a gap in the sequence)\n";
      return kExitFailed;
    }
  }

  std::unique_ptr<Effect> effect = OpenEffect(pluginPath, err);
  if (!effect) return kExitFailed;
  ApplyParamValues(*effect, args.params);

  const Progress::Style style = quiet      ? Progress::Style::kQuiet
                                : terminal ? Progress::Style::kBar
                                           : Progress::Style::kLines;
  Progress progress(plan.source->expectedFrames(), style, err);
  g_interrupted = false;
  auto previous = std::signal(SIGINT, OnInterrupt);
  if (previous == SIG_IGN) std::signal(SIGINT, SIG_IGN);  // started to ignore it: keep that
  const BatchResult result = RunBatch(*effect, plan, options, progress);
  std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
  progress.Finish();
  if (args.timing) err << DescribeTiming(result) << "\n";
  if (result.interrupted) return kExitInterrupted;
  return result.complete ? kExitOk : kExitFailed;
}

int RunDemo(const DemoArgs& args, const std::string& pluginPath, std::ostream& out,
            std::ostream& err) {
  std::error_code ec;
  fs::create_directories(args.folder, ec);
  if (ec || !fs::is_directory(args.folder)) {
    err << "fxaa: " << args.folder << ": cannot create folder" << (ec ? ": " + ec.message() : "")
        << "\n";
    return kExitFailed;
  }
  std::unique_ptr<Effect> effect = OpenEffect(pluginPath, err);
  if (!effect) return kExitFailed;
  ApplyParamValues(*effect, args.params);

  const Image scene = DrawDemoScene();
  Image after;
  const PF_Err code = RenderImage(*effect, scene, FrameOptions{}, &after);
  if (code != 0) {
    err << "fxaa: demo scene: cannot render: " << DescribePluginError(code) << " (plug-in error "
        << code << ")\n";
    return kExitFailed;
  }
  const fs::path folder(args.folder);
  const std::string before = (folder / "before.png").string();
  const std::string afterPath = (folder / "after.png").string();
  const std::string comparison = (folder / "comparison.png").string();
  WriteImage(scene, before);
  WriteImage(after, afterPath);
  WriteImage(ComposeComparison(scene, after, DemoCrop(), 6), comparison);
  out << "before:     " << before << "\n"
      << "after:      " << afterPath << "\n"
      << "comparison: " << comparison << "\n";
  return kExitOk;
}

std::string DescribeDefault(const DeclaredParam& p) {
  if (p.type == PF_Param_POPUP) {
    const int i = static_cast<int>(p.defaultValue) - 1;
    return i >= 0 && size_t(i) < p.choices.size() ? p.choices[i] : FormatNumber(p.defaultValue, 0);
  }
  if (p.type == PF_Param_FLOAT_SLIDER)
    return FormatNumber(p.defaultValue, p.precision) + (p.percent ? " %" : "");
  return "";
}

int RunInfo(const std::string& pluginPath, std::ostream& out, std::ostream& err) {
  std::unique_ptr<Effect> effect = OpenEffect(pluginPath, err);
  if (!effect) return kExitFailed;
  char hex[16];
  std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(effect->version()));
  out << "Plug-in:    " << effect->path() << "\n"
      << "Version:    " << VersionText(effect->version()) << " (" << hex << ")\n"
      << "Renders:    " << (effect->smartRender() ? "smart render" : "no smart render") << ", "
      << (effect->floatColour() ? "8-bit and 32-bit float" : "8-bit only") << ", "
      << (effect->threaded() ? "on several threads" : "one thread at a time") << "\n"
      << "About:\n";
  std::istringstream about(effect->about());
  for (std::string line; std::getline(about, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out << "  " << line << "\n";
  }

  std::map<std::string, std::string> optionOf;
  optionOf["Source"] = "--source";
  for (const ParamOption& s : KnownParamOptions()) optionOf[s.paramName] = s.option;

  out << "Parameters (" << effect->params().size() << " declared; 0 is the input layer):\n";
  char line[256];
  std::snprintf(line, sizeof(line), "  %3s %3s  %-24s %-13s %-16s %-12s %-8s %-7s %s\n", "#", "id",
                "name", "type", "range", "slider", "default", "shown", "option");
  out << line;
  for (const DeclaredParam& p : effect->params()) {
    std::string range, slider;
    if (p.type == PF_Param_FLOAT_SLIDER) {
      range = FormatNumber(p.validMin, 2) + " to " + FormatNumber(p.validMax, 2);
      slider = FormatNumber(p.sliderMin, 2) + " to " + FormatNumber(p.sliderMax, 2);
    } else if (p.type == PF_Param_POPUP) {
      for (size_t i = 0; i < p.choices.size(); ++i) range += (i ? "|" : "") + p.choices[i];
    } else if (p.collapsed) {
      range = "(collapsed)";
    }
    const auto option = optionOf.find(p.name);
    std::snprintf(line, sizeof(line), "  %3d %3d  %-24s %-13s %-16s %-12s %-8s %-7s %s\n", p.index,
                  p.id, p.name.empty() ? "(end of group)" : p.name.c_str(), p.typeName.c_str(),
                  range.c_str(), slider.c_str(), DescribeDefault(p).c_str(),
                  p.hidden ? "hidden" : "yes",
                  option == optionOf.end() || p.name.empty() ? "" : option->second.c_str());
    out << line;
  }
  return kExitOk;
}

bool IsSubcommand(const std::string& s) { return s == "render" || s == "demo" || s == "info"; }

// The render command is the default: "fxaa in.png -o out.png" means "fxaa render in.png ...".
std::vector<std::string> WithDefaultCommand(std::vector<std::string> args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help" || a == "--version") return args;
    if (a == "--plugin") {
      ++i;  // its value is no command name
      continue;
    }
    if (!a.empty() && a[0] == '-') continue;
    if (IsSubcommand(a)) return args;
    break;
  }
  if (!args.empty()) args.insert(args.begin(), "render");
  return args;
}

}  // namespace

const std::vector<ParamOption>& KnownParamOptions() {
  static const std::vector<ParamOption> known = {
      {"--strength", "Strength",
       "\"Strength\", percent: blend of the smoothed and the untouched image"},
      {"--span", "FXAA Span", "\"FXAA Span\": how far along an edge FXAA looks, in pixels"},
      {"--reduce-multiplier", "FXAA Reduce Multiplier",
       "\"FXAA Reduce Multiplier\": damping of the search on low-contrast edges"},
      {"--reduce-minimum", "FXAA Reduce Minimum",
       "\"FXAA Reduce Minimum\": least damping of the search"},
  };
  return known;
}

std::string DefaultPluginPath() {
  std::error_code ec;
  const fs::path exe = ExecutablePath();
  if (!exe.empty()) {
    const fs::path dir = exe.parent_path();
    for (const fs::path& candidate :
         {dir / FXAA_PLUGIN_FILE_NAME, dir / ".." / "lib" / "fxaa" / FXAA_PLUGIN_FILE_NAME}) {
      if (fs::exists(candidate, ec)) return candidate.lexically_normal().string();
    }
  }
  return FXAA_BUILD_PLUGIN_PATH;
}

int RunFxaa(const std::vector<std::string>& rawArgs, std::ostream& out, std::ostream& err,
            bool terminal) {
  CLI::App app("fxaa: anti-alias images, sequences and videos (" + FormatNames() +
                   ") with the FXAA plug-in, run as After Effects would run it.",
               "fxaa");
  app.footer(kExamples);
  // Options are written the same everywhere; on Windows "/name" would otherwise be an option,
  // and a rooted path a wrong one.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("fxaa ") + FXAA_TOOL_VERSION);
  app.require_subcommand(0, 1);

  const std::vector<DeclaredParam> declared = DeclaredForHelp(rawArgs);
  std::string pluginPath;
  bool quiet = false;
  app.add_option("--plugin", pluginPath,
                 "the plug-in file (default: " FXAA_PLUGIN_FILE_NAME
                 " beside fxaa, then ../lib/fxaa/, then the build's)")
      ->type_name("PATH");
  app.add_flag("-q,--quiet", quiet, "no progress, only errors");
  bool releaseMemory = false;  // main() acts on it, before any thread starts
  app.add_flag(kReleaseMemoryOption, releaseMemory,
               std::string("hand freed memory back to the system at once (or set ") +
                   kReleaseMemoryVariable +
                   "=1): the least memory, but slower frames on the software renderer");

  RenderArgs render;
  CLI::App* renderCmd = app.add_subcommand(
      "render", "anti-alias images or sequences (the default command: \"render\" may be left out)");
  renderCmd->fallthrough();
  renderCmd->add_option("inputs", render.inputs,
                        "input files (" + FormatExtensions() +
                            "), or one numbered sequence: shot.%04d.exr or shot.####.exr")
      ->required();
  renderCmd->add_option("-o,--output", render.output,
                        "output file, pattern (out.%04d.png), folder (out/, same names), or "
                        "video (out.mp4); the name's extension chooses the format")
      ->required()
      ->type_name("OUT");
  renderCmd->add_option("--frames", render.frames,
                        "frames of a numbered input: 1-60, 1-60x2, 1-9,20 (default: all the "
                        "folder holds, from the first to the last)")
      ->type_name("RANGE");
  AddParamOptions(renderCmd, &render.params, declared);
  renderCmd->add_option("--downsample", render.downsample,
                        "render at 1/N resolution, as the host's reduced-resolution preview "
                        "(output is 1/N the size); default 1")
      ->check(CLI::Range(1, 64))
      ->type_name("N");
  renderCmd->add_option("-j,--threads", render.threads,
                        "render threads (default " + std::to_string(DefaultThreadCount()) + ")")
      ->check(CLI::Range(1, 64))
      ->type_name("N");
  renderCmd->add_flag("--fail-fast", render.failFast, "stop at the first frame that fails");
  renderCmd->add_flag("--timing", render.timing,
                      "print where the time went at the end: the batch's wall time, the time "
                      "during which frames were rendering, and the reading and writing time "
                      "summed over frames");
  renderCmd->add_flag("--premultiplied", render.premultiplied,
                      "the inputs hold premultiplied colour: un-premultiply before, premultiply "
                      "after");
  renderCmd->add_option("--depth", render.depth,
                        "output sample type: 8, 16 (PNG, TIFF), half, float (EXR, TIFF); JPEG is "
                        "8-bit only; default the input's")
      ->type_name("TYPE");
  renderCmd->add_option("--channels", render.channels,
                        "output channels: y, ya, rgb, rgba; default the input's")
      ->type_name("SET");
  const std::vector<const FormatOption*> formatOptions = AllFormatOptions();
  render.formatValues.resize(formatOptions.size());
  for (size_t i = 0; i < formatOptions.size(); ++i) {
    const FormatOption& o = *formatOptions[i];
    render.formatOptions.push_back(
        renderCmd->add_option(std::string("--") + o.name, render.formatValues[i], o.help)
            ->type_name(o.valueName));
  }

  DemoArgs demo;
  CLI::App* demoCmd = app.add_subcommand(
      "demo", "draw an aliased test scene, anti-alias it, and write before.png, after.png and "
              "comparison.png");
  demoCmd->fallthrough();
  demoCmd->add_option("--out,folder", demo.folder, "folder for the pictures (default fxaa-demo)")
      ->type_name("FOLDER");
  AddParamOptions(demoCmd, &demo.params, declared);

  CLI::App* infoCmd = app.add_subcommand(
      "info", "print the plug-in's About text and the parameters it declares");
  infoCmd->fallthrough();

  std::vector<std::string> args = WithDefaultCommand(rawArgs);
  if (args.empty()) {
    err << app.help();
    return kExitUsage;
  }
  std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
  try {
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? kExitOk : kExitUsage;
  }
  if (pluginPath.empty()) pluginPath = DefaultPluginPath();

  try {
    if (*demoCmd) return RunDemo(demo, pluginPath, out, err);
    if (*infoCmd) return RunInfo(pluginPath, out, err);
    if (*renderCmd) return RunRender(render, pluginPath, quiet, terminal, err);
    err << app.help();
    return kExitUsage;
  } catch (const UsageError& e) {
    err << "fxaa: " << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    err << "fxaa: " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace fxaa_cli
