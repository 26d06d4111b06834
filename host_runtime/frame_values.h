// What one frame is rendered with: the parameter values, the time and the downsample factor.
// Handed to the commands of that frame alone, so that frames of one host can render at once,
// each with its own values (a host that renders several times of a clip on several threads).
#pragma once

#include <map>

#include "host/host_api.h"

namespace host_runtime {

struct FrameValues {
  // By parameter index; a parameter without a value here has the default it declared.
  std::map<int, double> params;
  PF_RationalScale downsampleX{1, 1}, downsampleY{1, 1};
  A_long time = 0, timeStep = 1;
  A_u_long timeScale = 24;

  void SetDownsample(int factor) {
    downsampleX = downsampleY = PF_RationalScale{1, static_cast<A_u_long>(factor > 0 ? factor : 1)};
  }
};

}  // namespace host_runtime
