// The parameters a user of the effect sets, in the plug-in's order, as its declaration gives them:
// the popups and sliders it leaves shown after its interface update, each with the group it sits
// in. Read by parameter set-up alone (no global set-up, no OpenGL work), so a program can list
// and describe the controls without a GPU.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "host_runtime/host.h"

namespace host_runtime {

struct ExposedParam {
  ParamState param;
  std::string group;            // the enclosing group's name, "" at the top level
  bool groupCollapsed = false;  // that group starts collapsed
};

// Fills `params`; false with *error set (one line) when parameter set-up or the interface update
// fails or the plug-in shows no parameter.
bool ReadExposedParams(PF_FilterProc entry, std::vector<ExposedParam>* params, std::string* error);

// A control's hard limits as the effect declares them, in the effect's units: a slider's valid
// range, or a popup's choices 1 to n; and its default. Plain data, for modules that keep it.
struct ControlLimits {
  double min = 0, max = 0, defaultValue = 0;
  bool choice = false;  // a popup

  static ControlLimits Of(const ParamState& param);
  // `value` as every embedding hands it to the effect, whatever a host or an expression sent: a
  // slider's clamped to its range, a choice rounded to the nearest; not a number, or a choice
  // that does not exist, gives the default.
  double Limit(double value) const;
};

// The one of `params` named `name`, or null.
const ExposedParam* FindExposed(const std::vector<ExposedParam>& params, const std::string& name);

// The parameters the programs on the host side offer their users, in the effect's order, under
// the names the plug-in declares: what each does, and the fxaa tool's option for it. Their
// ranges, choices and defaults are never written here: they are read from the declaration.
struct KnownParam {
  const char* name;    // "FXAA Span"
  int type;            // PF_Param_POPUP or PF_Param_FLOAT_SLIDER
  const char* option;  // "--span"
  const char* hint;    // "how far along an edge FXAA looks, in pixels"
};
// Plain constant data: a guest in another program registers nothing to run at its exit.
constexpr int kKnownParamCount = 5;
const std::array<KnownParam, kKnownParamCount>& KnownParams();

// A parameter's valid range as every program writes it: "0 to 100" for a slider, "Color|Alpha"
// for a popup; and its default: "100", "Color".
std::string RangeText(const ParamState& param);
std::string DefaultText(const ParamState& param);
// "100", "0.125": `value` with at most `precision` decimals, without trailing zeros.
std::string FormatNumber(double value, int precision);

}  // namespace host_runtime
