#include "cli/effect.h"

namespace fxaa_cli {

namespace {

std::string CodeText(PF_Err code) { return "error " + std::to_string(code); }

}  // namespace

std::string VersionText(A_u_long version) {
  const unsigned major = (version >> 19) & 0x7;
  const unsigned minor = (version >> 15) & 0xF;
  const unsigned revision = (version >> 11) & 0xF;
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
}

std::string DescribePluginError(PF_Err code) {
  switch (code) {
    case PF_Err_OUT_OF_MEMORY: return "out of memory, or the frame is larger than the GPU takes";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
      return "no OpenGL context for rendering, or the GPU failed the frame";
    case PF_Err_BAD_CALLBACK_PARAM: return "the plug-in refused the host's data";
    case PF_Interrupt_CANCEL: return "cancelled";
  }
  return "the plug-in failed";
}

std::unique_ptr<Effect> Effect::Open(const std::string& path, std::string* error) {
  std::unique_ptr<Effect> effect(new Effect);
  effect->module_ = hostsim::PluginModule::Load(path, error);
  if (!effect->module_) return nullptr;
  effect->host_ = std::make_unique<hostsim::Host>(effect->module_->entry());
  hostsim::Host& host = *effect->host_;

  PF_Err err = host.GlobalSetup();
  if (err != 0) {
    *error = path + ": global set-up failed (" + CodeText(err) + ")";
    return nullptr;
  }
  effect->setUp_ = true;
  err = host.About(&effect->about_);
  if (err != 0) {
    *error = path + ": the About command failed (" + CodeText(err) + ")";
    return nullptr;
  }
  if (err == 0) err = host.ParamsSetup();
  if (err == 0) err = host.UpdateParamsUI();
  if (err != 0) {
    *error = path + ": parameter set-up failed (" + CodeText(err) + ")";
    return nullptr;
  }
  if ((host.outFlags2() & PF_OutFlag2_SUPPORTS_SMART_RENDER) == 0) {
    *error = path + ": the plug-in does not announce smart rendering";
    return nullptr;
  }

  effect->params_ = host.Params();
  return effect;
}

Effect::~Effect() {
  if (host_ && setUp_) host_->GlobalSetdown();
  host_.reset();  // before the module: the host's handles are freed while the file is loaded
}

bool Effect::threaded() const {
  return (host_->outFlags2() & PF_OutFlag2_SUPPORTS_THREADED_RENDERING) != 0;
}
bool Effect::floatColour() const {
  return (host_->outFlags2() & PF_OutFlag2_FLOAT_COLOR_AWARE) != 0;
}
bool Effect::smartRender() const {
  return (host_->outFlags2() & PF_OutFlag2_SUPPORTS_SMART_RENDER) != 0;
}

const DeclaredParam* Effect::Find(const std::string& name) const {
  for (const DeclaredParam& p : params_)
    if (p.name == name) return &p;
  return nullptr;
}

void Effect::SetDownsample(int factor) {
  const PF_RationalScale scale{1, static_cast<A_u_long>(factor > 0 ? factor : 1)};
  host_->SetDownsample(scale, scale);
}

PF_Err Effect::Render(hostsim::World* input, hostsim::World* output) {
  const PF_LRect frame{0, 0, input->width(), input->height()};
  PF_PreRenderOutput pre{};
  PF_Err err = host_->SmartPreRender(frame, input->width(), input->height(), &pre);
  if (err == 0) err = host_->SmartRender(input, output, input->bitDepth());
  if (pre.pre_render_data != nullptr && pre.delete_pre_render_data_func != nullptr)
    pre.delete_pre_render_data_func(pre.pre_render_data);
  return err;
}

}  // namespace fxaa_cli
