// The parameters a user of the effect sets, in the plug-in's order, as its declaration gives them:
// the popups and sliders it leaves shown after its interface update, each with the group it sits
// in. Read by parameter set-up alone (no global set-up, no OpenGL work), so a program can list
// and describe the controls without a GPU.
#pragma once

#include <string>
#include <vector>

#include "hostsim/host.h"

namespace hostsim {

struct ExposedParam {
  ParamState param;
  std::string group;            // the enclosing group's name, "" at the top level
  bool groupCollapsed = false;  // that group starts collapsed
};

// Fills `params`; false with *error set (one line) when parameter set-up or the interface update
// fails or the plug-in shows no parameter.
bool ReadExposedParams(PF_FilterProc entry, std::vector<ExposedParam>* params, std::string* error);

// The one of `params` named `name`, or null.
const ExposedParam* FindExposed(const std::vector<ExposedParam>& params, const std::string& name);

}  // namespace hostsim
