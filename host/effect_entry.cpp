// EffectMain: the one entry point. Each command goes to its handler; a PF_Err thrown below
// (a missing host suite) becomes the command's result after the holders have released their
// suites. Nothing else may unwind into the host, which is not C++.
#include "host/effect_entry.h"

#include <new>

#include "host/effect_params.h"
#include "host/global_data.h"
#include "host/host_suites.h"
#include "render/smart_pre_render.h"
#include "render/smart_render.h"

static_assert(FXAA_VERSION_WORD == ((FXAA_MAJOR_VERSION & 7) << 19 | (FXAA_MINOR_VERSION & 0xF) << 15 |
                                    (FXAA_BUG_VERSION & 0xF) << 11 | (FXAA_STAGE_VERSION & 3) << 9 |
                                    (FXAA_BUILD_VERSION & 0x1FF)),
              "version word encodes the version numbers");
static_assert(FXAA_OUT_FLAGS == PF_OutFlag_SEND_UPDATE_PARAMS_UI, "out_flags");
static_assert(FXAA_OUT_FLAGS2 ==
                  (PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
                   PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE |
                   PF_OutFlag2_SUPPORTS_THREADED_RENDERING),
              "out_flags2");

PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamList /*params*/,
                  PF_LayerDef* /*output*/, void* extra) {
  try {
    switch (cmd) {
      case PF_Cmd_ABOUT:
        return About(in_data, out_data);
      case PF_Cmd_GLOBAL_SETUP:
        return GlobalSetup(in_data, out_data);
      case PF_Cmd_GLOBAL_SETDOWN:
        return GlobalSetdown(in_data);
      case PF_Cmd_PARAMS_SETUP:
        return ParamsSetup(in_data, out_data);
      case PF_Cmd_USER_CHANGED_PARAM: {
        HostSuites suites(in_data->pica_basicP);
        return PF_Err_NONE;
      }
      case PF_Cmd_UPDATE_PARAMS_UI:
        return UpdateParamsUI(in_data);
      case PF_Cmd_SMART_PRE_RENDER:
        return SmartPreRender(in_data, out_data, static_cast<PF_PreRenderExtra*>(extra));
      case PF_Cmd_SMART_RENDER:
        return SmartRender(in_data, out_data, static_cast<PF_SmartRenderExtra*>(extra));
      default:
        return PF_Err_NONE;
    }
  } catch (PF_Err err) {
    return err;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    // A lock that cannot be taken or any other runtime failure: report it, never unwind.
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}
