// A stand-in plug-in for the host side's tests: About, global set-up with a handle, two
// parameters, a pre-render asking for exactly the request, and a smart render that multiplies the input by parameter 1 ("Gain").
#include <algorithm>
#include <cstring>

#include "tests/host_runtime/fake_effect.h"

namespace {

PF_Err SmartRender(PF_InData* in, PF_SmartRenderExtra* extra) {
  PF_EffectWorld* input = nullptr;
  PF_EffectWorld* output = nullptr;
  PF_Err err = extra->cb->checkout_layer_pixels(in->effect_ref, 0, &input);
  if (!err) err = extra->cb->checkout_output(in->effect_ref, &output);
  if (err || output == nullptr) return err;
  in->utils->fill(in->effect_ref, nullptr, nullptr, output);
  if (input == nullptr) return 0;
  PF_ParamDef gain{};
  err = in->inter.checkout_param(in->effect_ref, 1, in->current_time, in->time_step,
                                 in->time_scale, &gain);
  const PF_Err checkin = in->inter.checkin_param(in->effect_ref, &gain);
  if (err || checkin) return err ? err : checkin;
  const int bytes = extra->input->bitdepth == 32 ? 16 : 4;
  for (int y = 0; y < std::min(input->height, output->height); ++y) {
    const char* src = static_cast<const char*>(input->data) + y * input->rowbytes;
    char* dst = static_cast<char*>(output->data) + y * output->rowbytes;
    for (int i = 0; i < std::min(input->width, output->width) * 4; ++i) {
      if (bytes == 16) {
        float v;
        std::memcpy(&v, src + 4 * i, 4);
        v = float(v * gain.u.fs_d.value);
        std::memcpy(dst + 4 * i, &v, 4);
      } else {
        const double v = static_cast<unsigned char>(src[i]) * gain.u.fs_d.value;
        dst[i] = static_cast<char>(static_cast<unsigned char>(std::min(255.0, v)));
      }
    }
  }
  return 0;
}

PF_Err SmartPreRender(PF_InData* in, PF_PreRenderExtra* extra) {
  PF_CheckoutResult result{};
  const PF_Err err = extra->cb->checkout_layer(in->effect_ref, 0, 0, &extra->input->output_request,
                                               in->current_time, in->time_step, in->time_scale,
                                               &result);
  if (err) return err;
  extra->output->result_rect = result.result_rect;
  extra->output->max_result_rect = result.max_result_rect;
  return 0;
}

}  // namespace

FXAA_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamList,
                              PF_LayerDef*, void* extra) {
  const void* table = nullptr;
  switch (cmd) {
    case PF_Cmd_ABOUT:
      if (in->pica_basicP->AcquireSuite("PF ANSI Suite", 1, &table)) return 516;
      static_cast<const PF_ANSICallbacksSuite1*>(table)->sprintf(out->return_msg, "Fake %d", 7);
      in->pica_basicP->ReleaseSuite("PF ANSI Suite", 1);
      return 0;
    case PF_Cmd_GLOBAL_SETUP:
      out->my_version = fake::kVersion;
      out->out_flags = fake::kOutFlags;
      out->out_flags2 = fake::kOutFlags2;
      out->global_data = in->utils->host_new_handle(16);
      return out->global_data ? 0 : PF_Err_OUT_OF_MEMORY;
    case PF_Cmd_PARAMS_SETUP: {
      PF_ParamDef def{};
      def.param_type = PF_Param_FLOAT_SLIDER;
      in->utils->ansi.strcpy(def.name, "Gain");
      def.u.fs_d.dephault = 2;
      def.u.fs_d.value = 2;
      if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;
      def = PF_ParamDef{};
      def.param_type = PF_Param_POPUP;
      in->utils->ansi.strcpy(def.name, "Mode");
      def.u.pd.dephault = 1;
      def.u.pd.num_choices = 3;
      if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;
      out->num_params = 3;
      return 0;
    }
    case PF_Cmd_SMART_PRE_RENDER:
      return SmartPreRender(in, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER:
      return SmartRender(in, static_cast<PF_SmartRenderExtra*>(extra));
    case fake::kProbeCmd: {
      const fake::Probe* probe = static_cast<const fake::Probe*>(extra);
      probe->run(in, out, probe->context);
      return 0;
    }
    default:
      return 0;
  }
}
