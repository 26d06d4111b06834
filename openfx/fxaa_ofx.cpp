// The OpenFX plug-in: the effect, carried inside, as DaVinci Resolve, Natron, Nuke and Vegas load
// it. Only the two OpenFX functions leave the binary. Loading and describing do no OpenGL work;
// frames render on the embedding's workers (embedding/worker_pool.h), shared by every instance.
#include <memory>
#include <new>
#include <string>

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
// the effect draws one frame at a time on the GPU, so two keep it busy while one hands over.
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

// The controls: the effect's shown parameters, by the names its declaration gives them.
bool ReadControls(std::vector<Control>* controls) {
  std::vector<host_runtime::ExposedParam> params;
  std::string error;
  if (!host_runtime::ReadExposedParams(EffectMain, &params, &error)) return false;
  for (const host_runtime::ExposedParam& p : params) {
    Control control;
    for (char c : p.param.name)
      if (c != ' ') control.name += c;
    control.exposed = p;
    controls->push_back(control);
  }
  return true;
}

OfxStatus Load() {
  std::lock_guard<host_runtime::RegistryLock> lock(g_lock);
  if (g_host == nullptr) return kOfxStatErrMissingHostFeature;
  if (g_plugin != nullptr) return kOfxStatOK;
  auto plugin = std::make_unique<Plugin>();
  plugin->props = Fetch<OfxPropertySuiteV1>(*g_host, kOfxPropertySuite, 1);
  plugin->effects = Fetch<OfxImageEffectSuiteV1>(*g_host, kOfxImageEffectSuite, 1);
  plugin->params = Fetch<OfxParameterSuiteV1>(*g_host, kOfxParameterSuite, 1);
  plugin->messages = Fetch<OfxMessageSuiteV1>(*g_host, kOfxMessageSuite, 1);
  if (!plugin->props || !plugin->effects || !plugin->params)
    return kOfxStatErrMissingHostFeature;
  if (!ReadControls(&plugin->controls)) return kOfxStatFailed;
  plugin->pool = std::make_unique<fxaa_embedding::WorkerPool>(EffectMain, "FXAA OpenFX plug-in",
                                                              kMaxWorkers);
  plugin->worlds = std::make_unique<fxaa_embedding::WorldCache>(2 * kMaxWorkers);
  g_plugin = plugin.release();
  return kOfxStatOK;
}

// After every instance is gone: the workers end (the effect is set down on their threads).
OfxStatus Unload() {
  Plugin* plugin;
  {
    std::lock_guard<host_runtime::RegistryLock> lock(g_lock);
    plugin = g_plugin;
    g_plugin = nullptr;
  }
  delete plugin;
  fxaa_embedding::ForgetUnavailable();
  return kOfxStatOK;
}

OfxStatus Dispatch(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                   OfxPropertySetHandle outArgs) {
  const std::string name = action ? action : "";
  if (name == kOfxActionLoad) return Load();
  if (name == kOfxActionUnload) return Unload();
  Plugin* plugin = LoadedPlugin();
  if (plugin == nullptr) return kOfxStatErrFatal;  // an action before the load action
  auto effect = static_cast<OfxImageEffectHandle>(const_cast<void*>(handle));
  if (name == kOfxActionDescribe) return Describe(*plugin, effect);
  if (name == kOfxImageEffectActionDescribeInContext) return DescribeInContext(*plugin, effect);
  if (name == kOfxImageEffectActionRender) return Render(*plugin, effect, inArgs);
  if (name == kOfxImageEffectActionIsIdentity) return IsIdentity(*plugin, effect, inArgs, outArgs);
  if (name == kOfxImageEffectActionGetRegionsOfInterest)
    return RegionsOfInterest(*plugin, effect, inArgs, outArgs);
  // What a sequence kept is not needed at rest.
  if (name == kOfxImageEffectActionEndSequenceRender || name == kOfxActionPurgeCaches) {
    plugin->worlds->Clear();
    return kOfxStatOK;
  }
  // Instances keep nothing of their own: every value is read at the time of each render.
  if (name == kOfxActionCreateInstance || name == kOfxActionDestroyInstance) return kOfxStatOK;
  return kOfxStatReplyDefault;
}

// The one boundary between the host and the plug-in: nothing thrown crosses it. A frame's own
// failures are said to the host with their cause (ofx_render.cpp); what reaches here has no
// instance to say it to.
OfxStatus MainEntry(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                    OfxPropertySetHandle outArgs) {
  try {
    return Dispatch(action, handle, inArgs, outArgs);
  } catch (const std::bad_alloc&) {
    return kOfxStatErrMemory;
  } catch (...) {
    return kOfxStatFailed;
  }
}

OfxPlugin g_description = {kOfxImageEffectPluginApi, kOfxImageEffectPluginApiVersion,
                           kPluginIdentifier,        FXAA_MAJOR_VERSION,
                           FXAA_MINOR_VERSION,       SetHost,
                           MainEntry};

}  // namespace

Plugin* LoadedPlugin() {
  std::lock_guard<host_runtime::RegistryLock> lock(g_lock);
  return g_plugin;
}

}  // namespace fxaa_ofx

FXAA_OFX_EXPORT int OfxGetNumberOfPlugins(void) { return 1; }

FXAA_OFX_EXPORT OfxPlugin* OfxGetPlugin(int nth) {
  return nth == 0 ? &fxaa_ofx::g_description : nullptr;
}
