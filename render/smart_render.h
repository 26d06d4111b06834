#pragma once

#include <mutex>

#include "host/host_api.h"

// Serialises the GPU half of every frame in the process; recursive so a thread may re-enter.
extern std::recursive_mutex RenderMutex;

// Checks out input, output and parameters, clears the output, derives the frame's settings and
// renders the frame on the GPU under RenderMutex.
PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);
