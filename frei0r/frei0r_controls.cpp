#include "frei0r/frei0r_controls.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "host_runtime/exposed_params.h"

namespace fxaa_frei0r {
namespace {

// One line for the host's parameter list, e.g. "0 to 1 maps onto 0 to 100 (default 0.08 = 8)"
// or "0: Color, 1: Alpha (the nearest is taken; default 0 = Color)".
void Explain(Control* control, const host_runtime::ParamState& param) {
  char* out = control->explanation;
  const size_t size = sizeof(control->explanation);
  if (!control->limits.choice) {
    std::snprintf(out, size, "0 to 1 maps onto %s%s (default %g = %s)",
                  host_runtime::RangeText(param).c_str(), param.percent ? " %" : "",
                  DefaultControlValue(*control), host_runtime::DefaultText(param).c_str());
    return;
  }
  std::string text;
  const size_t last = param.choices.size() - 1;
  for (size_t i = 0; i <= last; ++i) {
    char number[32];
    std::snprintf(number, sizeof(number), "%s%g: ", i ? ", " : "", last ? double(i) / last : 0.0);
    text += number + param.choices[i];
  }
  const size_t chosen = static_cast<size_t>(control->limits.defaultValue) - 1;
  std::snprintf(out, size, "%s (the nearest is taken; default %g = %s)", text.c_str(),
                DefaultControlValue(*control),
                chosen <= last ? param.choices[chosen].c_str() : "?");
}

}  // namespace

bool ReadControls(PF_FilterProc entry, ControlTable* table, std::string* error) {
  std::vector<host_runtime::ExposedParam> params;
  if (!host_runtime::ReadExposedParams(entry, &params, error)) return false;
  static_assert(host_runtime::kKnownParamCount == kControlCount, "frei0r numbers each known parameter");
  const auto& known = host_runtime::KnownParams();
  for (int i = 0; i < kControlCount; ++i) {
    const char* name = known[size_t(i)].name;
    const host_runtime::ExposedParam* exposed = host_runtime::FindExposed(params, name);
    const host_runtime::ParamState* found = exposed ? &exposed->param : nullptr;
    if (!found) {
      *error = std::string("the effect declares no control \"") + name + "\"";
      return false;
    }
    Control& control = table->controls[i];
    control = Control{};
    control.effectIndex = found->index;
    std::snprintf(control.name, sizeof(control.name), "%s", name);
    control.limits = host_runtime::ControlLimits::Of(*found);
    Explain(&control, *found);
  }
  return true;
}

double ClampControlValue(const Control& control, double value) {
  if (std::isnan(value)) return DefaultControlValue(control);
  return value < 0 ? 0 : value > 1 ? 1 : value;
}

double DefaultControlValue(const Control& control) {
  const host_runtime::ControlLimits& limits = control.limits;
  const double span = limits.max - limits.min;
  return span > 0 ? (limits.defaultValue - limits.min) / span : 0;
}

double EffectValue(const Control& control, double value) {
  value = ClampControlValue(control, value);
  const host_runtime::ControlLimits& limits = control.limits;
  if (value == DefaultControlValue(control)) return limits.defaultValue;
  return limits.Limit(limits.min + value * (limits.max - limits.min));
}

}  // namespace fxaa_frei0r
