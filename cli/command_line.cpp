#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>

#include "cli/app.h"
#include "cli/batch.h"
#include "cli/formats/format.h"
#include "cli/process_memory.h"

namespace fxaa_cli {

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
  fxaa scan.%06d.dpx -o aa/                   DPX at its bits, byte order, time code (Linux)
  fxaa render.exr -o aa.dpx --depth 10        10-bit DPX
  fxaa sprite.tga -o aa.webp                  lossless WebP, alpha kept
  fxaa a.png b.png c.png -o smooth/           several files
  fxaa in.mp4 -o out.mp4                      a video: same codec, colour tags and audio
  fxaa in.ts -o out.ts                        a transport stream (broadcast, camcorder)
  fxaa in.mov -o out.mxf                      MXF OP1a: DNxHD, MPEG-2 or ProRes, PCM, time code
  fxaa capture.ts -o clean.ts --damaged-frames conceal
  fxaa in.mov -o frames/out.%05d.exr          a video's frames as files
  fxaa 'shot.####.png' --fps 24 -o out.mov    files into a video (ProRes in .mov)
  fxaa in.mkv -o out.mkv --codec libx265 --crf 20
  fxaa info                                   what the plug-in declares, and its renderer
  fxaa frames in.mp4                          the frames a whole run renders (1-1440)
  fxaa in.mp4 --frames 1-480 -o part1.mkv     a range of a video: a part, for a render farm
  fxaa join part*.mkv --streams-from in.mp4 -o out.mkv
                                              the parts into one video, with in.mp4's audio

Exit status: 0 all frames written, 1 some frames failed or were damaged, or a runtime error
(plug-in, OpenGL, files), 2 the command line is wrong (nothing was done), 130, 143 or 129
stopped by SIGINT (Ctrl-C), SIGTERM or SIGHUP.)";

// A slider's value must be a number; whether the plug-in takes it is checked against what it
// declares. No description: the help already says what the option takes.
const CLI::Validator IsNumber(
    [](std::string& text) {
      char* end = nullptr;
      std::strtod(text.c_str(), &end);
      return !text.empty() && *end == '\0' ? std::string() : "not a number: " + text;
    },
    "");

// The options for the plug-in's parameters, on one command; their help is completed once the
// plug-in's declarations are known.
template <typename ParamOptions>
void AddParamOptions(CLI::App* command, ParamOptions* params) {
  const auto& known = host_runtime::KnownParams();
  params->values.resize(known.size());
  for (size_t i = 0; i < known.size(); ++i) {
    CLI::Option* option =
        command->add_option(known[i].option, params->values[i], OptionHelp(known[i], nullptr));
    if (known[i].type == PF_Param_POPUP)
      option->type_name("MODE");
    else
      option->type_name("X")->check(IsNumber);
    params->options.push_back({&known[i], option});
  }
}

// The values given on one command, by the table's order.
template <typename ParamOptions>
ParamValues GivenParams(const ParamOptions& params) {
  ParamValues given;
  for (size_t i = 0; i < params.options.size(); ++i)
    given.push_back(params.options[i].second->count() > 0
                        ? std::optional<std::string>(params.values[i])
                        : std::nullopt);
  return given;
}

// The render command's options beside the parameters.
void AddRenderOptions(CLI::App* render, RenderArgs* args, std::vector<std::string>* formatValues) {
  render->add_option("inputs", args->inputs,
                     "input files (" + FormatExtensions() +
                         "), or one numbered sequence: shot.%04d.exr or shot.####.exr")
      ->required();
  render->add_option("-o,--output", args->output,
                     "output file, pattern (out.%04d.png), folder (out/, same names), or video "
                     "(out.mp4); the name's extension chooses the format")
      ->required()
      ->type_name("OUT");
  render->add_option("--frames", args->frames,
                     "frames of a numbered input or a video (from 1): 1-60, 1-60x2, 1-9,20; a "
                     "video output takes one run (default: all, for a sequence from the first "
                     "file to the last)")
      ->type_name("RANGE");
  render->add_option("--downsample", args->downsample,
                     "render at 1/N resolution, as the host's reduced-resolution preview (output "
                     "is 1/N the size); default 1")
      ->check(CLI::Range(1, 64))
      ->type_name("N");
  args->threads = DefaultThreadCount();
  render->add_option("-j,--threads", args->threads,
                     "render threads (default " + std::to_string(DefaultThreadCount()) + ")")
      ->check(CLI::Range(1, 64))
      ->type_name("N");
  render->add_flag("--fail-fast", args->failFast, "stop at the first frame that fails");
  render
      ->add_option_function<std::string>(
          "--damaged-frames",
          [args](const std::string& mode) {
            args->damagedFrames =
                mode == "conceal" ? DamagedFrames::kConceal : DamagedFrames::kFail;
          },
          "fail (the default): a damaged frame fails, and a video output with it; conceal: "
          "render frames as the decoder concealed them, leave out those it cannot give and "
          "damaged or missing files, name each (exit status 1)")
      ->check(CLI::IsMember({"fail", "conceal"}).description(""))
      ->type_name("MODE");
  render->add_flag("--timing", args->timing,
                   "print where the time went at the end: the batch's wall time, the time during "
                   "which frames were rendering, and the reading and writing time summed over "
                   "frames");
  render->add_flag("--premultiplied", args->premultiplied,
                   "the inputs hold premultiplied colour: un-premultiply before, premultiply "
                   "after");
  render->add_option("--depth", args->depth,
                     "output sample type: 8, 16 (PNG, TIFF, DPX, JPEG 2000, SGI, Netpbm), 10, 12 "
                     "(DPX; 16 elsewhere), half, float (EXR, TIFF); JPEG, TGA, BMP, WebP and QOI "
                     "are 8-bit only; default the input's")
      ->type_name("TYPE");
  render->add_option("--channels", args->channels,
                     "output channels: y, ya, rgb, rgba; default the input's")
      ->type_name("SET");
  const std::vector<const FormatOption*> formatOptions = AllFormatOptions();
  formatValues->resize(formatOptions.size());
  for (size_t i = 0; i < formatOptions.size(); ++i)
    render->add_option(std::string("--") + formatOptions[i]->name, (*formatValues)[i],
                       formatOptions[i]->help)
        ->type_name(formatOptions[i]->valueName);
}

// The arguments with "render" put in front when they name no command.
std::vector<std::string> WithDefaultCommand(const CLI::App& app, std::vector<std::string> args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help" || a == "--version") return args;
    if (a == "--plugin") {
      ++i;  // its value is no command name
      continue;
    }
    if (!a.empty() && a[0] == '-') continue;
    const auto named = [&a](const CLI::App* command) { return command->check_name(a); };
    if (!app.get_subcommands(named).empty()) return args;
    break;
  }
  if (!args.empty()) args.insert(args.begin(), "render");
  return args;
}

}  // namespace

CommandLine::CommandLine()
    : app_(std::make_unique<CLI::App>(
          "fxaa: anti-alias images, sequences and videos (" + FormatNames() +
              ") with the FXAA plug-in, run as After Effects would run it.",
          "fxaa")) {
  CLI::App& app = *app_;
  app.footer(kExamples);
  // Options are written the same everywhere; on Windows "/name" would otherwise be an option,
  // and a rooted path a wrong one.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("fxaa ") + FXAA_TOOL_VERSION);
  app.require_subcommand(0, 1);
  app.add_option("--plugin", plugin,
                 "the plug-in file (default: " FXAA_PLUGIN_FILE_NAME
                 " beside fxaa, then ../lib/fxaa/, then the build's)")
      ->type_name("PATH");
  app.add_flag("-q,--quiet", quiet, "no progress, only errors");
  app.add_flag(kReleaseMemoryOption, releaseMemory,
               std::string("hand freed memory back to the system at once (or set ") +
                   kReleaseMemoryVariable +
                   "=1): the least memory, but slower frames on the software renderer");

  renderCmd_ = app.add_subcommand(
      "render", "anti-alias images or sequences (the default command: \"render\" may be left out)");
  renderCmd_->fallthrough();
  AddRenderOptions(renderCmd_, &render, &formatValues_);
  AddParamOptions(renderCmd_, &renderParams_);

  demoCmd_ = app.add_subcommand(
      "demo", "draw an aliased test scene, anti-alias it, and write before.png, after.png and "
              "comparison.png");
  demoCmd_->fallthrough();
  demoCmd_->add_option("--out,folder", demo.folder, "folder for the pictures (default fxaa-demo)")
      ->type_name("FOLDER");
  AddParamOptions(demoCmd_, &demoParams_);

  infoCmd_ = app.add_subcommand(
      "info", "print the plug-in's About text, the parameters it declares and the OpenGL "
              "renderer it will render on");
  infoCmd_->fallthrough();

  framesCmd_ = app.add_subcommand(
      "frames", "print the frames a whole run of an input renders, as --frames takes them "
                "(1-1440), for a job to split into ranges");
  framesCmd_->fallthrough();
  framesCmd_->add_option("input", framesInput, "a video, or a numbered sequence")
      ->required()
      ->type_name("INPUT");

  joinCmd_ = app.add_subcommand(
      "join", "join the parts that --frames runs wrote of a video into one, with the source's "
              "audio and other streams");
  joinCmd_->fallthrough();
  joinCmd_->add_option("parts", join.parts, "the parts, in any order")->required();
  joinCmd_->add_option("--streams-from", join.source,
                       "the video the parts were rendered from: its frames are checked, its "
                       "other streams, metadata and chapters copied")
      ->required()
      ->type_name("SOURCE");
  joinCmd_->add_option("-o,--output", join.output, "the joined video")
      ->required()
      ->type_name("OUT");
}

CommandLine::~CommandLine() = default;

void CommandLine::Describe(const std::vector<host_runtime::ParamState>& declared) {
  for (const ParamOptions* params : {&renderParams_, &demoParams_}) {
    for (const auto& [param, option] : params->options) {
      const host_runtime::ParamState* found = nullptr;
      for (const host_runtime::ParamState& p : declared)
        if (p.name == param->name) found = &p;
      option->description(OptionHelp(*param, found));
    }
  }
}

int CommandLine::Parse(const std::vector<std::string>& rawArgs, const DeclaredLookup& declared,
                       std::ostream& out, std::ostream& err) {
  std::vector<std::string> args = WithDefaultCommand(*app_, rawArgs);
  if (args.empty()) {
    err << app_->help();
    return kExitUsage;
  }
  std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
  try {
    app_->parse(args);
  } catch (const CLI::CallForHelp& e) {
    // Help is written once every argument is read, --plugin included.
    Describe(declared(plugin));
    return app_->exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    const int code = app_->exit(e, out, err);
    return code == 0 ? kExitOk : kExitUsage;
  }
  if (*demoCmd_) command = Command::kDemo;
  else if (*infoCmd_) command = Command::kInfo;
  else if (*framesCmd_) command = Command::kFrames;
  else if (*joinCmd_) command = Command::kJoin;
  else if (*renderCmd_) command = Command::kRender;
  else {
    err << app_->help();
    return kExitUsage;
  }
  render.params = GivenParams(renderParams_);
  demo.params = GivenParams(demoParams_);
  const std::vector<const FormatOption*> formatOptions = AllFormatOptions();
  for (size_t i = 0; i < formatOptions.size(); ++i) {
    const std::string name = std::string("--") + formatOptions[i]->name;
    if (renderCmd_->get_option(name)->count() > 0)
      render.formatValues[formatOptions[i]->name] = formatValues_[i];
  }
  return -1;
}

}  // namespace fxaa_cli
