// Windows only: the host reads the plug-in resource of a loaded library to learn the name of its
// entry point, as After Effects does before the first call. Defined in plugin_pipl_win.cpp.
#pragma once

#include <string>

namespace hostsim {

// Sets *name to the entry point the library's PiPL resource names for 64-bit Windows. Returns
// false with a one-line *error when the resource is missing or malformed.
bool FindEntryPointName(void* module, std::string* name, std::string* error);

}  // namespace hostsim
