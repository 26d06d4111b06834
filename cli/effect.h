// The plug-in as the tool runs it: the host side's effect session (host_runtime/effect_session.h),
// under the names the tool's code uses, and the renderer the plug-in will draw on here.
#pragma once

#include <string>

#include "cli/renderer_query.h"
#include "host_runtime/effect_session.h"

namespace fxaa_cli {

using Effect = host_runtime::EffectSession;

// A parameter as the plug-in declared it, as the host side presents it.
using DeclaredParam = host_runtime::ParamState;

// The version word in the host's encoding as "major.minor.revision".
std::string VersionText(A_u_long version);

// What a plug-in error code means for the user, e.g. "out of memory, or the frame is larger than
// the GPU takes".
std::string DescribePluginError(PF_Err code);

}  // namespace fxaa_cli
