#include "render/render_settings.h"

#include <string>

#include "gl/diagnostic_sink.h"

void FillRenderSettings(const PF_InData* in_data, const PF_SmartRenderExtra* extra,
                        RenderBlock* block) {
  RenderSettings& s = block->settings;
  const PF_ParamDef* p = block->params;
  s.bitDepth = extra->input->bitdepth;
  // Single precision on purpose: this is the factor the host's own effects see.
  const float num = static_cast<float>(in_data->downsample_x.num);
  const float den = static_cast<float>(in_data->downsample_x.den);
  s.downsample = static_cast<double>(num / den);
  s.width = s.inputWorld->width;
  s.height = s.inputWorld->height;
  s.mode = p[kParamSource].u.pd.value - 1;
  s.strength = p[kParamStrength].u.fs_d.value * 0.01;
  s.span = s.downsample * p[kParamSpan].u.fs_d.value;
  s.reduceMult = p[kParamReduceMultiplier].u.fs_d.value * 0.125 * s.downsample;
  s.reduceMin = p[kParamReduceMinimum].u.fs_d.value * 0.0078125 * s.downsample;
  s.debugLeft = p[kParamLeft].u.fs_d.value;
  s.debugTop = p[kParamTop].u.fs_d.value;
  s.debugRight = p[kParamRight].u.fs_d.value;
  s.debugBottom = p[kParamBottom].u.fs_d.value;
}

std::string ComposeRenderError(const std::string& message, PF_Err code, PF_Err code2) {
  if (code == PF_Interrupt_CANCEL && code2 == 0) return std::string();
  return message + " err " + std::to_string(code) + " err2 " + std::to_string(code2);
}

void ReportRenderError(std::string message, PF_OutData* /*out_data*/, PF_Err code, PF_Err code2) {
  const std::string text = ComposeRenderError(message, code, code2);
  if (!text.empty()) DiagnosticStream() << text << std::endl;
}
