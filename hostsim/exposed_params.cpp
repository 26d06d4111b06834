#include "hostsim/exposed_params.h"

namespace hostsim {

bool ReadExposedParams(PF_FilterProc entry, std::vector<ExposedParam>* params, std::string* error) {
  Host host(entry);
  PF_Err err = host.ParamsSetup();
  if (err == 0) err = host.UpdateParamsUI();
  if (err != 0) {
    *error = "the effect's parameter set-up failed (error " + std::to_string(err) + ")";
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

const ExposedParam* FindExposed(const std::vector<ExposedParam>& params, const std::string& name) {
  for (const ExposedParam& p : params)
    if (p.param.name == name) return &p;
  return nullptr;
}

}  // namespace hostsim
