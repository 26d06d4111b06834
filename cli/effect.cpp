#include "cli/effect.h"

namespace fxaa_cli {

std::string VersionText(A_u_long version) { return host_runtime::VersionText(version); }

std::string DescribePluginError(PF_Err code) { return host_runtime::DescribePluginError(code); }

}  // namespace fxaa_cli
