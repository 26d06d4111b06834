#include "cli/process_memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace fxaa_cli {

bool ReleaseMemoryRequested(const std::vector<std::string>& args) {
  const char* value = std::getenv(kReleaseMemoryVariable);
  if (value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0) return true;
  return std::find(args.begin(), args.end(), kReleaseMemoryOption) != args.end();
}

}  // namespace fxaa_cli
