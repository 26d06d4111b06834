#include "cli/app.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "cli/batch.h"
#include "cli/command_line.h"
#include "cli/demo_scene.h"
#include "cli/farm.h"
#include "cli/formats/format.h"
#include "cli/renderer_query.h"
#include "cli/sequence.h"
#include "cli/stop_signals.h"
#include "cli/system.h"
#include "host_runtime/effect_session.h"
#include "host_runtime/exposed_params.h"
#include "host_runtime/plugin_module.h"

namespace fxaa_cli {

namespace fs = std::filesystem;

namespace {

std::unique_ptr<host_runtime::EffectSession> OpenEffect(const std::string& path,
                                                        std::ostream& err) {
  std::string error;
  std::unique_ptr<host_runtime::EffectSession> effect =
      host_runtime::EffectSession::Open(path, &error);
  if (!effect) err << "fxaa: " << error << "\n";
  return effect;
}

// What the plug-in at `path` shows, for the help text: read by parameter set-up alone, so help
// opens no OpenGL context. Its failure only shortens the help.
std::vector<host_runtime::ParamState> DeclaredForHelp(const std::string& path) {
  std::string error;
  std::unique_ptr<host_runtime::PluginModule> module =
      host_runtime::PluginModule::Load(path.empty() ? DefaultPluginPath() : path, &error);
  std::vector<host_runtime::ExposedParam> exposed;
  if (!module || !host_runtime::ReadExposedParams(module->entry(), &exposed, &error)) return {};
  std::vector<host_runtime::ParamState> params;
  for (const host_runtime::ExposedParam& e : exposed) params.push_back(e.param);
  return params;
}

void ParseWriteOptions(const RenderArgs& args, WriteOptions* write) {
  if (!args.depth.empty()) {
    const std::string d = Lower(args.depth);
    write->overrideType = true;
    if (d == "8") write->type = SampleType::kUInt8;
    else if (d == "10" || d == "12" || d == "16") write->type = SampleType::kUInt16;
    else if (d == "half") write->type = SampleType::kHalf;
    else if (d == "float") write->type = SampleType::kFloat;
    else throw UsageError("--depth " + args.depth + ": expected 8, 10, 12, 16, half or float");
    write->bits = d == "10" ? 10 : d == "12" ? 12 : 0;
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
  for (const FormatOption* option : AllFormatOptions()) {
    const auto given = args.formatValues.find(option->name);
    if (given == args.formatValues.end()) continue;
    const std::string why = option->check(given->second);
    if (!why.empty())
      throw UsageError("--" + std::string(option->name) + " " + given->second + ": " + why);
    write->formatOptions[option->name] = given->second;
  }
}

int RunRender(const RenderArgs& args, const std::string& pluginPath, bool quiet, bool terminal,
              std::ostream& err) {
  BatchOptions options;
  options.threads = args.threads;
  options.failFast = args.failFast;
  options.damagedFrames = args.damagedFrames;
  options.frame.premultiplied = args.premultiplied;
  options.frame.downsample = args.downsample;
  ParseWriteOptions(args, &options.frame.write);

  BatchPlan plan = PlanBatch(args.inputs, args.frames, args.output, options.frame.write);
  if (!plan.gaps.empty()) {
    err << "fxaa: " << args.inputs[0] << ": " << plan.gaps.size() << " of "
        << plan.source->expectedFrames() << " frames missing from the sequence\n";
    // Concealing, a gap is left out like a damaged file, not a failure to stop at.
    if (args.failFast && args.damagedFrames == DamagedFrames::kFail) {
      for (const std::string& gap : plan.gaps)
        err << "fxaa: " << gap << ": missing (a gap in the sequence)\n";
      return kExitFailed;
    }
  }

  std::unique_ptr<host_runtime::EffectSession> effect = OpenEffect(pluginPath, err);
  if (!effect) return kExitFailed;
  ApplyParamValues(*effect, args.params);

  const Progress::Style style = quiet      ? Progress::Style::kQuiet
                                : terminal ? Progress::Style::kBar
                                           : Progress::Style::kLines;
  Progress progress(plan.source->expectedFrames(), style, err);
  g_interrupted = false;
  BatchResult result;
  {
    const StopSignalHandlers handlers(err);
    result = RunBatch(*effect, plan, options, progress);
  }
  progress.Finish();
  if (args.timing) err << DescribeTiming(result) << "\n";
  if (result.interrupted) {
    const int received = StopSignalHandlers::Received();
    const int signal = received != 0 ? received : SIGINT;
    err << "fxaa: stopped by " << SignalName(signal) << "\n";
    return kExitSignalBase + signal;
  }
  // Damage concealed or left out keeps the output, but the status says it is not whole.
  return result.complete && result.damaged == 0 && result.leftOut == 0 ? kExitOk : kExitFailed;
}

int RunDemo(const DemoArgs& args, const std::string& pluginPath, std::ostream& out,
            std::ostream& err) {
  std::error_code ec;
  const fs::path folder = fs::u8path(args.folder);
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder)) {
    err << "fxaa: " << args.folder << ": cannot create folder" << (ec ? ": " + ec.message() : "")
        << "\n";
    return kExitFailed;
  }
  std::unique_ptr<host_runtime::EffectSession> effect = OpenEffect(pluginPath, err);
  if (!effect) return kExitFailed;
  ApplyParamValues(*effect, args.params);

  const Image scene = DrawDemoScene();
  Image after;
  const host_runtime::Failure failure = RenderImage(*effect, scene, FrameOptions{}, &after);
  if (failure) {
    err << "fxaa: demo scene: cannot render: " << failure.cause;
    if (failure.code != 0) err << " (plug-in error " << failure.code << ")";
    err << "\n";
    return kExitFailed;
  }
  const std::string before = (folder / "before.png").u8string();
  const std::string afterPath = (folder / "after.png").u8string();
  const std::string comparison = (folder / "comparison.png").u8string();
  WriteImage(scene, before);
  WriteImage(after, afterPath);
  WriteImage(ComposeComparison(scene, after, DemoCrop(), 6), comparison);
  out << "before:     " << before << "\n"
      << "after:      " << afterPath << "\n"
      << "comparison: " << comparison << "\n";
  return kExitOk;
}

int RunInfo(const std::string& pluginPath, std::ostream& out, std::ostream& err) {
  std::unique_ptr<host_runtime::EffectSession> effect = OpenEffect(pluginPath, err);
  if (!effect) return kExitFailed;
  char hex[16];
  std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(effect->version()));
  out << "Plug-in:    " << effect->path() << "\n"
      << "Version:    " << host_runtime::VersionText(effect->version()) << " (" << hex << ")\n"
      << "Renders:    " << (effect->smartRender() ? "smart render" : "no smart render") << ", "
      << (effect->floatColour() ? "8-bit and 32-bit float" : "8-bit only") << ", "
      << (effect->threaded() ? "on several threads" : "one thread at a time") << "\n"
      << RendererLine()
      << "About:\n";
  std::istringstream about(effect->about());
  for (std::string line; std::getline(about, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out << "  " << line << "\n";
  }

  std::map<std::string, std::string> optionOf;
  for (const KnownParam& known : host_runtime::KnownParams()) optionOf[known.name] = known.option;

  out << "Parameters (" << effect->params().size() << " declared; 0 is the input layer):\n";
  char line[256];
  std::snprintf(line, sizeof(line), "  %3s %3s  %-24s %-13s %-16s %-12s %-8s %-7s %s\n", "#", "id",
                "name", "type", "range", "slider", "default", "shown", "option");
  out << line;
  for (const host_runtime::ParamState& p : effect->params()) {
    // Ranges and defaults as every program writes them (host_runtime/exposed_params.h).
    std::string range, slider, dephault;
    if (p.type == PF_Param_FLOAT_SLIDER || p.type == PF_Param_POPUP) {
      range = host_runtime::RangeText(p);
      dephault = host_runtime::DefaultText(p) + (p.percent ? " %" : "");
    } else if (p.collapsed) {
      range = "(collapsed)";
    }
    if (p.type == PF_Param_FLOAT_SLIDER)
      slider = FormatNumber(p.sliderMin, 2) + " to " + FormatNumber(p.sliderMax, 2);
    const auto option = optionOf.find(p.name);
    std::snprintf(line, sizeof(line), "  %3d %3d  %-24s %-13s %-16s %-12s %-8s %-7s %s\n", p.index,
                  p.id, p.name.empty() ? "(end of group)" : p.name.c_str(), p.typeName.c_str(),
                  range.c_str(), slider.c_str(), dephault.c_str(),
                  p.hidden ? "hidden" : "yes",
                  option == optionOf.end() || p.name.empty() ? "" : option->second.c_str());
    out << line;
  }
  return kExitOk;
}

// The parsed command, run.
int RunCommand(const CommandLine& line, bool terminal, std::ostream& out, std::ostream& err) {
  const std::string plugin = line.plugin.empty() ? DefaultPluginPath() : line.plugin;
  try {
    switch (line.command) {
      case CommandLine::Command::kDemo: return RunDemo(line.demo, plugin, out, err);
      case CommandLine::Command::kInfo: return RunInfo(plugin, out, err);
      case CommandLine::Command::kFrames: return RunFrames(line.framesInput, out);
      case CommandLine::Command::kJoin: return RunJoin(line.join, line.quiet, err);
      case CommandLine::Command::kRender:
        return RunRender(line.render, plugin, line.quiet, terminal, err);
    }
    return kExitUsage;
  } catch (const UsageError& e) {
    err << "fxaa: " << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    err << "fxaa: " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace

std::string DefaultPluginPath() {
  std::error_code ec;
  const fs::path exe = fs::u8path(ExecutablePath());
  if (exe.empty()) return FXAA_PLUGIN_FILE_NAME;
  const fs::path dir = exe.parent_path();
  const fs::path beside = dir / FXAA_PLUGIN_FILE_NAME;
  const fs::path installed = dir / ".." / "lib" / "fxaa" / FXAA_PLUGIN_FILE_NAME;
  // Where neither is, the file beside the program is the one the error names.
  return (fs::exists(installed, ec) && !fs::exists(beside, ec) ? installed : beside)
      .lexically_normal()
      .u8string();
}

int RunFxaa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool terminal, const std::function<void(bool releaseMemory)>& beforeThreads) {
  CommandLine line;
  const int status = line.Parse(args, DeclaredForHelp, out, err);
  if (status >= 0) return status;
  if (beforeThreads) beforeThreads(line.releaseMemory);
  return RunCommand(line, terminal, out, err);
}

}  // namespace fxaa_cli
