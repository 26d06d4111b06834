// The plug-in as a program runs it: loaded from its file (or handed in as an entry point that
// is already in the process), taken through global set-up, About, parameter set-up and an
// interface update, then a smart pre-render and smart render per frame on any number of
// threads, and global set-down when the session goes. The fxaa tool and programs that embed
// the effect share this one path; what the plug-in declared is read back through the host.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host_runtime/failure.h"
#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"

namespace host_runtime {

class EffectSession {
 public:
  // Loads the plug-in file and sends the set-up commands. Returns nullptr with *error set to
  // one line naming the file and the cause.
  static std::unique_ptr<EffectSession> Open(const std::string& path, std::string* error);
  // The same with an entry point already in the process (the effect linked in, or a module the
  // caller loaded and keeps loaded); `name` stands for the file in path() and in messages.
  static std::unique_ptr<EffectSession> Open(PF_FilterProc entry, const std::string& name,
                                             std::string* error);
  ~EffectSession();  // global set-down
  EffectSession(const EffectSession&) = delete;
  EffectSession& operator=(const EffectSession&) = delete;

  const std::string& path() const { return path_; }
  const std::string& about() const { return about_; }
  A_u_long version() const { return host_->myVersion(); }
  bool threaded() const;     // announced threaded rendering
  bool floatColour() const;  // announced 32-bit float worlds
  bool smartRender() const;  // announced smart render
  const std::vector<ParamState>& params() const { return params_; }
  const ParamState* Find(const std::string& name) const;
  // The plug-in's global handle, for a program that carries the plug-in and reads its record.
  PF_Handle globalData() const { return host_->globalData(); }

  // The values a Render without values of its own uses. Before rendering, not while frames
  // render.
  void SetValue(int index, double value) { defaults_.params[index] = value; }
  void SetDownsample(int factor) { defaults_.SetDownsample(factor); }

  // Renders `input` into `output` (same size and depth): pre-render, render, and the deletion
  // of the pre-render data. Safe on several threads at once, each frame with its own values.
  // Returns the plug-in's error code.
  PF_Err Render(World* input, World* output, const FrameValues& values);
  PF_Err Render(World* input, World* output) { return Render(input, output, defaults_); }

  // Whether the effect renders here at all. Global set-up succeeds even where no OpenGL context
  // can be made, so the first call renders a small frame on the calling thread and keeps the
  // answer: none, kNoContext where no context can be made, or what else failed the small frame.
  // Safe on several threads at once.
  Failure Probe();

  // Why the plug-in failed a frame of `width` x `height` with `code`, in the user's words. The
  // plug-in gives one code for a missing context and for a GPU that failed the frame: Probe
  // tells which. An out-of-memory frame wider or taller than `largestSide()` (the GPU's largest
  // frame side, asked only then; 0 when it cannot be known) is said to be too large, with the
  // limit. Call on a thread where the effect renders.
  Failure FrameFailure(PF_Err code, int width, int height,
                       const std::function<int()>& largestSide);

 private:
  EffectSession() = default;
  // Makes the host for `entry` and sends the set-up commands; false with *error set.
  bool SetUp(PF_FilterProc entry, std::string* error);

  std::unique_ptr<PluginModule> module_;  // none when the entry point was handed in
  std::unique_ptr<Host> host_;
  std::string path_;
  std::string about_;
  std::vector<ParamState> params_;
  FrameValues defaults_;
  bool setUp_ = false;
  std::once_flag probed_;
  Failure probe_;  // the small frame's result, once probed_
};

// The version word in the host's encoding as "major.minor.revision".
std::string VersionText(A_u_long version);

// What a plug-in error code means for the user, e.g. "out of memory or too large for the GPU".
std::string DescribePluginError(PF_Err code);

}  // namespace host_runtime
