// One frame's render values, the smart render's working storage, and the render path's
// diagnostic line.
#pragma once

#include <string>

#include "host/effect_params.h"
#include "host/host_api.h"

class HostSuites;

struct RenderSettings {
  A_short bitDepth;
  PF_EffectWorld* inputWorld;
  PF_EffectWorld* outputWorld;
  HostSuites* suites;
  double downsample;
  A_long width;
  A_long height;
  A_long mode;
  double strength;
  double span;
  double reduceMult;
  double reduceMin;
  double debugLeft;
  double debugTop;
  double debugRight;
  double debugBottom;
};

// Slot i holds parameter i; slot 0 (the input layer) stays empty.
struct RenderBlock {
  PF_ParamDef params[kParamCount];
  RenderSettings settings;
};

// Fills block->settings from the checked-out parameter slots, the input world and the host's
// downsample factor, in the order bitDepth, downsample, width, height, then the values.
void FillRenderSettings(const PF_InData* in_data, const PF_SmartRenderExtra* extra,
                        RenderBlock* block);

// The diagnostic text for (message, code, code2); empty for a user cancel (517 with code2 0).
std::string ComposeRenderError(const std::string& message, PF_Err code, PF_Err code2);

// Writes the composed line to standard output; never touches out_data.
void ReportRenderError(std::string message, PF_OutData* out_data, PF_Err code, PF_Err code2);
