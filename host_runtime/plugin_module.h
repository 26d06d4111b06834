// A plug-in file loaded as the host loads it, and its entry point.
#pragma once

#include <memory>
#include <string>

#include "host/host_api.h"

namespace host_runtime {

// A loaded plug-in file and its entry point. Unloads the file when destroyed.
class PluginModule {
 public:
  // Loads `path` (UTF-8) and finds its entry point. On failure returns nullptr and sets *error
  // to one line naming the file and the reason (missing file, not loadable, no EffectMain).
  static std::unique_ptr<PluginModule> Load(const std::string& path, std::string* error);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  PF_FilterProc entry() const { return entry_; }
  const std::string& path() const { return path_; }
  // Name of the entry point that was found ("EffectMain" unless the resource names another).
  const std::string& entryName() const { return entryName_; }

 private:
  PluginModule() = default;
  void* library_ = nullptr;
  PF_FilterProc entry_ = nullptr;
  std::string path_;
  std::string entryName_;
};

}  // namespace host_runtime
