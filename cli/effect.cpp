#include "cli/effect.h"

namespace fxaa_cli {

std::string VersionText(A_u_long version) { return hostsim::VersionText(version); }

std::string DescribePluginError(PF_Err code) { return hostsim::DescribePluginError(code); }

}  // namespace fxaa_cli
