// The controls a frei0r host shows: the effect's five, named and ranged as the plug-in declares
// them, and how frei0r's [0, 1] maps onto each one's whole valid range.
#pragma once

#include <string>

#include "host/host_api.h"
#include "host_runtime/exposed_params.h"

namespace fxaa_frei0r {

constexpr int kControlCount = 5;

struct Control {
  int effectIndex = 0;  // the plug-in's parameter index
  char name[32] = {};
  char explanation[160] = {};
  host_runtime::ControlLimits limits;  // in the effect's units
};

// The five controls in the order frei0r numbers them. Plain data, so that nothing of it needs
// running when the module is unloaded.
struct ControlTable {
  Control controls[kControlCount];
};

// Reads the plug-in's parameter declaration through the host side (no set-up, no OpenGL work)
// and fills `table`. False with *error set when the plug-in does not declare the five.
bool ReadControls(PF_FilterProc entry, ControlTable* table, std::string* error);

// frei0r's value clamped to [0, 1]; not a number gives the control's default.
double ClampControlValue(const Control& control, double value);
// The frei0r value that stands for the plug-in's default.
double DefaultControlValue(const Control& control);
// The plug-in's value for frei0r's `value` (clamped first): a linear map onto the valid range,
// within the effect's limits (popups the nearest choice); the default maps to the declared
// default exactly.
double EffectValue(const Control& control, double value);

}  // namespace fxaa_frei0r
