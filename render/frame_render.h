#pragma once

#include "host/host_api.h"
#include "render/render_settings.h"

// Renders one frame on the calling thread's own context: upload, swizzle pass, FXAA pass,
// read-back into the output world. Call with RenderMutex held.
PF_Err RenderFrame(PF_InData* in_data, PF_OutData* out_data, RenderBlock* block);
