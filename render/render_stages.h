// Marks between the stages of one frame, for measuring where a frame's time goes. In the
// plug-in they compile to nothing. The benchmark compiles its own copy of the render path with
// FXAA_RENDER_STAGE_MARKS defined and supplies MarkRenderStage, which waits for the GPU and
// adds the time since the previous mark to the stage that has just ended.
#pragma once

enum class RenderStage : int {
  kHost,            // commands and host callbacks: checkouts, output clear, parameters
  kContextSwitch,   // the thread's own context made current (created on its first frame)
  kTargetCreation,  // textures and frame buffers made and cleared
  kUpload,
  kSwizzlePass,
  kFxaaPass,
  kReadBack,
  kRelease,         // textures and frame buffers deleted
  kCount
};

#ifdef FXAA_RENDER_STAGE_MARKS
void MarkRenderStage(RenderStage finished);
#define FXAA_STAGE_DONE(stage) MarkRenderStage(RenderStage::stage)
#else
#define FXAA_STAGE_DONE(stage) static_cast<void>(0)
#endif
