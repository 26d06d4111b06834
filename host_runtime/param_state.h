// What the host knows of a parameter the plug-in declared.
#pragma once

#include <string>
#include <vector>

namespace host_runtime {

// A parameter as the plug-in declared it, and what the host knows of it now.
struct ParamState {
  int index = 0;  // 1-based, the input layer being 0
  int id = 0;
  std::string name;
  int type = 0;                       // PF_Param_*
  std::string typeName;               // "popup", "float slider", "group start", "group end"...
  double validMin = 0, validMax = 0;  // sliders; popups: 1 to the number of choices
  double sliderMin = 0, sliderMax = 0;
  double defaultValue = 0;            // sliders: the value; popups: the 1-based choice
  int precision = 0;
  bool percent = false;
  std::vector<std::string> choices;   // popups
  bool collapsed = false;             // group starts
  bool hidden = false;                // the plug-in set its stream's hidden flag
};

}  // namespace host_runtime
