#include "host/global_data.h"

#include <optional>

#include "gl/gl_context.h"
#include "gl/gl_program.h"
#include "host/effect_entry.h"
#include "host/effect_version.h"
#include "host/host_suites.h"
#include "render/thread_render_data.h"

// CreateEffectPrograms fills the two program names as a pair.
static_assert(offsetof(GlobalData, fxaaProgram) ==
                  offsetof(GlobalData, swizzleProgram) + sizeof(ShaderProgram),
              "program names are adjacent");

namespace {

// Deletes the root context's programs (in that context only) and the context itself, and
// empties the record so that a repeated set-down finds nothing dangling.
void ReleaseRootContext(GlobalData* global) {
  if (MakeGlContextCurrent(global->rootContext)) {
    DeleteShaderProgram(&global->swizzleProgram);
    DeleteShaderProgram(&global->fxaaProgram);
  }
  global->swizzleProgram = 0;
  global->fxaaProgram = 0;
  DestroyGlContext(global->rootContext);
  FreeGlContextRecord(global->rootContext);
  global->rootContext = nullptr;
}

}  // namespace

const char* AboutText() {
  // Used as a format string too, so it must never hold a '%'.
  return FXAA_PRODUCT_NAME " v" FXAA_VERSION_TEXT "\n"
         "\n"
         "Reduces aliasing (aka jaggies, stairstepping, grumpkins) using FXAA.\n"
         "Algorithm by Vantrel.\n"
         "\n"
         FXAA_COPYRIGHT "\n"
         "https://corvella.example/fxaa";
}

PF_Err About(PF_InData* in_data, PF_OutData* out_data) {
  HostSuites suites(in_data->pica_basicP);
  suites.PFANSISuite1()->sprintf(out_data->return_msg, AboutText());
  return PF_Err_NONE;
}

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data) {
  out_data->my_version = FXAA_VERSION_WORD;
  out_data->out_flags = FXAA_OUT_FLAGS;
  out_data->out_flags2 = FXAA_OUT_FLAGS2;

  HostSuites suites(in_data->pica_basicP);
  const PF_HandleSuite1* handles = suites.PFHandleSuite2();
  PF_Handle handle = handles->host_new_handle(sizeof(GlobalData));
  out_data->global_data = handle;
  // Without a handle there is nowhere to keep the global record; say so rather than lock null.
  if (handle == nullptr) return PF_Err_OUT_OF_MEMORY;

  GlobalData* global = static_cast<GlobalData*>(handles->host_lock_handle(handle));
  if (global == nullptr) {
    // The render threads and set-down read the record through the handle: it must say "no
    // root context" there, not hold whatever the host's new block held.
    if (void* block = *handle) *static_cast<GlobalData*>(block) = GlobalData{};
    return PF_Err_NONE;
  }
  global->rootContext = nullptr;
  global->swizzleProgram = 0;
  global->fxaaProgram = 0;

  // The host's context is current again when set-up ends, however it ends.
  struct HostContextRestorer {
    GlContext* host;
    ~HostContextRestorer() {
      MakeGlContextCurrent(host);
      FreeGlContextRecord(host);
    }
  } restorer{CaptureCurrentGlContext()};
  GlContext* root = CreateGlContext(nullptr);
  if (!IsGlContextValid(root)) {
    FreeGlContextRecord(root);
    return PF_Err_NONE;
  }
  global->rootContext = root;
  try {
    if (MakeGlContextCurrent(root)) CreateEffectPrograms(&global->swizzleProgram);
  } catch (...) {
    // A set-up that fails is not followed by a set-down: nothing of it may stay behind.
    ReleaseRootContext(global);
    throw;
  }
  return PF_Err_NONE;
}

PF_Err GlobalSetdown(PF_InData* in_data) {
  std::optional<HostSuites> suites;
  GlobalData* global = nullptr;
  PF_Err missingSuite = PF_Err_NONE;
  try {
    suites.emplace(in_data->pica_basicP);
    if (in_data->global_data != nullptr)
      global = static_cast<GlobalData*>(
          suites->PFHandleSuite2()->host_lock_handle(in_data->global_data));
  } catch (PF_Err err) {
    missingSuite = err;
  }
  // Without the suite or the lock the record is read through the handle itself, which points
  // at the block (the render threads read it so too): the root context is released either way
  // rather than stranded, holding the display, for the rest of the process.
  if (global == nullptr && in_data->global_data != nullptr)
    global = *reinterpret_cast<GlobalData* const*>(in_data->global_data);
  if (global != nullptr && global->rootContext != nullptr) {
    ReleaseRootContext(global);
    MakeGlContextCurrent(nullptr);
  }
  if (missingSuite != PF_Err_NONE) throw missingSuite;
  return PF_Err_NONE;
}
