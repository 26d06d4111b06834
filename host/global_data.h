// About text and the global set-up and set-down of the effect.
#pragma once

#include "host/host_api.h"

// The About text, exactly as written into return_msg.
const char* AboutText();

PF_Err About(PF_InData* in_data, PF_OutData* out_data);
PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data);
// Releases the root context and its programs; holds its own HostSuites for the command.
PF_Err GlobalSetdown(PF_InData* in_data);
