// The effect's parameters: their declaration, and the hiding of the "Debug" group.
#pragma once

#include "host/host_api.h"

// Parameter indices as the host counts them (0 is the input layer).
enum ParamIndex : PF_ParamIndex {
  kParamInput = 0,
  kParamSource = 1,
  kParamStrength = 2,
  kParamAdvancedStart = 3,
  kParamSpan = 4,
  kParamReduceMultiplier = 5,
  kParamReduceMinimum = 6,
  kParamAdvancedEnd = 7,
  kParamDebugStart = 8,
  kParamLeft = 9,
  kParamTop = 10,
  kParamRight = 11,
  kParamBottom = 12,
  kParamDebugEnd = 13,
  kParamCount = 14,
};

// "Source" popup choices.
enum SourceMode : A_long { kSourceColor = 1, kSourceAlpha = 2 };

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err UpdateParamsUI(PF_InData* in_data);
