// Commands, call record and fault injection of the host side, and every callback and suite
// function it hands the plug-in. Callbacks find their host through the effect_ref they are given
// or, for suite functions that get none, through the calling thread's current command.
#include "hostsim/host_sim.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hostsim {

struct Host::Impl {
  struct Failure {
    std::string name, detail;
    int occurrence;
    int seen;
    PF_Err code;
    bool nullTable;
  };

  mutable std::mutex mutex;
  std::vector<Call> calls;
  std::vector<Failure> failures;
  std::map<int, double> paramValues;
  std::vector<PF_ParamDef> declared;
  PF_RationalScale downsampleX{1, 1}, downsampleY{1, 1};
  A_long currentTime = 0, timeStep = 1;
  A_u_long timeScale = 24;
  bool nullBasic = false;
  std::map<std::string, int> acquired;
  int streams = 0, effects = 0;
  std::map<PF_Handle, size_t> handles;

  SPBasicSuite basic{};
  PF_UtilCallbacks utils{};
  PF_ANSICallbacksSuite1 ansiSuite{};
  PF_HandleSuite1 handleSuite{};
  AEGP_PFInterfaceSuite1 interfaceSuite{};
  AEGP_StreamSuite2 streamSuite{};
  AEGP_DynamicStreamSuite2 dynamicStreamSuite{};
  AEGP_EffectSuite2 effectSuite{};

  void Record(const std::string& name, const std::string& detail = "") {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back({name, detail});
  }

  // Whether this call of `name` is one a test asked to fail; sets its code and table mode.
  bool Fails(const std::string& name, const std::string& detail, PF_Err* code,
             bool* nullTable = nullptr) {
    std::lock_guard<std::mutex> lock(mutex);
    for (Failure& f : failures) {
      if (f.name != name || (!f.detail.empty() && f.detail != detail)) continue;
      ++f.seen;
      if (f.occurrence == 0 || f.seen == f.occurrence) {
        *code = f.code;
        if (nullTable) *nullTable = f.nullTable;
        return true;
      }
    }
    return false;
  }
};

namespace {

// The command running on this thread: its host and the worlds a smart render hands out.
struct CommandState {
  Host::Impl* impl = nullptr;
  World* input = nullptr;
  World* output = nullptr;
  int layerWidth = 0, layerHeight = 0;
};
thread_local CommandState t_command;

Host::Impl* ImplOf(PF_ProgPtr effect_ref) {
  return effect_ref ? reinterpret_cast<Host::Impl*>(effect_ref) : t_command.impl;
}

std::string IndexDetail(long index) { return "index " + std::to_string(index); }

// ---- Basic suite ----
SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
  Host::Impl* impl = t_command.impl;
  const std::string key = std::string(name) + " " + std::to_string(version);
  impl->Record("AcquireSuite", key);
  *suite = nullptr;
  PF_Err code = 0;
  bool nullTable = false;
  if (impl->Fails("AcquireSuite", key, &code, &nullTable)) return nullTable ? 0 : code;
  const std::map<std::string, const void*> known = {
      {"PF ANSI Suite 1", &impl->ansiSuite},
      {"PF Handle Suite 2", &impl->handleSuite},
      {"AEGP PF Interface Suite 1", &impl->interfaceSuite},
      {"AEGP Stream Suite 7", &impl->streamSuite},
      {"AEGP Dynamic Stream Suite 2", &impl->dynamicStreamSuite},
      {"AEGP Effect Suite 2", &impl->effectSuite},
  };
  auto found = known.find(key);
  if (found == known.end()) return 1;  // the host has no such suite
  *suite = found->second;
  std::lock_guard<std::mutex> lock(impl->mutex);
  ++impl->acquired[key];
  return 0;
}

SPErr ReleaseSuite(const char* name, int32_t version) {
  Host::Impl* impl = t_command.impl;
  const std::string key = std::string(name) + " " + std::to_string(version);
  impl->Record("ReleaseSuite", key);
  std::lock_guard<std::mutex> lock(impl->mutex);
  --impl->acquired[key];
  return 0;
}

// ---- ANSI ----
int AnsiSprintf(A_char* buffer, const A_char* format, ...) {
  t_command.impl->Record("sprintf");
  va_list args;
  va_start(args, format);
  int written = std::vsnprintf(buffer, PF_MAX_EFFECT_MSG_LEN + 1, format, args);
  va_end(args);
  return written;
}

A_char* AnsiStrcpy(A_char* dest, const A_char* src) {
  if (t_command.impl) t_command.impl->Record("strcpy", src);
  return std::strcpy(dest, src);
}

// ---- Handles: a handle points at the block's address ----
PF_Handle NewHandle(A_u_longlong size) {
  Host::Impl* impl = t_command.impl;
  impl->Record("host_new_handle", std::to_string(size));
  PF_Err code;
  if (impl->Fails("host_new_handle", "", &code)) return nullptr;
  PF_Handle handle = new void*(std::calloc(1, size ? size : 1));
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->handles[handle] = size;
  return handle;
}

void* LockHandle(PF_Handle handle) {
  Host::Impl* impl = t_command.impl;
  impl->Record("host_lock_handle");
  PF_Err code;
  if (impl->Fails("host_lock_handle", "", &code) || handle == nullptr) return nullptr;
  return *handle;
}

void UnlockHandle(PF_Handle) { t_command.impl->Record("host_unlock_handle"); }

void DisposeHandle(PF_Handle handle) {
  Host::Impl* impl = t_command.impl;
  impl->Record("host_dispose_handle");
  if (handle == nullptr) return;
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->handles.erase(handle);
  std::free(*handle);
  delete handle;
}

A_u_longlong HandleSize(PF_Handle handle) {
  Host::Impl* impl = t_command.impl;
  std::lock_guard<std::mutex> lock(impl->mutex);
  auto found = impl->handles.find(handle);
  return found == impl->handles.end() ? 0 : found->second;
}

PF_Err ResizeHandle(A_u_longlong size, PF_Handle* handle) {
  Host::Impl* impl = t_command.impl;
  void* grown = std::realloc(**handle, size ? size : 1);
  if (grown == nullptr) return PF_Err_OUT_OF_MEMORY;
  **handle = grown;
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->handles[*handle] = size;
  return 0;
}

// ---- AEGP suites ----
A_Err GetNewEffectForEffect(AEGP_PluginID, PF_ProgPtr effect_ref, AEGP_EffectRefH* effect) {
  Host::Impl* impl = ImplOf(effect_ref);
  impl->Record("AEGP_GetNewEffectForEffect");
  PF_Err code;
  if (impl->Fails("AEGP_GetNewEffectForEffect", "", &code)) return code;
  *effect = reinterpret_cast<AEGP_EffectRefH>(new int(0));
  std::lock_guard<std::mutex> lock(impl->mutex);
  ++impl->effects;
  return 0;
}

A_Err GetNewEffectStreamByIndex(AEGP_PluginID, AEGP_EffectRefH, PF_ParamIndex index,
                                AEGP_StreamRefH* stream) {
  Host::Impl* impl = t_command.impl;
  impl->Record("AEGP_GetNewEffectStreamByIndex", IndexDetail(index));
  PF_Err code;
  if (impl->Fails("AEGP_GetNewEffectStreamByIndex", IndexDetail(index), &code)) return code;
  *stream = reinterpret_cast<AEGP_StreamRefH>(new int(index));
  std::lock_guard<std::mutex> lock(impl->mutex);
  ++impl->streams;
  return 0;
}

A_Err SetDynamicStreamFlag(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag, A_Boolean undoable,
                           A_Boolean set) {
  Host::Impl* impl = t_command.impl;
  const int index = stream ? *reinterpret_cast<int*>(stream) : -1;
  impl->Record("AEGP_SetDynamicStreamFlag", IndexDetail(index) + " flag " + std::to_string(flag) +
                                                " undoable " + std::to_string(undoable) +
                                                " set " + std::to_string(set));
  PF_Err code;
  if (impl->Fails("AEGP_SetDynamicStreamFlag", IndexDetail(index), &code)) return code;
  return 0;
}

A_Err DisposeStream(AEGP_StreamRefH stream) {
  Host::Impl* impl = t_command.impl;
  const int index = stream ? *reinterpret_cast<int*>(stream) : -1;
  impl->Record("AEGP_DisposeStream", IndexDetail(index));
  delete reinterpret_cast<int*>(stream);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    --impl->streams;
  }
  PF_Err code;
  return impl->Fails("AEGP_DisposeStream", IndexDetail(index), &code) ? code : 0;
}

A_Err DisposeEffect(AEGP_EffectRefH effect) {
  Host::Impl* impl = t_command.impl;
  impl->Record("AEGP_DisposeEffect");
  delete reinterpret_cast<int*>(effect);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    --impl->effects;
  }
  PF_Err code;
  return impl->Fails("AEGP_DisposeEffect", "", &code) ? code : 0;
}

// ---- Interaction callbacks ----
PF_Err AddParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
  Host::Impl* impl = ImplOf(effect_ref);
  impl->Record("add_param", def->name);
  PF_Err code;
  if (impl->Fails("add_param", "", &code)) return code;
  if (index != -1) return PF_Err_INVALID_INDEX;
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->declared.push_back(*def);
  return 0;
}

PF_Err CheckoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long, A_long, A_u_long,
                     PF_ParamDef* param) {
  Host::Impl* impl = ImplOf(effect_ref);
  impl->Record("checkout_param", IndexDetail(index));
  PF_Err code;
  if (impl->Fails("checkout_param", IndexDetail(index), &code)) return code;
  std::lock_guard<std::mutex> lock(impl->mutex);
  if (index < 1 || size_t(index) > impl->declared.size()) return PF_Err_INVALID_INDEX;
  *param = impl->declared[index - 1];
  auto value = impl->paramValues.find(index);
  if (value != impl->paramValues.end()) {
    if (param->param_type == PF_Param_POPUP)
      param->u.pd.value = static_cast<PF_ParamValue>(std::lround(value->second));
    else if (param->param_type == PF_Param_FLOAT_SLIDER)
      param->u.fs_d.value = value->second;
  }
  return 0;
}

PF_Err CheckinParam(PF_ProgPtr effect_ref, PF_ParamDef*) {
  Host::Impl* impl = ImplOf(effect_ref);
  impl->Record("checkin_param");
  PF_Err code;
  return impl->Fails("checkin_param", "", &code) ? code : 0;
}

// ---- Utility callbacks ----
PF_Err Fill(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* rect,
            PF_EffectWorld* world) {
  Host::Impl* impl = ImplOf(effect_ref);
  impl->Record("fill");
  PF_Err code;
  if (impl->Fails("fill", "", &code)) return code;
  if (world == nullptr || world->data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const World* owner = (t_command.output && t_command.output->get() == world) ? t_command.output
                       : (t_command.input && t_command.input->get() == world) ? t_command.input
                                                                              : nullptr;
  const int bitDepth = owner ? owner->bitDepth() : 8;
  PF_Rect area{0, 0, world->width, world->height};
  if (rect) {
    area.left = std::max(rect->left, 0);
    area.top = std::max(rect->top, 0);
    area.right = std::min(rect->right, world->width);
    area.bottom = std::min(rect->bottom, world->height);
  }
  const PF_Pixel none{0, 0, 0, 0};
  const PF_Pixel& c = color ? *color : none;
  for (int y = area.top; y < area.bottom; ++y) {
    uint8_t* row = static_cast<uint8_t*>(world->data) + size_t(y) * world->rowbytes;
    for (int x = area.left; x < area.right; ++x) {
      if (bitDepth == 32) {
        PF_PixelFloat* p = reinterpret_cast<PF_PixelFloat*>(row) + x;
        *p = {c.alpha / 255.f, c.red / 255.f, c.green / 255.f, c.blue / 255.f};
      } else {
        reinterpret_cast<PF_Pixel*>(row)[x] = c;
      }
    }
  }
  return 0;
}

// ---- Smart render callbacks ----
PF_Err CheckoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkoutId,
                     const PF_RenderRequest* request, A_long, A_long, A_u_long,
                     PF_CheckoutResult* result) {
  Host::Impl* impl = ImplOf(effect_ref);
  impl->Record("checkout_layer", IndexDetail(index) + " id " + std::to_string(checkoutId));
  PF_Err code;
  if (impl->Fails("checkout_layer", "", &code)) return code;
  std::memset(result, 0, sizeof(*result));
  const PF_LRect layer{0, 0, t_command.layerWidth, t_command.layerHeight};
  PF_LRect r = request->rect;
  r.left = std::max(r.left, layer.left);
  r.top = std::max(r.top, layer.top);
  r.right = std::min(r.right, layer.right);
  r.bottom = std::min(r.bottom, layer.bottom);
  if (r.left >= r.right || r.top >= r.bottom) r = PF_LRect{0, 0, 0, 0};
  result->result_rect = r;
  result->max_result_rect = layer;
  result->par = {1, 1};
  result->ref_width = layer.right;
  result->ref_height = layer.bottom;
  return 0;
}

PF_Err CheckoutLayerPixels(PF_ProgPtr effect_ref, A_long checkoutId, PF_EffectWorld** pixels) {
  Host::Impl* impl = ImplOf(effect_ref);
  impl->Record("checkout_layer_pixels", "id " + std::to_string(checkoutId));
  PF_Err code;
  if (impl->Fails("checkout_layer_pixels", "", &code)) return code;
  *pixels = (checkoutId == 0 && t_command.input) ? t_command.input->get() : nullptr;
  return 0;
}

PF_Err CheckinLayerPixels(PF_ProgPtr effect_ref, A_long checkoutId) {
  ImplOf(effect_ref)->Record("checkin_layer_pixels", "id " + std::to_string(checkoutId));
  return 0;
}

PF_Err CheckoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output) {
  Host::Impl* impl = ImplOf(effect_ref);
  impl->Record("checkout_output");
  PF_Err code;
  if (impl->Fails("checkout_output", "", &code)) return code;
  *output = t_command.output ? t_command.output->get() : nullptr;
  return 0;
}

}  // namespace

Host::Host(PF_FilterProc entry) : impl_(new Impl), entry_(entry) {
  Impl& i = *impl_;
  i.basic.AcquireSuite = AcquireSuite;
  i.basic.ReleaseSuite = ReleaseSuite;
  i.ansiSuite.sprintf = AnsiSprintf;
  i.ansiSuite.strcpy = AnsiStrcpy;
  i.handleSuite = {NewHandle, LockHandle, UnlockHandle, DisposeHandle, HandleSize, ResizeHandle};
  i.interfaceSuite.AEGP_GetNewEffectForEffect = GetNewEffectForEffect;
  i.streamSuite.AEGP_GetNewEffectStreamByIndex = GetNewEffectStreamByIndex;
  i.streamSuite.AEGP_DisposeStream = DisposeStream;
  i.dynamicStreamSuite.AEGP_SetDynamicStreamFlag = SetDynamicStreamFlag;
  i.effectSuite.AEGP_DisposeEffect = DisposeEffect;
  i.utils.fill = Fill;
  i.utils.host_new_handle = NewHandle;
  i.utils.host_lock_handle = LockHandle;
  i.utils.host_unlock_handle = UnlockHandle;
  i.utils.host_dispose_handle = DisposeHandle;
  i.utils.host_get_handle_size = HandleSize;
  i.utils.host_resize_handle = ResizeHandle;
  i.utils.ansi.sprintf = AnsiSprintf;
  i.utils.ansi.strcpy = AnsiStrcpy;
}

Host::~Host() {
  for (auto& handle : impl_->handles) {
    std::free(*handle.first);
    delete handle.first;
  }
}

void Host::SetParamValue(int index, double value) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->paramValues[index] = value;
}
void Host::SetDownsample(PF_RationalScale x, PF_RationalScale y) {
  impl_->downsampleX = x;
  impl_->downsampleY = y;
}
void Host::SetTime(A_long current, A_long step, A_u_long scale) {
  impl_->currentTime = current;
  impl_->timeStep = step;
  impl_->timeScale = scale;
}
void Host::SetNullBasicSuite(bool null) { impl_->nullBasic = null; }

void Host::FailCall(const std::string& name, int occurrence, PF_Err code,
                    const std::string& detail, bool nullTable) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->failures.push_back({name, detail, occurrence, 0, code, nullTable});
}
void Host::ClearFailures() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->failures.clear();
}

PF_Err Host::Send(PF_Cmd cmd, void* extra, PF_OutData* out) {
  PF_InData in{};
  in.inter.checkout_param = CheckoutParam;
  in.inter.checkin_param = CheckinParam;
  in.inter.add_param = AddParam;
  in.utils = &impl_->utils;
  in.effect_ref = reinterpret_cast<PF_ProgPtr>(impl_.get());
  in.quality = 1;
  in.version = {13, 25};
  in.current_time = impl_->currentTime;
  in.time_step = impl_->timeStep;
  in.local_time_step = impl_->timeStep;
  in.time_scale = impl_->timeScale;
  in.downsample_x = impl_->downsampleX;
  in.downsample_y = impl_->downsampleY;
  in.pixel_aspect_ratio = {1, 1};
  in.global_data = globalData_;
  in.pica_basicP = impl_->nullBasic ? nullptr : &impl_->basic;
  in.num_params = static_cast<A_long>(impl_->declared.size()) + 1;

  PF_OutData local{};
  PF_OutData* outData = out ? out : &local;
  Host::Impl* previous = t_command.impl;
  t_command.impl = impl_.get();
  PF_Err err = entry_(cmd, &in, outData, nullptr, nullptr, extra);
  t_command.impl = previous;
  if (out == nullptr) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    lastOut_ = local;
  }
  return err;
}

PF_Err Host::About(std::string* text) {
  PF_Err err = Send(PF_Cmd_ABOUT);
  if (text) *text = lastOut_.return_msg;
  return err;
}

PF_Err Host::GlobalSetup() {
  PF_Err err = Send(PF_Cmd_GLOBAL_SETUP);
  globalData_ = lastOut_.global_data;
  return err;
}
PF_Err Host::GlobalSetdown() { return Send(PF_Cmd_GLOBAL_SETDOWN); }
PF_Err Host::ParamsSetup() { return Send(PF_Cmd_PARAMS_SETUP); }
PF_Err Host::UpdateParamsUI() { return Send(PF_Cmd_UPDATE_PARAMS_UI); }
PF_Err Host::UserChangedParam() { return Send(PF_Cmd_USER_CHANGED_PARAM); }

PF_Err Host::SmartPreRender(const PF_LRect& request, int layerWidth, int layerHeight,
                            PF_PreRenderOutput* result) {
  PF_PreRenderInput input{};
  input.output_request.rect = request;
  input.output_request.channel_mask = 15;
  input.bitdepth = 8;
  PF_PreRenderCallbacks callbacks{};
  callbacks.checkout_layer = CheckoutLayer;
  PF_PreRenderExtra extra{&input, result, &callbacks};
  const CommandState saved = t_command;
  t_command.layerWidth = layerWidth;
  t_command.layerHeight = layerHeight;
  PF_OutData out{};
  PF_Err err = Send(PF_Cmd_SMART_PRE_RENDER, &extra, &out);
  t_command = saved;
  return err;
}

PF_Err Host::SmartRender(World* input, World* output, int bitDepth) {
  PF_SmartRenderInput renderInput{};
  renderInput.bitdepth = static_cast<short>(bitDepth);
  if (output) renderInput.output_request.rect = {0, 0, output->width(), output->height()};
  renderInput.output_request.channel_mask = 15;
  PF_SmartRenderCallbacks callbacks{CheckoutLayerPixels, CheckinLayerPixels, CheckoutOutput};
  PF_SmartRenderExtra extra{&renderInput, &callbacks};
  const CommandState saved = t_command;
  t_command.input = input;
  t_command.output = output;
  PF_OutData out{};
  PF_Err err = Send(PF_Cmd_SMART_RENDER, &extra, &out);
  t_command = saved;
  return err;
}

std::vector<PF_ParamDef> Host::DeclaredParams() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->declared;
}
std::vector<Call> Host::Calls() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->calls;
}
int Host::Count(const std::string& name) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  int n = 0;
  for (const Call& c : impl_->calls) n += c.name == name;
  return n;
}
void Host::ClearCalls() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->calls.clear();
}
int Host::OutstandingSuites() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  int n = 0;
  for (auto& a : impl_->acquired) n += a.second;
  return n;
}
int Host::OutstandingStreams() const { return impl_->streams; }
int Host::OutstandingEffects() const { return impl_->effects; }
int Host::LiveHandles() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return static_cast<int>(impl_->handles.size());
}

}  // namespace hostsim
