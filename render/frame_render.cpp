#include "render/frame_render.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "gl/gl_context.h"
#include "gl/gl_limits.h"
#include "gl/gl_target.h"
#include "render/render_stages.h"
#include "render/thread_render_data.h"

namespace {

// The part of `output` that the frame covers: never more than the input's size, so the
// read-back stays inside both the target and the host's buffer.
PF_EffectWorld OverlapView(const PF_EffectWorld& output, A_long width, A_long height) {
  PF_EffectWorld view = output;
  view.width = std::min(output.width, width);
  view.height = std::min(output.height, height);
  return view;
}

// Whether the rows of `world` can be transferred at `bitDepth` (8 or 32) without reaching
// past its memory: an empty world always can; any other needs memory and rows at least a
// row of pixels long.
bool TransferableWorld(const PF_EffectWorld* world, int bitDepth) {
  if (world == nullptr) return false;
  if (world->width <= 0 || world->height <= 0) return true;
  const int64_t pixelBytes = bitDepth == 32 ? 16 : 4;
  return world->data != nullptr && int64_t(world->rowbytes) >= world->width * pixelBytes;
}

// Clears the pixels of `view` (8 or 32 bits per channel, rows checked transferable) back to
// transparent black: a frame refused after its read-back must not keep what it read.
void ClearView(PF_EffectWorld* view, int bitDepth) {
  const size_t rowBytes = size_t(view->width) * (bitDepth == 32 ? 16 : 4);
  uint8_t* data = static_cast<uint8_t*>(view->data);
  for (A_long y = 0; y < view->height; ++y)
    std::memset(data + size_t(y) * size_t(view->rowbytes), 0, rowBytes);
}

// The code a frame is refused with for a GL error: memory for the GPU's own running out, any
// other error leaves the context unfit for drawing.
PF_Err CodeForGlError(GLenum error) {
  return error == GL_OUT_OF_MEMORY ? PF_Err_OUT_OF_MEMORY : PF_Err_INTERNAL_STRUCT_DAMAGED;
}

}  // namespace

PF_Err RenderFrame(PF_InData* in_data, PF_OutData* out_data, RenderBlock* block) {
  const RenderSettings& s = block->settings;
  FXAA_STAGE_DONE(kHost);
  // Only 8 and 32 bits per channel are announced; anything else never reaches the GPU.
  if (s.bitDepth != 8 && s.bitDepth != 32) {
    ReportRenderError("error on unsupported bit depth", out_data, PF_Err_BAD_CALLBACK_PARAM,
                      s.bitDepth);
    return PF_Err_BAD_CALLBACK_PARAM;
  }

  // A world the transfers would refuse gives no frame; say so instead of returning a blank one.
  // An empty frame transfers nothing, whatever its worlds.
  const bool empty = s.width <= 0 || s.height <= 0;
  if (!empty && (!TransferableWorld(s.inputWorld, s.bitDepth) ||
                 !TransferableWorld(s.outputWorld, s.bitDepth))) {
    ReportRenderError("error on buffer layout", out_data, PF_Err_BAD_CALLBACK_PARAM, 0);
    return PF_Err_BAD_CALLBACK_PARAM;
  }

  const bool current = EnsureThreadRenderData(in_data);
  ThreadRenderData* data = local_render_data.get();
  // Every refusal below leaves the output as the driver cleared it. Until the thread's own
  // context is known to be current, no GL call may run: it would draw in someone else's.
  if (data == nullptr || !IsGlContextValid(data->context)) {
    ReportRenderError("error on local_render_data.get()", out_data, 0, 0);
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  if (!current) {
    ReportRenderError("error on context switch", out_data, PF_Err_INTERNAL_STRUCT_DAMAGED, 0);
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  FXAA_STAGE_DONE(kContextSwitch);
  // Errors read before this frame (set-up, program building) are not the frame's; whatever
  // its GL work raises is taken at the end, on every way out.
  if (data->swizzleProgram == 0 || data->fxaaProgram == 0) {
    ReportRenderError("error on shader programs", out_data, PF_Err_INTERNAL_STRUCT_DAMAGED,
                      static_cast<PF_Err>(TakeGlErrors()));
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  ForgetGlErrors();
  struct ErrorsTakenOnExit {
    bool taken = false;
    ~ErrorsTakenOnExit() {
      if (!taken) TakeGlErrors();
    }
  } errors;
  if (empty) return PF_Err_NONE;  // nothing to draw; output is clear

  const int maxSize = LargestFrameSide();
  if (s.width > maxSize || s.height > maxSize) {
    ReportRenderError("error on frame size", out_data, PF_Err_OUT_OF_MEMORY, maxSize);
    return PF_Err_OUT_OF_MEMORY;
  }

  ScopedRenderTarget upload(s.width, s.height, GL_MIRRORED_REPEAT, GL_RGBA32F);
  ScopedRenderTarget swizzle(s.width, s.height, GL_MIRRORED_REPEAT, GL_RGBA32F);
  FXAA_STAGE_DONE(kTargetCreation);
  // A target the GPU gave no storage has no frame buffer: nothing drawn into it exists.
  if (upload.get().framebuffer == 0 || swizzle.get().framebuffer == 0) {
    ReportRenderError("error on render target", out_data, PF_Err_OUT_OF_MEMORY,
                      static_cast<PF_Err>(TakeGlErrors()));
    return PF_Err_OUT_OF_MEMORY;
  }
  UploadToTexture(upload.get().texture, s.inputWorld, s.bitDepth);
  FXAA_STAGE_DONE(kUpload);

  const double noRect[4] = {0, 0, 0, 0};
  UniformMap uniforms;
  uniforms["videoTexture"] = UniformValue::Texture2D(upload.get().texture);
  DrawFullQuad(swizzle.get(), data->swizzleProgram, uniforms, false, noRect, false);
  FXAA_STAGE_DONE(kSwizzlePass);
  upload.Release();
  FXAA_STAGE_DONE(kRelease);

  ScopedRenderTarget fxaa(s.width, s.height, GL_MIRRORED_REPEAT, GL_RGBA32F);
  FXAA_STAGE_DONE(kTargetCreation);
  if (fxaa.get().framebuffer == 0) {
    ReportRenderError("error on render target", out_data, PF_Err_OUT_OF_MEMORY,
                      static_cast<PF_Err>(TakeGlErrors()));
    return PF_Err_OUT_OF_MEMORY;
  }
  uniforms["videoTexture"] = UniformValue::Texture2D(swizzle.get().texture);
  uniforms["resX"] = UniformValue::Int(s.width);
  uniforms["resY"] = UniformValue::Int(s.height);
  uniforms["modeL"] = UniformValue::Int(s.mode);
  uniforms["adaptiveX"] = UniformValue::Float(static_cast<float>(s.downsample));
  uniforms["strength"] = UniformValue::Float(static_cast<float>(s.strength));
  uniforms["span"] = UniformValue::Float(static_cast<float>(s.span));
  uniforms["reduce_mult"] = UniformValue::Float(static_cast<float>(s.reduceMult));
  uniforms["reduce_min"] = UniformValue::Float(static_cast<float>(s.reduceMin));
  DrawFullQuad(fxaa.get(), data->fxaaProgram, uniforms, false, noRect, false);
  FXAA_STAGE_DONE(kFxaaPass);

  PF_EffectWorld view = OverlapView(*s.outputWorld, s.width, s.height);
  DownloadFromTarget(fxaa.get(), &view, s.bitDepth, GL_COLOR_ATTACHMENT0);
  FXAA_STAGE_DONE(kReadBack);

  swizzle.Release();
  fxaa.Release();
  FXAA_STAGE_DONE(kRelease);

  // One look at the error state for the whole frame: any step's error means the pixels read
  // back cannot be trusted.
  errors.taken = true;
  if (const GLenum error = TakeGlErrors()) {
    ClearView(&view, s.bitDepth);
    ReportRenderError("error on OpenGL", out_data, CodeForGlError(error),
                      static_cast<PF_Err>(error));
    return CodeForGlError(error);
  }
  return PF_Err_NONE;
}
