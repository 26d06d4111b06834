#include "cli/param_options.h"

#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "cli/image.h"
#include "cli/sequence.h"

namespace fxaa_cli {

namespace {

// The popup's choice `text` names, 1-based; 0 when none. "colour" names "color" too.
int ChoiceNamed(const DeclaredParam& param, const std::string& text) {
  const std::string wanted = Lower(text);
  for (size_t i = 0; i < param.choices.size(); ++i) {
    const std::string name = Lower(param.choices[i]);
    if (wanted == name || (name == "color" && wanted == "colour")) return static_cast<int>(i + 1);
  }
  return 0;
}

// The host's value for `text` given to `option`: a popup's choice, a slider's number.
double CheckedValue(const ParamOption& option, const DeclaredParam& param,
                    const std::string& text) {
  const std::string given = std::string(option.option) + " " + text;
  if (param.type == PF_Param_POPUP) {
    const int choice = ChoiceNamed(param, text);
    if (choice == 0)
      throw UsageError(given + ": not a choice of \"" + param.name + "\" (" + RangeText(param) +
                       ")");
    return choice;
  }
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') throw UsageError(given + ": not a number");
  if (!(value >= param.validMin && value <= param.validMax))
    throw UsageError(given + ": out of range: \"" + param.name + "\" takes " + RangeText(param));
  return value;
}

}  // namespace

const std::vector<ParamOption>& KnownParamOptions() {
  static const std::vector<ParamOption> known = {
      {"--source", "Source", PF_Param_POPUP,
       "\"Source\": color (smooth all four channels) or alpha (smooth the alpha channel over a "
       "blurred underlay)"},
      {"--strength", "Strength", PF_Param_FLOAT_SLIDER,
       "\"Strength\", percent: blend of the smoothed and the untouched image"},
      {"--span", "FXAA Span", PF_Param_FLOAT_SLIDER, "\"FXAA Span\": how far along an edge FXAA looks, in pixels"},
      {"--reduce-multiplier", "FXAA Reduce Multiplier", PF_Param_FLOAT_SLIDER,
       "\"FXAA Reduce Multiplier\": damping of the search on low-contrast edges"},
      {"--reduce-minimum", "FXAA Reduce Minimum", PF_Param_FLOAT_SLIDER,
       "\"FXAA Reduce Minimum\": least damping of the search"},
  };
  return known;
}

std::string FormatNumber(double v, int precision) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(precision) << v;
  std::string s = text.str();
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  return s;
}

std::string RangeText(const DeclaredParam& param) {
  if (param.type != PF_Param_POPUP)
    return FormatNumber(param.validMin, 2) + " to " + FormatNumber(param.validMax, 2);
  std::string choices;
  for (size_t i = 0; i < param.choices.size(); ++i)
    choices += (i ? "|" : "") + Lower(param.choices[i]);
  return choices;
}

std::string DefaultText(const DeclaredParam& param) {
  if (param.type != PF_Param_POPUP) return FormatNumber(param.defaultValue, 2);
  const int i = static_cast<int>(param.defaultValue) - 1;
  return i >= 0 && size_t(i) < param.choices.size() ? Lower(param.choices[i]) : "";
}

std::string OptionHelp(const ParamOption& option, const DeclaredParam* param) {
  const std::string help = option.help;
  if (param == nullptr) return help + " (range and default: see \"fxaa info\")";
  if (param->type == PF_Param_POPUP) return help + "; default " + DefaultText(*param);
  return help + " (" + RangeText(*param) + ", default " + DefaultText(*param) + ")";
}

void ApplyParamValues(Effect& effect, const ParamValues& values) {
  const std::vector<ParamOption>& known = KnownParamOptions();
  for (size_t i = 0; i < known.size() && i < values.size(); ++i) {
    if (!values[i]) continue;
    const DeclaredParam* p = effect.Find(known[i].paramName);
    if (p == nullptr || p->type != known[i].type)
      throw std::runtime_error(effect.path() + ": the plug-in declares no \"" +
                               known[i].paramName + "\" " +
                               (known[i].type == PF_Param_POPUP ? "popup" : "slider"));
    effect.SetValue(p->index, CheckedValue(known[i], *p, *values[i]));
  }
}

}  // namespace fxaa_cli
