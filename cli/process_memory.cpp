#include "cli/process_memory.h"

#include <cstdlib>
#include <cstring>

namespace fxaa_cli {

bool ReleaseMemoryRequested(bool option) {
  const char* value = std::getenv(kReleaseMemoryVariable);
  return option || (value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0);
}

}  // namespace fxaa_cli
