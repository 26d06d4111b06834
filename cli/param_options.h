// The tool's options for the plug-in's parameters, one table of them, the popup included. What
// each takes, its range or choices and its default, is read from what the plug-in declares, and
// so is the check of a value given.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/effect.h"

namespace fxaa_cli {

struct ParamOption {
  const char* option;     // "--strength"
  const char* paramName;  // "Strength"
  int type;               // the kind of parameter it sets: PF_Param_POPUP or PF_Param_FLOAT_SLIDER
  const char* help;       // what it does
};
const std::vector<ParamOption>& KnownParamOptions();

// "0 to 100" for a slider, "color|alpha" for a popup (its choices as the option takes them).
std::string RangeText(const DeclaredParam& param);
// "100", "color".
std::string DefaultText(const DeclaredParam& param);
// The option's help with what the plug-in declared (`param`, or none when it could not be
// loaded): "... (0 to 100, default 100)", "...; default color".
std::string OptionHelp(const ParamOption& option, const DeclaredParam* param);

// The values given, by the table's order; unset ones keep the plug-in's defaults.
using ParamValues = std::vector<std::optional<std::string>>;

// Hands the given values to the effect, each checked against what the plug-in declared. Throws
// UsageError for a value it does not take, std::runtime_error when it declares no such parameter.
void ApplyParamValues(Effect& effect, const ParamValues& values);

// "100", "0.125": a number for messages, without trailing zeros.
std::string FormatNumber(double value, int precision);

}  // namespace fxaa_cli
