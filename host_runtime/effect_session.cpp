// The effect session: set-up and set-down around the host, and the frame as two commands.
#include "host_runtime/effect_session.h"

namespace host_runtime {
namespace {

// Sets *error (when there is one) to `message` and returns false.
bool Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

}  // namespace

std::unique_ptr<EffectSession> EffectSession::Open(const std::string& path, std::string* error) {
  std::unique_ptr<EffectSession> session(new EffectSession);
  session->module_ = PluginModule::Load(path, error);
  if (!session->module_) return nullptr;
  session->path_ = path;
  if (!session->SetUp(session->module_->entry(), error)) return nullptr;
  return session;
}

std::unique_ptr<EffectSession> EffectSession::Open(PF_FilterProc entry, const std::string& name,
                                                   std::string* error) {
  std::unique_ptr<EffectSession> session(new EffectSession);
  session->path_ = name;
  if (entry == nullptr) {
    Fail(error, name + ": no entry point");
    return nullptr;
  }
  if (!session->SetUp(entry, error)) return nullptr;
  return session;
}

bool EffectSession::SetUp(PF_FilterProc entry, std::string* error) {
  host_ = std::make_unique<Host>(entry);
  PF_Err err = host_->GlobalSetup();
  if (err != 0) return Fail(error, path_ + ": global set-up failed: " + PluginErrorText(err));
  setUp_ = true;
  err = host_->About(&about_);
  if (err != 0) return Fail(error, path_ + ": the About command failed: " + PluginErrorText(err));
  err = host_->ParamsSetup();
  if (err == 0) err = host_->UpdateParamsUI();
  if (err != 0) return Fail(error, path_ + ": parameter set-up failed: " + PluginErrorText(err));
  if (!smartRender()) return Fail(error, path_ + ": the plug-in does not announce smart rendering");
  params_ = host_->Params();
  return true;
}

EffectSession::~EffectSession() {
  if (host_ && setUp_) host_->GlobalSetdown();
  host_.reset();  // before the module: the host's handles are freed while the file is loaded
}

bool EffectSession::threaded() const {
  return (host_->outFlags2() & PF_OutFlag2_SUPPORTS_THREADED_RENDERING) != 0;
}
bool EffectSession::floatColour() const {
  return (host_->outFlags2() & PF_OutFlag2_FLOAT_COLOR_AWARE) != 0;
}
bool EffectSession::smartRender() const {
  return (host_->outFlags2() & PF_OutFlag2_SUPPORTS_SMART_RENDER) != 0;
}

const ParamState* EffectSession::Find(const std::string& name) const {
  for (const ParamState& p : params_)
    if (p.name == name) return &p;
  return nullptr;
}

PF_Err EffectSession::Render(World* input, World* output, const FrameValues& values) {
  PreRenderSetup setup;
  setup.request.rect = {0, 0, input->width(), input->height()};
  setup.bitDepth = static_cast<short>(input->bitDepth());
  setup.layerWidth = input->width();
  setup.layerHeight = input->height();
  PF_PreRenderOutput pre{};
  PF_Err err = host_->SmartPreRender(setup, &pre, &values);
  if (err == 0) err = host_->SmartRender(input, output, input->bitDepth(), &values);
  if (pre.pre_render_data != nullptr && pre.delete_pre_render_data_func != nullptr)
    pre.delete_pre_render_data_func(pre.pre_render_data);
  return err;
}

Failure EffectSession::Probe() {
  std::call_once(probed_, [this] {
    World in(8, 8, 8), out(8, 8, 8);
    const PF_Err err = Render(&in, &out);
    // An 8 x 8 frame exhausts no GPU: failing it this way means no usable context.
    probe_ = err == PF_Err_INTERNAL_STRUCT_DAMAGED
                 ? Failure::Of(Failure::Kind::kNoContext, "no OpenGL 3.2 core context can be made")
                 : Failure::FromPlugin(err);
  });
  return probe_;
}

Failure EffectSession::FrameFailure(PF_Err code, int width, int height,
                                    const std::function<int()>& largestSide) {
  if (code == PF_Err_INTERNAL_STRUCT_DAMAGED) {
    const Failure probe = Probe();
    if (probe.kind == Failure::Kind::kNoContext) return probe;
    return Failure{Failure::Kind::kPlugin, code, "the GPU failed the frame"};
  }
  const int largest = code == PF_Err_OUT_OF_MEMORY && largestSide ? largestSide() : 0;
  if (largest > 0) {
    if (width <= largest && height <= largest)
      return Failure{Failure::Kind::kPlugin, code, "out of memory for the frame"};
    return Failure{Failure::Kind::kPlugin, code,
                   "a frame of " + std::to_string(width) + " x " + std::to_string(height) +
                       " is larger than the GPU takes (at most " + std::to_string(largest) +
                       " pixels a side)"};
  }
  return Failure::FromPlugin(code);
}

}  // namespace host_runtime
