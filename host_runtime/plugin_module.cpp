// Loading the plug-in file and finding its entry point. On Linux the entry point is looked up by
// name; on Windows its name comes from the plug-in resource first, as After Effects reads it
// (plugin_pipl.cpp).
#include <filesystem>
#include <system_error>

#include "host_runtime/plugin_module.h"

#if defined(_WIN32)
#include <windows.h>

#include "host_runtime/plugin_pipl.h"
#else
#include <dlfcn.h>
#endif

namespace host_runtime {
namespace {

constexpr const char* kDefaultEntryName = "EffectMain";

#if defined(_WIN32)
void* OpenLibrary(const std::string& path, std::string* error) {
  // The path is UTF-8: the wide call takes any name, the narrow one only the ANSI code page's.
  HMODULE library = LoadLibraryW(std::filesystem::u8path(path).c_str());
  if (library == nullptr)
    *error = "cannot load the plug-in (Windows error " + std::to_string(GetLastError()) + ")";
  return library;
}
void* FindSymbol(void* library, const std::string& name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name.c_str()));
}
void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
bool EntryName(void* library, std::string* name, std::string* error) {
  return FindEntryPointName(library, name, error);
}
#else
void* OpenLibrary(const std::string& path, std::string* error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = std::string("cannot load the plug-in: ") + (reason ? reason : "unknown error");
  }
  return library;
}
void* FindSymbol(void* library, const std::string& name) { return dlsym(library, name.c_str()); }
void CloseLibrary(void* library) { dlclose(library); }
bool EntryName(void*, std::string* name, std::string*) {
  *name = kDefaultEntryName;
  return true;
}
#endif

// Why `path` is not a file to load, or "" when it is one.
std::string NotAFile(const std::string& path) {
  std::error_code ec;
  const std::filesystem::file_status status =
      std::filesystem::status(std::filesystem::u8path(path), ec);
  if (std::filesystem::is_regular_file(status)) return "";
  if (std::filesystem::is_directory(status)) return "a folder, not a plug-in file";
  if (std::filesystem::exists(status)) return "not a plug-in file (not a regular file)";
  // Nothing there, or a folder on the way that cannot be searched (no permission).
  if (!ec || ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
    return "no such plug-in file";
  return "cannot reach the plug-in file: " + ec.message();
}

}  // namespace

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string* error) {
  std::string reason = NotAFile(path);
  if (!reason.empty()) {
    if (error) *error = path + ": " + reason;
    return nullptr;
  }
  std::unique_ptr<PluginModule> module(new PluginModule);
  module->path_ = path;
  module->library_ = OpenLibrary(path, &reason);
  if (module->library_ == nullptr) {
    if (error) *error = path + ": " + reason;
    return nullptr;
  }
  if (!EntryName(module->library_, &module->entryName_, &reason)) {
    if (error) *error = path + ": " + reason;
    return nullptr;
  }
  module->entry_ = reinterpret_cast<PF_FilterProc>(FindSymbol(module->library_, module->entryName_));
  if (module->entry_ == nullptr) {
    if (error) *error = path + ": not an effect plug-in: it has no " + module->entryName_;
    return nullptr;
  }
  return module;
}

PluginModule::~PluginModule() {
  if (library_ != nullptr) CloseLibrary(library_);
  library_ = nullptr;
}

}  // namespace host_runtime
