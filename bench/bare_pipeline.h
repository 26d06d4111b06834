// The plug-in's per-frame GL work without the plug-in: its own context, the embedded programs,
// per-frame targets, upload, swizzle pass, FXAA pass and read-back, with uniforms set by
// location once and a vertex array made once instead of per draw. No host commands, no output
// clear, no binding by name.
#pragma once

#include <string>

#include "host/host_api.h"

struct GlContext;

namespace fxaa_bench {
class StageClock;
}

class BarePipeline {
 public:
  // Creates a context and both programs; ok() tells whether that worked.
  BarePipeline();
  ~BarePipeline();
  BarePipeline(const BarePipeline&) = delete;
  BarePipeline& operator=(const BarePipeline&) = delete;

  bool ok() const { return ok_; }
  std::string renderer() const { return renderer_; }
  std::string version() const { return version_; }

  // Sets the FXAA uniforms for frames of this size and mode (0 colour, 1 alpha), once.
  void Configure(int width, int height, int mode);
  // One frame from `input` into `output` at `bitDepth` (8 or 32), as the plug-in renders it.
  // With `stages`, marks the end of each stage on it, as the plug-in's staged copy does.
  void Render(const PF_EffectWorld* input, PF_EffectWorld* output, int bitDepth,
              fxaa_bench::StageClock* stages = nullptr);

 private:
  GlContext* context_ = nullptr;
  unsigned swizzleProgram_ = 0, fxaaProgram_ = 0;
  unsigned swizzleVao_ = 0, fxaaVao_ = 0;
  unsigned buffers_[2] = {0, 0};
  int width_ = 0, height_ = 0;
  bool ok_ = false;
  std::string renderer_, version_;
};
