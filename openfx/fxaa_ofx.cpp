// The OpenFX plug-in: the effect, carried inside, as DaVinci Resolve, Natron, Nuke and Vegas load
// it. Only the two OpenFX functions leave the binary. Loading and describing do no OpenGL work;
// frames render on the embedding's workers (embedding/worker_pool.h), shared by every instance.
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "host/effect_entry.h"
#include "host/effect_version.h"
#include "host_runtime/registry_lock.h"
#include "openfx/ofx_plugin.h"

#if defined(_WIN32)
#define FXAA_OFX_EXPORT extern "C"  // exports.def names what leaves the DLL
#else
#define FXAA_OFX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace fxaa_ofx {
namespace {

// At most this many threads, each with the effect set up and its contexts, for the whole module:
// the effect draws one frame at a time on the GPU, so two keep it busy while one hands over. They
// are also the most frames whose worlds are in memory at once, however many threads the host
// renders on.
constexpr int kMaxWorkers = 2;

// Plain pointers under a lock with a trivial destructor: unloading the binary runs nothing.
host_runtime::RegistryLock g_lock;
OfxHost* g_host = nullptr;
Plugin* g_plugin = nullptr;

void SetHost(OfxHost* host) {
  std::lock_guard<host_runtime::RegistryLock> lock(g_lock);
  g_host = host;
}

template <typename Suite>
const Suite* Fetch(const OfxHost& host, const char* name, int version) {
  return static_cast<const Suite*>(host.fetchSuite(host.host, name, version));
}

// The controls: the effect's shown parameters, by the names its declaration gives them. False
// with *why set when the declaration cannot be read.
bool ReadControls(std::vector<Control>* controls, std::string* why) {
  std::vector<host_runtime::ExposedParam> params;
  if (!host_runtime::ReadExposedParams(EffectMain, &params, why)) return false;
  for (const host_runtime::ExposedParam& p : params) {
    Control control;
    for (char c : p.param.name)
      if (c != ' ') control.name += c;
    control.exposed = p;
    control.limits = host_runtime::ControlLimits::Of(p.param);
    controls->push_back(control);
  }
  return true;
}

// The host's suites the plug-in cannot do without, by name, that `plugin` lacks ("" for none).
std::string MissingSuites(const Plugin& plugin) {
  std::string missing;
  const std::pair<const void*, const char*> needed[] = {{plugin.props, kOfxPropertySuite},
                                                        {plugin.effects, kOfxImageEffectSuite},
                                                        {plugin.params, kOfxParameterSuite}};
  for (const auto& [suite, name] : needed)
    if (suite == nullptr) missing += std::string(missing.empty() ? "" : ", ") + name;
  return missing;
}

// The controls are read from the effect's declaration outside the lock, which is held only for
// pointer steps.
OfxStatus Load() {
  OfxHost* host;
  {
    std::lock_guard<host_runtime::RegistryLock> lock(g_lock);
    if (g_plugin != nullptr) return kOfxStatOK;
    host = g_host;
  }
  if (host == nullptr)
    return Refuse(nullptr, nullptr, kOfxStatErrMissingHostFeature, "cannot load",
                  "the host gave no description of itself before the load action");
  auto plugin = std::make_unique<Plugin>();
  plugin->props = Fetch<OfxPropertySuiteV1>(*host, kOfxPropertySuite, 1);
  plugin->effects = Fetch<OfxImageEffectSuiteV1>(*host, kOfxImageEffectSuite, 1);
  plugin->params = Fetch<OfxParameterSuiteV1>(*host, kOfxParameterSuite, 1);
  plugin->messages = Fetch<OfxMessageSuiteV1>(*host, kOfxMessageSuite, 1);
  const std::string missing = MissingSuites(*plugin);
  if (!missing.empty())
    return Refuse(plugin->messages, nullptr, kOfxStatErrMissingHostFeature, "cannot load",
                  ("the host offers no " + missing + " (version 1)").c_str());
  std::string why;
  if (!ReadControls(&plugin->controls, &why))
    return Refuse(plugin->messages, nullptr, kOfxStatFailed, "cannot load", why.c_str());
  plugin->pool = std::make_unique<fxaa_embedding::WorkerPool>(EffectMain, "FXAA OpenFX plug-in",
                                                              kMaxWorkers);
  std::lock_guard<host_runtime::RegistryLock> lock(g_lock);
  if (g_plugin == nullptr) g_plugin = plugin.release();  // else a load on another thread won
  return kOfxStatOK;
}

// After every instance is gone; a host that unloads while another thread is still inside an
// action (a frame rendering) waits for it, and actions sent from then on are refused. The
// workers end: the effect is set down on their threads.
OfxStatus Unload() {
  Plugin* plugin;
  {
    std::lock_guard<host_runtime::RegistryLock> lock(g_lock);
    plugin = g_plugin;
    g_plugin = nullptr;
  }
  if (plugin != nullptr) plugin->calls.WaitForNone();
  delete plugin;
  fxaa_embedding::ForgetUnavailable();
  return kOfxStatOK;
}

// The loaded plug-in with this call counted inside it, or null (before the load action, or once
// unloading has begun).
Plugin* EnterPlugin(std::optional<fxaa_embedding::CallsInFlight::Call>* call) {
  std::lock_guard<host_runtime::RegistryLock> lock(g_lock);
  if (g_plugin != nullptr) call->emplace(g_plugin->calls);
  return g_plugin;
}

OfxStatus Dispatch(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                   OfxPropertySetHandle outArgs) {
  const std::string name = action ? action : "";
  if (name == kOfxActionLoad) return Load();
  if (name == kOfxActionUnload) return Unload();
  std::optional<fxaa_embedding::CallsInFlight::Call> call;
  Plugin* plugin = EnterPlugin(&call);
  if (plugin == nullptr) return kOfxStatErrFatal;  // not loaded, or unloading
  auto effect = static_cast<OfxImageEffectHandle>(const_cast<void*>(handle));
  std::string why;
  if (name == kOfxActionDescribe || name == kOfxImageEffectActionDescribeInContext) {
    const bool general = name == kOfxActionDescribe;
    const OfxStatus status = general ? Describe(*plugin, effect, &why)
                                     : DescribeInContext(*plugin, effect, &why);
    if (status == kOfxStatOK) return status;
    return Refuse(plugin->messages, handle, status,
                  general ? "cannot describe the effect" : "cannot describe its context",
                  why.c_str());
  }
  if (name == kOfxImageEffectActionRender) return Render(*plugin, effect, inArgs);
  if (name == kOfxImageEffectActionIsIdentity) return IsIdentity(*plugin, effect, inArgs, outArgs);
  if (name == kOfxImageEffectActionGetRegionsOfInterest)
    return RegionsOfInterest(*plugin, effect, inArgs, outArgs);
  // What a sequence kept is not needed at rest.
  if (name == kOfxImageEffectActionEndSequenceRender || name == kOfxActionPurgeCaches) {
    plugin->pool->Release();
    return kOfxStatOK;
  }
  // Instances keep nothing of their own: every value is read at the time of each render.
  if (name == kOfxActionCreateInstance || name == kOfxActionDestroyInstance) return kOfxStatOK;
  return kOfxStatReplyDefault;
}

// The host's message suite, fetched for a failure that has no loaded plug-in at hand; null where
// the host offers none.
const OfxMessageSuiteV1* HostMessages() {
  std::lock_guard<host_runtime::RegistryLock> lock(g_lock);
  return g_host ? Fetch<OfxMessageSuiteV1>(*g_host, kOfxMessageSuite, 1) : nullptr;
}

// The one boundary between the host and the plug-in: nothing thrown crosses it. A frame's own
// failures are said to the host with their cause (ofx_render.cpp); what reaches here is said
// with the action it ended, without allocating.
OfxStatus MainEntry(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                    OfxPropertySetHandle outArgs) {
  const char* failed = action ? action : "an action";
  try {
    return Dispatch(action, handle, inArgs, outArgs);
  } catch (const std::bad_alloc&) {
    return Refuse(HostMessages(), handle, kOfxStatErrMemory, failed, "out of memory");
  } catch (const std::exception& e) {
    return Refuse(HostMessages(), handle, kOfxStatFailed, failed, e.what());
  } catch (...) {
    return Refuse(HostMessages(), handle, kOfxStatFailed, failed, "an exception of no known type");
  }
}

OfxPlugin g_description = {kOfxImageEffectPluginApi, kOfxImageEffectPluginApiVersion,
                           kPluginIdentifier,        FXAA_MAJOR_VERSION,
                           FXAA_MINOR_VERSION,       SetHost,
                           MainEntry};

}  // namespace

OfxStatus Refuse(const OfxMessageSuiteV1* messages, const void* handle, OfxStatus status,
                 const char* what, const char* why) {
  std::fprintf(stderr, "FXAA OpenFX plug-in: %s: %s\n", what, why);
  if (messages != nullptr)
    messages->message(const_cast<void*>(handle), kOfxMessageError, nullptr, "FXAA: %s: %s", what,
                      why);
  return status;
}

std::string StatusText(OfxStatus status) {
  static const char* const kNames[] = {
      "kOfxStatOK",         "kOfxStatFailed",         "kOfxStatErrFatal",
      "kOfxStatErrUnknown", "kOfxStatErrMissingHostFeature", "kOfxStatErrUnsupported",
      "kOfxStatErrExists",  "kOfxStatErrFormat",      "kOfxStatErrMemory",
      "kOfxStatErrBadHandle", "kOfxStatErrBadIndex",  "kOfxStatErrValue"};
  const bool known = status >= 0 && size_t(status) < sizeof(kNames) / sizeof(kNames[0]);
  return std::string(known ? kNames[status] : "status") + " (" + std::to_string(status) + ")";
}

}  // namespace fxaa_ofx

FXAA_OFX_EXPORT int OfxGetNumberOfPlugins(void) { return 1; }

FXAA_OFX_EXPORT OfxPlugin* OfxGetPlugin(int nth) {
  return nth == 0 ? &fxaa_ofx::g_description : nullptr;
}
