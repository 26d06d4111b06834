#include "render/smart_render.h"

#include <cstring>

#include "host/host_suites.h"
#include "render/frame_render.h"
#include "render/render_settings.h"

std::recursive_mutex RenderMutex;

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
  RenderBlock block;
  std::memset(&block, 0, sizeof(block));
  RenderSettings& settings = block.settings;

  PF_Err err = extra->cb->checkout_layer_pixels(in_data->effect_ref, 0, &settings.inputWorld);
  if (err == PF_Err_NONE) err = extra->cb->checkout_output(in_data->effect_ref, &settings.outputWorld);
  if (settings.outputWorld == nullptr) return err;

  in_data->utils->fill(in_data->effect_ref, nullptr, nullptr, settings.outputWorld);
  if (settings.inputWorld == nullptr) return err;
  if (err != PF_Err_NONE) {
    ReportRenderError("error on buffer checkout", out_data, err, 0);
    return err;
  }

  for (PF_ParamIndex index = kParamSource; index < kParamCount; ++index) {
    PF_ParamDef* slot = &block.params[index];
    const PF_Err checkout = in_data->inter.checkout_param(
        in_data->effect_ref, index, in_data->current_time, in_data->time_step,
        in_data->time_scale, slot);
    const PF_Err checkin = in_data->inter.checkin_param(in_data->effect_ref, slot);
    if (checkout != PF_Err_NONE || checkin != PF_Err_NONE) {
      err = checkout != PF_Err_NONE ? checkout : checkin;
      ReportRenderError("error on param checkout", out_data, err, checkin);
      ReportRenderError("error on param initialisation", out_data, err, 0);
      return err;
    }
  }

  FillRenderSettings(in_data, extra, &block);

  HostSuites suites(in_data->pica_basicP);
  settings.suites = &suites;
  std::lock_guard<std::recursive_mutex> lock(RenderMutex);
  return RenderFrame(in_data, out_data, &block);
}
