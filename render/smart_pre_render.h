#pragma once

#include "host/host_api.h"

// Asks for the requested area of the input layer (checkout id 0) and reports a result of the
// same area as that input.
PF_Err SmartPreRender(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);

// Grows `destination` to hold `source`; an empty destination becomes a copy of the source.
void UnionRect(const PF_LRect& source, PF_LRect* destination);
