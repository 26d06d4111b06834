// What the host side's tests share with their stand-in plug-in.
#pragma once

#include "host/host_api.h"

namespace fake {

// A command that runs test code inside the plug-in, with the blocks the host sent.
constexpr PF_Cmd kProbeCmd = 1000;
struct Probe {
  void (*run)(PF_InData* in, PF_OutData* out, void* context);
  void* context;
};

constexpr A_u_long kVersion = 0x00012345;
constexpr PF_OutFlags kOutFlags = 0x04000000;
constexpr PF_OutFlags2 kOutFlags2 = 0x00001400;

}  // namespace fake
