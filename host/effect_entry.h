// The effect's entry point and its global record.
#pragma once

#include <cstdint>

#include "host/effect_version.h"
#include "host/host_api.h"

struct GlContext;

// Lives in the host's 16-byte global handle from global set-up on. rootContext is null when no
// OpenGL 3.2 core context could be made; the render threads use it only as that gate.
struct GlobalData {
  GlContext* rootContext;
  uint32_t swizzleProgram;
  uint32_t fxaaProgram;
};
static_assert(sizeof(GlobalData) == 16, "the host handle holds exactly 16 bytes");

FXAA_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                              PF_ParamList params, PF_LayerDef* output, void* extra);
