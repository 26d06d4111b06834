// The tool's options for the plug-in's parameters, one table of them, the popup included. What
// each takes, its range or choices and its default, is read from what the plug-in declares, and
// so is the check of a value given.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host_runtime/effect_session.h"
#include "host_runtime/exposed_params.h"

namespace fxaa_cli {

// The options are the host side's table of the parameters programs offer (KnownParams), in its
// order.
using host_runtime::KnownParam;

// As the option takes a popup's value, in lower case: "0 to 100", "color|alpha"; "100", "color".
std::string OptionRange(const host_runtime::ParamState& param);
std::string OptionDefault(const host_runtime::ParamState& param);
// The option's help with what the plug-in declared (`param`, or none when it could not be
// loaded): "... (0 to 100, default 100)", "...; default color".
std::string OptionHelp(const KnownParam& known, const host_runtime::ParamState* param);

// The values given, by the table's order; unset ones keep the plug-in's defaults.
using ParamValues = std::vector<std::optional<std::string>>;

// Hands the given values to the effect, each checked against what the plug-in declared. Throws
// UsageError for a value it does not take, std::runtime_error when it declares no such parameter.
void ApplyParamValues(host_runtime::EffectSession& effect, const ParamValues& values);

using host_runtime::FormatNumber;

}  // namespace fxaa_cli
