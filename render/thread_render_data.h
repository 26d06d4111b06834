// Each render thread's own OpenGL context and programs, made on its first frame and released
// by a clean-up that runs on that thread when it ends.
#pragma once

#include <mutex>

#include "gl/gl_program.h"
#include "host/host_api.h"

struct GlContext;

struct ThreadRenderData {
  GlContext* context = nullptr;  // owned; none when creation failed
  ShaderProgram swizzleProgram = 0;
  ShaderProgram fxaaProgram = 0;
};

// The calling thread's record, owned by that thread. The platform's backend
// (local_render_data_posix.cpp, local_render_data_win.cpp) runs ReleaseThreadRenderData on each
// thread that holds a record when it ends.
class LocalRenderData {
 public:
  // The calling thread's record, or none.
  ThreadRenderData* get() const;
  // Gives the calling thread `record` (or none); the record it held before is released at once.
  // Should the platform be unable to hold it, `record` is released too and the thread keeps none.
  void reset(ThreadRenderData* record = nullptr);
};
extern LocalRenderData local_render_data;

// Releases a record: with its context made current, its programs, then the context; then the
// record itself. Runs on the thread the record belongs to.
void ReleaseThreadRenderData(ThreadRenderData* record);

// Guards the creation of per-thread render data (after RenderMutex in lock order).
std::mutex& ThreadDataMutex();

// Builds the swizzle program into programPair[0] and the FXAA program into programPair[1] in
// the current context; with nullptr it only prepares the shader lists.
void CreateEffectPrograms(ShaderProgram* programPair);

// Makes sure the calling thread has its record (when global set-up made a root context), with
// its context current and both programs built (programs that failed before are built again).
// Returns whether the record's context is current: when false, no GL call may follow. A
// context that cannot be created leaves the thread without a record, to try again next frame.
bool EnsureThreadRenderData(PF_InData* in_data);

// Records alive in the process, for tests of the lifecycle.
int LiveThreadRenderData();
