#include "host/effect_params.h"

#include <cstring>

#include "host/host_suites.h"

namespace {

// One declared parameter. Slider fields are ignored for other types.
struct ParamRow {
  PF_ParamType type;
  A_long id;
  const char* name;  // nullptr: no name (group ends)
  float validMin, validMax, sliderMin, sliderMax, dephault;
  PF_ValueDisplayFlags display;
  PF_ParamFlags flags;
};

constexpr float kCurveTolerance = 0.05f;
constexpr A_short kPrecision = 2;
const char kSourceChoices[] = "Color|Alpha";

// In declaration order: the position is the parameter index, the id is what saved projects keep.
const ParamRow kParams[] = {
    {PF_Param_POPUP, 1, "Source", 0, 0, 0, 0, kSourceColor, 0, 0},
    {PF_Param_FLOAT_SLIDER, 2, "Strength", 0, 100, 0, 100, 100, PF_ValueDisplayFlag_PERCENT, 0},
    {PF_Param_GROUP_START, 7, "Advanced", 0, 0, 0, 0, 0, 0, PF_ParamFlag_START_COLLAPSED},
    {PF_Param_FLOAT_SLIDER, 8, "FXAA Span", 0, 100, 0, 16, 8, 0, 0},
    {PF_Param_FLOAT_SLIDER, 9, "FXAA Reduce Multiplier", 0, 100, 0, 4, 1, 0, 0},
    {PF_Param_FLOAT_SLIDER, 10, "FXAA Reduce Minimum", 0, 100, 0, 4, 1, 0, 0},
    {PF_Param_GROUP_END, 11, nullptr, 0, 0, 0, 0, 0, 0, 0},
    {PF_Param_GROUP_START, 12, "Debug", 0, 0, 0, 0, 0, 0, 0},
    {PF_Param_FLOAT_SLIDER, 3, "Left", -1000, 1000, 0, 5, 0, 0, 0},
    {PF_Param_FLOAT_SLIDER, 4, "Top", -1000, 1000, 0, 5, 0, 0, 0},
    {PF_Param_FLOAT_SLIDER, 5, "Right", -1000, 1000, 0, 5, 0, 0, 0},
    {PF_Param_FLOAT_SLIDER, 6, "Bottom", -1000, 1000, 0, 5, 0, 0, 0},
    {PF_Param_GROUP_END, 13, nullptr, 0, 0, 0, 0, 0, 0, 0},
};
static_assert(sizeof(kParams) / sizeof(kParams[0]) == kParamCount - 1, "13 declared parameters");

void FillDefinition(const ParamRow& row, const PF_InData* in_data, PF_ParamDef* def) {
  std::memset(def, 0, sizeof(*def));
  def->param_type = row.type;
  if (row.name != nullptr) in_data->utils->ansi.strcpy(def->name, row.name);
  def->flags = row.flags;
  if (row.type == PF_Param_POPUP) {
    def->u.pd.value = static_cast<PF_ParamValue>(row.dephault);
    def->u.pd.num_choices = 2;
    def->u.pd.dephault = static_cast<A_short>(row.dephault);
    def->u.pd.u.namesptr = kSourceChoices;
  } else if (row.type == PF_Param_FLOAT_SLIDER) {
    PF_FloatSliderDef& slider = def->u.fs_d;
    slider.value = row.dephault;
    slider.valid_min = row.validMin;
    slider.valid_max = row.validMax;
    slider.slider_min = row.sliderMin;
    slider.slider_max = row.sliderMax;
    slider.dephault = row.dephault;
    slider.precision = kPrecision;
    slider.display_flags = row.display;
    slider.curve_tolerance = kCurveTolerance;
  }
  def->uu.id = row.id;
}

}  // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data) {
  PF_ParamDef def;
  for (const ParamRow& row : kParams) {
    FillDefinition(row, in_data, &def);
    PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def);
    if (err != PF_Err_NONE) return err;
  }
  out_data->num_params = kParamCount;
  return PF_Err_NONE;
}

PF_Err UpdateParamsUI(PF_InData* in_data) {
  HostSuites suites(in_data->pica_basicP);
  AEGP_EffectRefH effect = nullptr;
  AEGP_StreamRefH stream = nullptr;
  PF_Err err = PF_Err_NONE;
  // The suite that gives the effect reference back is taken first: without it no reference is
  // taken at all, since one that cannot be disposed of would stay with the host for good.
  const AEGP_EffectSuite2* effectSuite = suites.AEGPEffectSuite2();
  try {
    err = suites.AEGPPFInterfaceSuite1()->AEGP_GetNewEffectForEffect(0, in_data->effect_ref,
                                                                     &effect);
    for (PF_ParamIndex index = kParamDebugStart; index <= kParamDebugEnd && err == PF_Err_NONE;
         ++index) {
      stream = nullptr;
      err = suites.AEGPStreamSuite7()->AEGP_GetNewEffectStreamByIndex(0, effect, index, &stream);
      if (err == PF_Err_NONE) {
        err = suites.AEGPDynamicStreamSuite2()->AEGP_SetDynamicStreamFlag(
            stream, AEGP_DynStreamFlag_HIDDEN, false, true);
      }
      // Disposed even when hiding failed, so no stream reference is left behind.
      if (stream != nullptr) {
        PF_Err disposeErr = suites.AEGPStreamSuite7()->AEGP_DisposeStream(stream);
        stream = nullptr;
        if (err == PF_Err_NONE) err = disposeErr;
      }
    }
  } catch (PF_Err missingSuite) {
    // A suite the host could not give: still hand back the references already obtained.
    if (stream != nullptr) suites.AEGPStreamSuite7()->AEGP_DisposeStream(stream);
    if (effect != nullptr) effectSuite->AEGP_DisposeEffect(effect);
    throw missingSuite;
  }
  if (effect != nullptr) {
    PF_Err disposeErr = effectSuite->AEGP_DisposeEffect(effect);
    if (err == PF_Err_NONE) err = disposeErr;
  }
  return err;
}
