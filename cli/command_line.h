// The fxaa command line: every command and option, parsed once (CLI11) into the values below.
// "render" is the default command: "fxaa in.png -o out.png" is "fxaa render in.png -o out.png".
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/frames.h"
#include "cli/param_options.h"

namespace CLI {
class App;
class Option;
}

namespace fxaa_cli {

struct RenderArgs {
  std::vector<std::string> inputs;
  std::string output;
  std::string frames;
  int threads = 1;
  int downsample = 1;
  bool failFast = false;
  DamagedFrames damagedFrames = DamagedFrames::kFail;
  bool premultiplied = false;
  bool timing = false;
  std::string depth;
  std::string channels;
  std::map<std::string, std::string> formatValues;  // the formats' own options given, by name
  ParamValues params;
};

struct JoinArgs {
  std::vector<std::string> parts;
  std::string source;  // --streams-from: the video the parts were rendered from
  std::string output;
};

struct DemoArgs {
  std::string folder = "fxaa-demo";
  ParamValues params;
};

class CommandLine {
 public:
  enum class Command { kRender, kDemo, kInfo, kFrames, kJoin };
  // What help shows of the plug-in's parameters: what the plug-in at a path declares (empty
  // when it cannot be loaded).
  using DeclaredLookup = std::function<std::vector<host_runtime::ParamState>(const std::string& plugin)>;

  CommandLine();
  ~CommandLine();

  // Parses `args` (without the program name). Returns -1 when a command is to run; otherwise the
  // exit status, having written the help, the version or the mistake to `out` or `err`.
  int Parse(const std::vector<std::string>& args, const DeclaredLookup& declared,
            std::ostream& out, std::ostream& err);

  Command command = Command::kRender;
  std::string plugin;  // empty: the default one
  bool quiet = false;
  bool releaseMemory = false;
  RenderArgs render;
  DemoArgs demo;
  std::string framesInput;  // the input of "frames"
  JoinArgs join;

 private:
  void Describe(const std::vector<host_runtime::ParamState>& declared);

  std::unique_ptr<CLI::App> app_;
  CLI::App* renderCmd_ = nullptr;
  CLI::App* demoCmd_ = nullptr;
  CLI::App* infoCmd_ = nullptr;
  CLI::App* framesCmd_ = nullptr;
  CLI::App* joinCmd_ = nullptr;
  // The parameter options of one command: each with its value as given.
  struct ParamOptions {
    std::vector<std::pair<const KnownParam*, CLI::Option*>> options;
    std::vector<std::string> values;
  };
  ParamOptions renderParams_, demoParams_;
  std::vector<std::string> formatValues_;
};

}  // namespace fxaa_cli
