// Loading the plug-in file. On Linux the entry point is found by name; on Windows the host reads
// the entry point's name from the plug-in resource first (plugin_pipl_win.cpp).
#include "hostsim/host_sim.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace hostsim {

#if defined(_WIN32)
// Reads the entry point name from the library's PiPL resource; false with *error set when the
// resource is missing or malformed.
bool FindEntryPointName(HMODULE module, std::string* name, std::string* error);
#endif

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string* error) {
  std::unique_ptr<PluginModule> module(new PluginModule);
  module->path_ = path;
#if defined(_WIN32)
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr) {
    *error = path + ": cannot load the plug-in (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  module->library_ = library;
  std::string entryName;
  if (!FindEntryPointName(library, &entryName, error)) {
    *error = path + ": " + *error;
    return nullptr;
  }
  module->entry_ = reinterpret_cast<PF_FilterProc>(
      reinterpret_cast<void*>(GetProcAddress(library, entryName.c_str())));
#else
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = path + ": cannot load the plug-in: " + (reason ? reason : "unknown error");
    return nullptr;
  }
  module->library_ = library;
  module->entry_ = reinterpret_cast<PF_FilterProc>(dlsym(library, "EffectMain"));
#endif
  if (module->entry_ == nullptr) {
    *error = path + ": not an effect plug-in: it has no EffectMain";
    return nullptr;
  }
  return module;
}

PluginModule::~PluginModule() {
  if (library_ == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(library_));
#else
  dlclose(library_);
#endif
}

}  // namespace hostsim
