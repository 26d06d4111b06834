// Each render thread's own OpenGL context and programs, made on its first frame and released
// by a clean-up that runs on that thread when it ends.
#pragma once

#include <memory>
#include <mutex>

#include "gl/gl_program.h"
#include "host/host_api.h"

struct GlContext;

struct ThreadRenderData {
  GlContext* context = nullptr;  // owned; none when creation failed
  ShaderProgram swizzleProgram = 0;
  ShaderProgram fxaaProgram = 0;
};

// The thread-local owner of a thread's record; its destructor is the thread-exit clean-up.
struct LocalRenderData {
  std::unique_ptr<ThreadRenderData> record;
  ThreadRenderData* get() const { return record.get(); }
  ~LocalRenderData();
};
extern thread_local LocalRenderData local_render_data;

// Guards the creation of per-thread render data (after RenderMutex in lock order).
std::mutex& ThreadDataMutex();

// Builds the swizzle program into programPair[0] and the FXAA program into programPair[1] in
// the current context; with nullptr it only prepares the shader lists.
void CreateEffectPrograms(ShaderProgram* programPair);

// Makes sure the calling thread has its record (when global set-up made a root context) and
// makes the record's context current.
void EnsureThreadRenderData(PF_InData* in_data);

// Records alive in the process, for tests of the lifecycle.
int LiveThreadRenderData();
