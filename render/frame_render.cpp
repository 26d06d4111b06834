#include "render/frame_render.h"

#include <algorithm>
#include <cstdint>

#include "gl/gl_context.h"
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

  EnsureThreadRenderData(in_data);
  ThreadRenderData* data = local_render_data.get();
  // A record without a context is refused too: no GL call may run on a foreign context.
  if (data == nullptr || !IsGlContextValid(data->context)) {
    ReportRenderError("error on local_render_data.get()", out_data, 0, 0);
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  FXAA_STAGE_DONE(kContextSwitch);
  if (empty) return PF_Err_NONE;  // nothing to draw; output is clear

  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  if (s.width > maxSize || s.height > maxSize) {
    ReportRenderError("error on frame size", out_data, PF_Err_OUT_OF_MEMORY, maxSize);
    return PF_Err_OUT_OF_MEMORY;
  }

  RenderTarget upload = CreateRenderTarget(s.width, s.height, GL_MIRRORED_REPEAT, GL_RGBA32F);
  RenderTarget swizzle = CreateRenderTarget(s.width, s.height, GL_MIRRORED_REPEAT, GL_RGBA32F);
  FXAA_STAGE_DONE(kTargetCreation);
  UploadToTexture(upload.texture, s.inputWorld, s.bitDepth);
  FXAA_STAGE_DONE(kUpload);

  const double noRect[4] = {0, 0, 0, 0};
  UniformMap uniforms;
  uniforms["videoTexture"] = UniformValue::Texture2D(upload.texture);
  DrawFullQuad(swizzle, data->swizzleProgram, uniforms, false, noRect, false);
  FXAA_STAGE_DONE(kSwizzlePass);
  ReleaseRenderTarget(&upload);
  FXAA_STAGE_DONE(kRelease);

  RenderTarget fxaa = CreateRenderTarget(s.width, s.height, GL_MIRRORED_REPEAT, GL_RGBA32F);
  FXAA_STAGE_DONE(kTargetCreation);
  uniforms["videoTexture"] = UniformValue::Texture2D(swizzle.texture);
  uniforms["resX"] = UniformValue::Int(s.width);
  uniforms["resY"] = UniformValue::Int(s.height);
  uniforms["modeL"] = UniformValue::Int(s.mode);
  uniforms["adaptiveX"] = UniformValue::Float(static_cast<float>(s.downsample));
  uniforms["strength"] = UniformValue::Float(static_cast<float>(s.strength));
  uniforms["span"] = UniformValue::Float(static_cast<float>(s.span));
  uniforms["reduce_mult"] = UniformValue::Float(static_cast<float>(s.reduceMult));
  uniforms["reduce_min"] = UniformValue::Float(static_cast<float>(s.reduceMin));
  DrawFullQuad(fxaa, data->fxaaProgram, uniforms, false, noRect, false);
  FXAA_STAGE_DONE(kFxaaPass);

  PF_EffectWorld view = OverlapView(*s.outputWorld, s.width, s.height);
  DownloadFromTarget(fxaa, &view, s.bitDepth, GL_COLOR_ATTACHMENT0);
  FXAA_STAGE_DONE(kReadBack);

  ReleaseRenderTarget(&swizzle);
  ReleaseRenderTarget(&fxaa);
  FXAA_STAGE_DONE(kRelease);
  return PF_Err_NONE;
}
