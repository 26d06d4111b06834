// The plug-in as the tool runs it: loaded through the host side and taken through global set-up,
// parameter set-up and an interface update, then smart pre-render and smart render per frame on
// any number of threads, and global set-down when the object goes. What it declared is read
// back through the host side.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostsim/host_sim.h"

namespace fxaa_cli {

// A parameter as the plug-in declared it, as the host side presents it.
using DeclaredParam = hostsim::ParamState;

class Effect {
 public:
  // Loads the plug-in file and sends the set-up commands. Returns nullptr with *error set to one
  // line naming the file and the cause.
  static std::unique_ptr<Effect> Open(const std::string& path, std::string* error);
  ~Effect();  // global set-down
  Effect(const Effect&) = delete;
  Effect& operator=(const Effect&) = delete;

  const std::string& path() const { return module_->path(); }
  const std::string& about() const { return about_; }
  A_u_long version() const { return host_->myVersion(); }
  bool threaded() const;     // announced threaded rendering
  bool floatColour() const;  // announced 32-bit float worlds
  bool smartRender() const;  // announced smart render
  const std::vector<DeclaredParam>& params() const { return params_; }
  const DeclaredParam* Find(const std::string& name) const;

  // Before rendering, not while frames render.
  void SetValue(int index, double value) { host_->SetParamValue(index, value); }
  void SetDownsample(int factor);

  // Renders `input` into `output` (same size and depth). Safe on several threads at once.
  // Returns the plug-in's error code.
  PF_Err Render(hostsim::World* input, hostsim::World* output);

 private:
  Effect() = default;
  std::unique_ptr<hostsim::PluginModule> module_;
  std::unique_ptr<hostsim::Host> host_;
  std::string about_;
  std::vector<DeclaredParam> params_;
  bool setUp_ = false;
};

// The version word in the host's encoding as "major.minor.revision".
std::string VersionText(A_u_long version);

// What a plug-in error code means for the user, e.g. "out of memory or too large for the GPU".
std::string DescribePluginError(PF_Err code);

}  // namespace fxaa_cli
