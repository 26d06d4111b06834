// The Host: configuration, the command blocks it builds for every command, and the queries
// over its references.
#include "host_runtime/host.h"

#include <cstdlib>
#include <cstring>

#include "host_runtime/host_state.h"

namespace host_runtime {

Host::Host(PF_FilterProc entry) : impl_(new Impl), entry_(entry) {}

Host::~Host() = default;

void Host::SetParamValue(int index, double value) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->values.params[index] = value;
}
void Host::ClearParamValues() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->values.params.clear();
}
void Host::SetDownsample(PF_RationalScale x, PF_RationalScale y) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->values.downsampleX = x;
  impl_->values.downsampleY = y;
}
void Host::SetTime(A_long current, A_long step, A_u_long scale) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->values.time = current;
  impl_->values.timeStep = step;
  impl_->values.timeScale = scale;
}
void Host::SetNullBasicSuite(bool null) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->nullBasic = null;
}
void Host::SetNewHandleFill(uint8_t fill) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->newHandleFill = fill;
}

void Host::SetObserver(CallObserver* observer) {
  impl_->observer.store(observer, std::memory_order_release);
}

PF_InData Host::MakeInData(const FrameValues* values) const {
  PF_InData in{};
  std::lock_guard<std::mutex> lock(impl_->mutex);
  in.inter = impl_->inter;
  in.utils = &impl_->utils;
  in.effect_ref = effectRef();
  in.quality = 1;  // high
  in.version = {13, 25};
  in.num_params = static_cast<A_long>(impl_->declared.size()) + 1;
  const FrameValues& frame = values != nullptr ? *values : impl_->values;
  in.current_time = frame.time;
  in.time_step = in.local_time_step = frame.timeStep;
  in.time_scale = frame.timeScale;
  in.downsample_x = frame.downsampleX;
  in.downsample_y = frame.downsampleY;
  in.pixel_aspect_ratio = {1, 1};
  in.global_data = globalData_;
  in.pica_basicP = impl_->nullBasic ? nullptr : &impl_->basic;
  return in;
}

PF_Err Host::SendCommand(PF_Cmd cmd, PF_InData* in, PF_OutData* out, void* extra,
                         CommandState* state) {
  // The parameter list the host hands every command: the layer, then copies of the declared
  // definitions (the effect reads values through checkout_param instead).
  std::vector<PF_ParamDef> defs(1);
  defs[0].param_type = PF_Param_LAYER;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    defs.insert(defs.end(), impl_->declared.begin(), impl_->declared.end());
  }
  std::vector<PF_ParamDef*> params;
  for (PF_ParamDef& d : defs) params.push_back(&d);

  state->impl = impl_.get();
  ScopedCommand scope(state);
  return entry_(cmd, in, out, params.data(), nullptr, extra);
}

PF_Err Host::SendWith(PF_Cmd cmd, PF_InData* in, PF_OutData* out, void* extra) {
  CommandState state;
  return SendCommand(cmd, in, out, extra, &state);
}

PF_Err Host::Send(PF_Cmd cmd, void* extra, PF_OutData* out) {
  PF_InData in = MakeInData();
  PF_OutData local{};
  const PF_Err err = SendWith(cmd, &in, out ? out : &local, extra);
  if (out == nullptr) lastOut_ = local;
  return err;
}

PF_Err Host::About(std::string* text) {
  const PF_Err err = Send(PF_Cmd_ABOUT);
  if (text) text->assign(lastOut_.return_msg, strnlen(lastOut_.return_msg, sizeof(lastOut_.return_msg)));
  return err;
}

PF_Err Host::GlobalSetup() {
  const PF_Err err = Send(PF_Cmd_GLOBAL_SETUP);
  globalData_ = lastOut_.global_data;
  myVersion_ = lastOut_.my_version;
  outFlags_ = lastOut_.out_flags;
  outFlags2_ = lastOut_.out_flags2;
  return err;
}

// After set-down the host disposes the global data handle, whatever set-down returned.
PF_Err Host::GlobalSetdown() {
  const PF_Err err = Send(PF_Cmd_GLOBAL_SETDOWN);
  impl_->ReleaseHandle(globalData_);
  globalData_ = nullptr;
  return err;
}

PF_Err Host::ParamsSetup() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->declared.clear();
    impl_->hidden.clear();
  }
  const PF_Err err = Send(PF_Cmd_PARAMS_SETUP);
  numParams_ = lastOut_.num_params;
  return err;
}

PF_Err Host::UpdateParamsUI() { return Send(PF_Cmd_UPDATE_PARAMS_UI); }
PF_Err Host::UserChangedParam() { return Send(PF_Cmd_USER_CHANGED_PARAM); }

PF_ProgPtr Host::effectRef() const { return reinterpret_cast<PF_ProgPtr>(impl_.get()); }

std::vector<PF_ParamDef> Host::DeclaredParams() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->declared;
}
namespace {

// The word a parameter type is listed by.
const char* ParamTypeName(int type) {
  switch (type) {
    case PF_Param_POPUP: return "popup";
    case PF_Param_FLOAT_SLIDER: return "float slider";
    case PF_Param_GROUP_START: return "group start";
    case PF_Param_GROUP_END: return "group end";
    case PF_Param_SLIDER: return "slider";
    case PF_Param_CHECKBOX: return "checkbox";
    case PF_Param_COLOR: return "colour";
    case PF_Param_POINT: return "point";
    case PF_Param_ANGLE: return "angle";
  }
  return "other";
}

// A popup's choices from its "a|b|c" text.
std::vector<std::string> SplitChoices(const char* text) {
  std::vector<std::string> choices;
  if (text == nullptr) return choices;
  std::string current;
  for (const char* p = text; *p; ++p) {
    if (*p == '|') {
      choices.push_back(current);
      current.clear();
    } else {
      current += *p;
    }
  }
  choices.push_back(current);
  return choices;
}

}  // namespace

std::vector<ParamState> Host::Params() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  std::vector<ParamState> params;
  for (size_t i = 0; i < impl_->declared.size(); ++i) {
    const PF_ParamDef& def = impl_->declared[i];
    ParamState p;
    p.index = static_cast<int>(i + 1);
    p.id = def.uu.id;
    p.name = std::string(def.name, strnlen(def.name, sizeof(def.name)));
    p.type = def.param_type;
    p.typeName = ParamTypeName(def.param_type);
    if (def.param_type == PF_Param_FLOAT_SLIDER) {
      p.validMin = def.u.fs_d.valid_min;
      p.validMax = def.u.fs_d.valid_max;
      p.sliderMin = def.u.fs_d.slider_min;
      p.sliderMax = def.u.fs_d.slider_max;
      p.defaultValue = def.u.fs_d.dephault;
      p.precision = def.u.fs_d.precision;
      p.percent = (def.u.fs_d.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
    } else if (def.param_type == PF_Param_POPUP) {
      p.choices = SplitChoices(def.u.pd.u.namesptr);
      p.defaultValue = def.u.pd.dephault;
      p.validMin = 1;
      p.validMax = def.u.pd.num_choices;
    } else if (def.param_type == PF_Param_GROUP_START) {
      p.collapsed = (def.flags & PF_ParamFlag_START_COLLAPSED) != 0;
    }
    const auto hidden = impl_->hidden.find(p.index);
    p.hidden = hidden != impl_->hidden.end() && hidden->second;
    params.push_back(std::move(p));
  }
  return params;
}

PF_RenderRequest Host::LastLayerRequest() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->lastLayerRequest;
}

int Host::OutstandingSuites() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  int n = 0;
  for (int held : impl_->suitesHeld) n += held;
  return n;
}
int Host::OutstandingSuites(const std::string& nameAndVersion) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (int i = 0; i < kServedSuiteCount; ++i) {
    const ServedSuite& suite = kServedSuites[i];
    if (nameAndVersion == std::string(suite.name) + " " + std::to_string(suite.version))
      return impl_->suitesHeld[i];
  }
  return 0;
}
int Host::OutstandingStreams() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return static_cast<int>(impl_->streams.size());
}
int Host::OutstandingEffects() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return static_cast<int>(impl_->effects.size());
}
int Host::OutstandingParams() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->paramsOut;
}
int Host::LiveHandles() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return static_cast<int>(impl_->handles.size());
}
bool Host::HandleGuardsIntact() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (const auto& h : impl_->handles) {
    const uint8_t* before = h.second.raw;
    const uint8_t* after = h.second.raw + Impl::kHandleGuard + h.second.size;
    for (size_t i = 0; i < Impl::kHandleGuard; ++i)
      if (before[i] != Impl::kHandleGuardByte || after[i] != Impl::kHandleGuardByte) return false;
  }
  return true;
}
}  // namespace host_runtime
