// What the plug-in's actions share while the host keeps it loaded: the host's suites, the
// controls read from the effect's declaration, and the render workers. Made at the load action
// and gone at the unload action, so nothing of it is left to run when the binary is unloaded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "embedding/worker_pool.h"
#include "embedding/world_cache.h"
#include "host_runtime/exposed_params.h"
#include "openfx/ofx_api.h"

namespace fxaa_ofx {

// The identifier hosts store in saved projects: never to change.
constexpr char kPluginIdentifier[] = "com.corvella.FXAA";

// One of the effect's parameters as an OpenFX control.
struct Control {
  std::string name;  // the control's name: the effect's, without spaces ("FXAASpan")
  host_runtime::ExposedParam exposed;
};

struct Plugin {
  const OfxPropertySuiteV1* props = nullptr;
  const OfxImageEffectSuiteV1* effects = nullptr;
  const OfxParameterSuiteV1* params = nullptr;
  const OfxMessageSuiteV1* messages = nullptr;  // optional
  std::vector<Control> controls;
  std::unique_ptr<fxaa_embedding::WorkerPool> pool;
  // The frames' worlds, kept while a sequence renders and dropped when it ends.
  std::unique_ptr<fxaa_embedding::WorldCache> worlds;
};

// The loaded plug-in, between the load and unload actions; null otherwise.
Plugin* LoadedPlugin();

// The actions, each with the loaded plug-in (ofx_describe.cpp, ofx_render.cpp).
OfxStatus Describe(const Plugin& plugin, OfxImageEffectHandle descriptor);
OfxStatus DescribeInContext(const Plugin& plugin, OfxImageEffectHandle descriptor);
OfxStatus IsIdentity(const Plugin& plugin, OfxImageEffectHandle instance,
                     OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs);
OfxStatus RegionsOfInterest(const Plugin& plugin, OfxImageEffectHandle instance,
                            OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs);
OfxStatus Render(Plugin& plugin, OfxImageEffectHandle instance, OfxPropertySetHandle inArgs);

}  // namespace fxaa_ofx
