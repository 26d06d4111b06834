// What the plug-in's actions share while the host keeps it loaded: the host's suites, the
// controls read from the effect's declaration, and the render workers with the frames' worlds.
// Made at the load action and gone at the unload action, once no other action is inside it, so
// nothing of it is left to run when the binary is unloaded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "embedding/calls_in_flight.h"
#include "embedding/worker_pool.h"
#include "host_runtime/exposed_params.h"
#include "openfx/ofx_api.h"

namespace fxaa_ofx {

// The identifier hosts store in saved projects: never to change.
constexpr char kPluginIdentifier[] = "com.corvella.FXAA";

// One of the effect's parameters as an OpenFX control.
struct Control {
  std::string name;  // the control's name: the effect's, without spaces ("FXAASpan")
  host_runtime::ExposedParam exposed;
  host_runtime::ControlLimits limits;  // what a value the host sends is held to
};

struct Plugin {
  const OfxPropertySuiteV1* props = nullptr;
  const OfxImageEffectSuiteV1* effects = nullptr;
  const OfxParameterSuiteV1* params = nullptr;
  const OfxMessageSuiteV1* messages = nullptr;  // optional
  std::vector<Control> controls;
  // The workers keep their frame's worlds while a sequence renders; dropped when it ends.
  std::unique_ptr<fxaa_embedding::WorkerPool> pool;
  fxaa_embedding::CallsInFlight calls;  // the actions inside it, which unloading waits for
};

// Says what failed and why ("cannot load", "the host offers no ..."), on standard error and
// through the host's message suite where it offers one (`handle`: the descriptor or instance
// concerned, or null), and returns `status`. Allocates nothing.
OfxStatus Refuse(const OfxMessageSuiteV1* messages, const void* handle, OfxStatus status,
                 const char* what, const char* why);
// An OpenFX status in words, with its number: "kOfxStatErrUnknown (3)".
std::string StatusText(OfxStatus status);

// The actions, each with the loaded plug-in (ofx_describe.cpp, ofx_render.cpp). The describe
// actions set *why when they fail.
OfxStatus Describe(const Plugin& plugin, OfxImageEffectHandle descriptor, std::string* why);
OfxStatus DescribeInContext(const Plugin& plugin, OfxImageEffectHandle descriptor,
                            std::string* why);
OfxStatus IsIdentity(const Plugin& plugin, OfxImageEffectHandle instance,
                     OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs);
OfxStatus RegionsOfInterest(const Plugin& plugin, OfxImageEffectHandle instance,
                            OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs);
OfxStatus Render(Plugin& plugin, OfxImageEffectHandle instance, OfxPropertySetHandle inArgs);

}  // namespace fxaa_ofx
