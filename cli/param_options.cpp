#include "cli/param_options.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "cli/image.h"
#include "cli/sequence.h"

namespace fxaa_cli {

namespace {

// The popup's choice `text` names, 1-based; 0 when none. "colour" names "color" too.
int ChoiceNamed(const host_runtime::ParamState& param, const std::string& text) {
  const std::string wanted = Lower(text);
  for (size_t i = 0; i < param.choices.size(); ++i) {
    const std::string name = Lower(param.choices[i]);
    if (wanted == name || (name == "color" && wanted == "colour")) return static_cast<int>(i + 1);
  }
  return 0;
}

// The host's value for `text` given to `option`: a popup's choice, a slider's number.
double CheckedValue(const KnownParam& option, const host_runtime::ParamState& param,
                    const std::string& text) {
  const std::string given = std::string(option.option) + " " + text;
  if (param.type == PF_Param_POPUP) {
    const int choice = ChoiceNamed(param, text);
    if (choice == 0)
      throw UsageError(given + ": not a choice of \"" + param.name + "\" (" + OptionRange(param) +
                       ")");
    return choice;
  }
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') throw UsageError(given + ": not a number");
  if (!(value >= param.validMin && value <= param.validMax))
    throw UsageError(given + ": out of range: \"" + param.name + "\" takes " + OptionRange(param));
  return value;
}

}  // namespace

std::string OptionRange(const host_runtime::ParamState& param) {
  return param.type == PF_Param_POPUP ? Lower(host_runtime::RangeText(param))
                                      : host_runtime::RangeText(param);
}

std::string OptionDefault(const host_runtime::ParamState& param) {
  return param.type == PF_Param_POPUP ? Lower(host_runtime::DefaultText(param))
                                      : host_runtime::DefaultText(param);
}

std::string OptionHelp(const KnownParam& known, const host_runtime::ParamState* param) {
  const std::string help = "\"" + std::string(known.name) + "\": " + known.hint;
  if (param == nullptr) return help + " (range and default: see \"fxaa info\")";
  if (param->type == PF_Param_POPUP) return help + "; default " + OptionDefault(*param);
  return help + " (" + OptionRange(*param) + ", default " + OptionDefault(*param) + ")";
}

void ApplyParamValues(host_runtime::EffectSession& effect, const ParamValues& values) {
  const auto& known = host_runtime::KnownParams();
  for (size_t i = 0; i < known.size() && i < values.size(); ++i) {
    if (!values[i]) continue;
    const host_runtime::ParamState* p = effect.Find(known[i].name);
    if (p == nullptr || p->type != known[i].type)
      throw std::runtime_error(effect.path() + ": the plug-in declares no \"" +
                               known[i].name + "\" " +
                               (known[i].type == PF_Param_POPUP ? "popup" : "slider"));
    effect.SetValue(p->index, CheckedValue(known[i], *p, *values[i]));
  }
}

}  // namespace fxaa_cli
