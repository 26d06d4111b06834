#include "host_runtime/exposed_params.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <sstream>

#include "host_runtime/failure.h"

namespace host_runtime {

bool ReadExposedParams(PF_FilterProc entry, std::vector<ExposedParam>* params, std::string* error) {
  Host host(entry);
  PF_Err err = host.ParamsSetup();
  if (err == 0) err = host.UpdateParamsUI();
  if (err != 0) {
    *error = "the effect's parameter set-up failed: " + PluginErrorText(err);
    return false;
  }
  params->clear();
  std::vector<const ParamState*> groups;  // the groups open at each parameter, innermost last
  const std::vector<ParamState> declared = host.Params();
  for (const ParamState& p : declared) {
    if (p.type == PF_Param_GROUP_START) {
      groups.push_back(&p);
    } else if (p.type == PF_Param_GROUP_END) {
      if (!groups.empty()) groups.pop_back();
    } else if (!p.hidden && (p.type == PF_Param_FLOAT_SLIDER ||
                             (p.type == PF_Param_POPUP && !p.choices.empty()))) {
      ExposedParam exposed;
      exposed.param = p;
      if (!groups.empty()) {
        exposed.group = groups.back()->name;
        exposed.groupCollapsed = groups.back()->collapsed;
      }
      params->push_back(exposed);
    }
  }
  if (params->empty()) {
    *error = "the effect shows no parameter";
    return false;
  }
  return true;
}

ControlLimits ControlLimits::Of(const ParamState& param) {
  ControlLimits limits;
  limits.choice = param.type == PF_Param_POPUP;
  limits.min = limits.choice ? 1 : param.validMin;
  limits.max = limits.choice ? double(param.choices.size()) : param.validMax;
  limits.defaultValue = param.defaultValue;
  return limits;
}

double ControlLimits::Limit(double value) const {
  if (std::isnan(value)) return defaultValue;
  if (!choice) return std::min(std::max(value, min), max);
  const double nearest = std::floor(value + 0.5);
  return nearest >= min && nearest <= max ? nearest : defaultValue;
}

const ExposedParam* FindExposed(const std::vector<ExposedParam>& params, const std::string& name) {
  for (const ExposedParam& p : params)
    if (p.param.name == name) return &p;
  return nullptr;
}

const std::array<KnownParam, kKnownParamCount>& KnownParams() {
  static constexpr std::array<KnownParam, kKnownParamCount> known = {{
      {"Source", PF_Param_POPUP, "--source",
       "color (smooth all four channels) or alpha (smooth the alpha channel over a blurred "
       "underlay)"},
      {"Strength", PF_Param_FLOAT_SLIDER, "--strength",
       "blend of the smoothed and the untouched image, in percent"},
      {"FXAA Span", PF_Param_FLOAT_SLIDER, "--span", "how far along an edge FXAA looks, in pixels"},
      {"FXAA Reduce Multiplier", PF_Param_FLOAT_SLIDER, "--reduce-multiplier",
       "damping of the search on low-contrast edges"},
      {"FXAA Reduce Minimum", PF_Param_FLOAT_SLIDER, "--reduce-minimum",
       "least damping of the search"},
  }};
  return known;
}

std::string FormatNumber(double value, int precision) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(precision) << value;
  std::string s = text.str();
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  return s;
}

std::string RangeText(const ParamState& param) {
  if (param.type != PF_Param_POPUP)
    return FormatNumber(param.validMin, 2) + " to " + FormatNumber(param.validMax, 2);
  std::string choices;
  for (size_t i = 0; i < param.choices.size(); ++i) choices += (i ? "|" : "") + param.choices[i];
  return choices;
}

std::string DefaultText(const ParamState& param) {
  if (param.type != PF_Param_POPUP) return FormatNumber(param.defaultValue, 2);
  const int i = static_cast<int>(param.defaultValue) - 1;
  return i >= 0 && size_t(i) < param.choices.size() ? param.choices[size_t(i)] : "";
}

}  // namespace host_runtime
