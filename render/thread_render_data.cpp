#include "render/thread_render_data.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "gl/gl_context.h"
#include "host/effect_entry.h"
#include "render/local_render_data_backend.h"
#include "shaders/shader_sources.h"

namespace {

// CreateEffectPrograms fills the two program names as a pair.
static_assert(offsetof(ThreadRenderData, fxaaProgram) ==
                  offsetof(ThreadRenderData, swizzleProgram) + sizeof(ShaderProgram),
              "program names are adjacent");

std::atomic<int> g_liveRecords{0};

uintptr_t g_swizzleList[5];
uintptr_t g_fxaaList[5];
std::once_flag g_swizzleListOnce, g_fxaaListOnce;

void FillList(uintptr_t* list, const std::string& fragment) {
  list[0] = GL_VERTEX_SHADER;
  list[1] = reinterpret_cast<uintptr_t>(kQuadVertexProgram.c_str());
  list[2] = GL_FRAGMENT_SHADER;
  list[3] = reinterpret_cast<uintptr_t>(fragment.c_str());
  list[4] = 0;
}

}  // namespace

LocalRenderData local_render_data;

void ReleaseThreadRenderData(ThreadRenderData* record) {
  if (record == nullptr) return;
  if (record->context != nullptr) {
    // Programs are deleted only in their own context; destroying it frees them anyway.
    if (MakeGlContextCurrent(record->context)) {
      DeleteShaderProgram(&record->swizzleProgram);
      DeleteShaderProgram(&record->fxaaProgram);
    }
    DestroyGlContext(record->context);
    FreeGlContextRecord(record->context);
    record->context = nullptr;
  }
  delete record;
  --g_liveRecords;
}

void LocalRenderData::reset(ThreadRenderData* record) {
  ThreadRenderData* previous = get();
  if (record == previous) return;
  if (record != nullptr) ++g_liveRecords;
  if (!StoreThreadRecord(record)) {
    ReleaseThreadRenderData(record);
    return;
  }
  ReleaseThreadRenderData(previous);
}

std::mutex& ThreadDataMutex() {
  static std::mutex mutex;  // initialised once, safely, by the first caller
  return mutex;
}

void CreateEffectPrograms(ShaderProgram* programPair) {
  std::call_once(g_swizzleListOnce, [] { FillList(g_swizzleList, kSwizzleFragmentProgram); });
  std::call_once(g_fxaaListOnce, [] { FillList(g_fxaaList, kFxaaFragmentProgram); });
  if (programPair == nullptr) return;
  programPair[0] = BuildShaderProgram(g_swizzleList, "");
  programPair[1] = BuildShaderProgram(g_fxaaList, "");
}

bool EnsureThreadRenderData(PF_InData* in_data) {
  std::lock_guard<std::mutex> lock(ThreadDataMutex());
  if (ThreadRenderData* record = local_render_data.get()) {
    // A record without a context lets go of whatever was current and draws nothing.
    if (!MakeGlContextCurrent(record->context) || !IsGlContextValid(record->context))
      return false;
    // Programs that failed to build are built again: the cause (memory, a driver hiccup) may
    // have gone, and a frame without them is refused anyway.
    if (record->swizzleProgram == 0 || record->fxaaProgram == 0) {
      DeleteShaderProgram(&record->swizzleProgram);
      DeleteShaderProgram(&record->fxaaProgram);
      CreateEffectPrograms(&record->swizzleProgram);
    }
    return true;
  }
  // The handle points at the global block, so it is read without the host's lock call.
  const GlobalData* global =
      in_data->global_data ? *reinterpret_cast<GlobalData* const*>(in_data->global_data) : nullptr;
  if (global == nullptr || global->rootContext == nullptr) return false;

  // The record first, so that nothing made after it can be lost to a failed allocation.
  std::unique_ptr<ThreadRenderData> record(new ThreadRenderData);
  record->context = CreateGlContext(nullptr);
  if (!IsGlContextValid(record->context)) {
    // No record is kept: the next frame on this thread tries again.
    FreeGlContextRecord(record->context);
    return false;
  }
  local_render_data.reset(record.release());
  ThreadRenderData* held = local_render_data.get();
  if (held == nullptr) return false;  // the platform could not hold it; it has been released
  if (!MakeGlContextCurrent(held->context)) return false;
  CreateEffectPrograms(&held->swizzleProgram);
  return true;
}

int LiveThreadRenderData() { return g_liveRecords.load(); }
