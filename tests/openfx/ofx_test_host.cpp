#include "tests/openfx/ofx_test_host.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using ofxtest::Property;

std::string OfxPropertySetStruct::String(const std::string& name, int index) const {
  auto p = properties.find(name);
  return p != properties.end() && size_t(index) < p->second.strings.size()
             ? p->second.strings[size_t(index)]
             : std::string();
}
double OfxPropertySetStruct::Double(const std::string& name, int index, double otherwise) const {
  auto p = properties.find(name);
  return p != properties.end() && size_t(index) < p->second.doubles.size()
             ? p->second.doubles[size_t(index)]
             : otherwise;
}
int OfxPropertySetStruct::Int(const std::string& name, int index, int otherwise) const {
  auto p = properties.find(name);
  return p != properties.end() && size_t(index) < p->second.ints.size()
             ? p->second.ints[size_t(index)]
             : otherwise;
}
size_t OfxPropertySetStruct::Count(const std::string& name) const {
  auto p = properties.find(name);
  if (p == properties.end()) return 0;
  const Property& v = p->second;
  return v.ints.size() + v.doubles.size() + v.strings.size() + v.pointers.size();
}
void OfxPropertySetStruct::Set(const std::string& name, std::vector<std::string> values) {
  Property& p = properties[name];
  p.type = 's';
  p.strings = std::move(values);
}
void OfxPropertySetStruct::Set(const std::string& name, std::vector<double> values) {
  Property& p = properties[name];
  p.type = 'd';
  p.doubles = std::move(values);
}
void OfxPropertySetStruct::Set(const std::string& name, std::vector<int> values) {
  Property& p = properties[name];
  p.type = 'i';
  p.ints = std::move(values);
}
void OfxPropertySetStruct::Set(const std::string& name, void* value) {
  Property& p = properties[name];
  p.type = 'p';
  p.pointers.assign(1, value);
}

namespace ofxtest {
namespace {

// Every suite call holds this, as a host locks per call.
std::mutex g_suiteMutex;
// What TestHost::Withhold and TestHost::OnPropertyRead set, under g_suiteMutex.
std::vector<std::string> g_withheld;
std::string g_hookedProperty;
std::function<void()> g_propertyHook;
std::atomic<int> g_heldImages{0};
std::mutex g_messagesMutex;
std::vector<std::string> g_messages;

// ---- Property suite ----
template <typename T>
std::vector<T>& Values(Property& p);
template <>
std::vector<int>& Values(Property& p) { return p.ints; }
template <>
std::vector<double>& Values(Property& p) { return p.doubles; }
template <>
std::vector<std::string>& Values(Property& p) { return p.strings; }
template <>
std::vector<void*>& Values(Property& p) { return p.pointers; }

template <typename T>
char TypeOf();
template <>
char TypeOf<int>() { return 'i'; }
template <>
char TypeOf<double>() { return 'd'; }
template <>
char TypeOf<std::string>() { return 's'; }
template <>
char TypeOf<void*>() { return 'p'; }

// Sets one value; a new property takes the type it is first set with, an existing one keeps it.
template <typename T, typename V>
OfxStatus SetOne(OfxPropertySetHandle set, const char* name, int index, V value) {
  if (set == nullptr || name == nullptr) return kOfxStatErrBadHandle;
  if (index < 0) return kOfxStatErrBadIndex;
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  Property& p = set->properties[name];
  if (p.type == 0) p.type = TypeOf<T>();
  if (p.type != TypeOf<T>()) return kOfxStatErrValue;
  std::vector<T>& values = Values<T>(p);
  if (values.size() <= size_t(index)) values.resize(size_t(index) + 1);
  values[size_t(index)] = T(value);
  return kOfxStatOK;
}

// The hook for reads of `name`, if one is set.
std::function<void()> ReadHook(const char* name) {
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  return !g_hookedProperty.empty() && g_hookedProperty == name ? g_propertyHook : nullptr;
}

template <typename T, typename V>
OfxStatus GetOne(OfxPropertySetHandle set, const char* name, int index, V* value) {
  if (set == nullptr || name == nullptr || value == nullptr) return kOfxStatErrBadHandle;
  if (const std::function<void()> hook = ReadHook(name)) hook();
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  auto found = set->properties.find(name);
  if (found == set->properties.end() || found->second.type != TypeOf<T>()) return kOfxStatErrUnknown;
  std::vector<T>& values = Values<T>(found->second);
  if (index < 0 || size_t(index) >= values.size()) return kOfxStatErrBadIndex;
  if constexpr (std::is_same<T, std::string>::value) {
    *value = const_cast<char*>(values[size_t(index)].c_str());
  } else {
    *value = values[size_t(index)];
  }
  return kOfxStatOK;
}

// The N forms: each element through the one-value form, stopping at the first failure.
template <auto set, typename V>
OfxStatus SetN(OfxPropertySetHandle s, const char* n, int count, const V* values) {
  OfxStatus status = kOfxStatOK;
  for (int i = 0; i < count && status == kOfxStatOK; ++i) status = set(s, n, i, values[i]);
  return status;
}
template <auto get, typename V>
OfxStatus GetN(OfxPropertySetHandle s, const char* n, int count, V* values) {
  OfxStatus status = kOfxStatOK;
  for (int i = 0; i < count && status == kOfxStatOK; ++i) status = get(s, n, i, &values[i]);
  return status;
}

OfxStatus PropSetPointer(OfxPropertySetHandle s, const char* n, int i, void* v) { return SetOne<void*>(s, n, i, v); }
OfxStatus PropSetString(OfxPropertySetHandle s, const char* n, int i, const char* v) {
  return SetOne<std::string>(s, n, i, std::string(v ? v : ""));
}
OfxStatus PropSetDouble(OfxPropertySetHandle s, const char* n, int i, double v) { return SetOne<double>(s, n, i, v); }
OfxStatus PropSetInt(OfxPropertySetHandle s, const char* n, int i, int v) { return SetOne<int>(s, n, i, v); }
OfxStatus PropGetPointer(OfxPropertySetHandle s, const char* n, int i, void** v) { return GetOne<void*>(s, n, i, v); }
OfxStatus PropGetString(OfxPropertySetHandle s, const char* n, int i, char** v) { return GetOne<std::string>(s, n, i, v); }
OfxStatus PropGetDouble(OfxPropertySetHandle s, const char* n, int i, double* v) { return GetOne<double>(s, n, i, v); }
OfxStatus PropGetInt(OfxPropertySetHandle s, const char* n, int i, int* v) { return GetOne<int>(s, n, i, v); }
OfxStatus PropReset(OfxPropertySetHandle, const char*) { return kOfxStatErrUnsupported; }
OfxStatus PropGetDimension(OfxPropertySetHandle s, const char* n, int* count) {
  if (s == nullptr || n == nullptr || count == nullptr) return kOfxStatErrBadHandle;
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  if (s->properties.count(n) == 0) return kOfxStatErrUnknown;
  *count = int(s->Count(n));
  return kOfxStatOK;
}

const OfxPropertySuiteV1 kPropertySuite = {
    PropSetPointer, PropSetString, PropSetDouble, PropSetInt,
    SetN<PropSetPointer, void*>, SetN<PropSetString, const char*>, SetN<PropSetDouble, double>,
    SetN<PropSetInt, int>,
    PropGetPointer, PropGetString, PropGetDouble, PropGetInt,
    GetN<PropGetPointer, void*>, GetN<PropGetString, char*>, GetN<PropGetDouble, double>,
    GetN<PropGetInt, int>,
    PropReset, PropGetDimension};

// ---- Image effect suite ----
OfxStatus GetPropertySet(OfxImageEffectHandle effect, OfxPropertySetHandle* props) {
  if (effect == nullptr || props == nullptr) return kOfxStatErrBadHandle;
  *props = &effect->props;
  return kOfxStatOK;
}
OfxStatus GetParamSet(OfxImageEffectHandle effect, OfxParamSetHandle* params) {
  if (effect == nullptr || params == nullptr) return kOfxStatErrBadHandle;
  *params = &effect->params;
  return kOfxStatOK;
}
OfxStatus ClipDefine(OfxImageEffectHandle effect, const char* name, OfxPropertySetHandle* props) {
  if (effect == nullptr || name == nullptr) return kOfxStatErrBadHandle;
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  auto& clip = effect->clips[name];
  if (clip) return kOfxStatErrExists;
  clip.reset(new OfxImageClipStruct);
  clip->effect = effect;
  clip->name = name;
  clip->props.Set("OfxPropName", std::vector<std::string>{name});
  if (props) *props = &clip->props;
  return kOfxStatOK;
}
OfxStatus ClipGetHandle(OfxImageEffectHandle effect, const char* name, OfxImageClipHandle* clip,
                        OfxPropertySetHandle* props) {
  if (effect == nullptr || name == nullptr || clip == nullptr) return kOfxStatErrBadHandle;
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  auto found = effect->clips.find(name);
  if (found == effect->clips.end()) return kOfxStatErrUnknown;
  *clip = found->second.get();
  if (props) *props = &found->second->props;
  return kOfxStatOK;
}
OfxStatus ClipGetPropertySet(OfxImageClipHandle clip, OfxPropertySetHandle* props) {
  if (clip == nullptr || props == nullptr) return kOfxStatErrBadHandle;
  *props = &clip->props;
  return kOfxStatOK;
}
// The frame's source or output image: a handle of its own per fetch, counted until released.
OfxStatus ClipGetImage(OfxImageClipHandle clip, OfxTime time, const OfxRectD*, OfxPropertySetHandle* image) {
  if (clip == nullptr || image == nullptr) return kOfxStatErrBadHandle;
  std::lock_guard<std::mutex> lock(clip->effect->framesMutex);
  auto frame = clip->effect->frames.find(time);
  if (frame == clip->effect->frames.end()) return kOfxStatFailed;
  HostImage* held = clip->name == "Output" ? frame->second.second : frame->second.first;
  *image = new OfxPropertySetStruct(held->props);
  ++g_heldImages;
  return kOfxStatOK;
}
OfxStatus ClipReleaseImage(OfxPropertySetHandle image) {
  if (image == nullptr) return kOfxStatErrBadHandle;
  delete image;
  --g_heldImages;
  return kOfxStatOK;
}
OfxStatus ClipGetRegionOfDefinition(OfxImageClipHandle clip, OfxTime time, OfxRectD* bounds) {
  if (clip == nullptr || bounds == nullptr) return kOfxStatErrBadHandle;
  std::lock_guard<std::mutex> lock(clip->effect->framesMutex);
  auto frame = clip->effect->frames.find(time);
  if (frame == clip->effect->frames.end()) return kOfxStatFailed;
  const Layout& l = frame->second.first->layout();
  *bounds = OfxRectD{double(l.x1), double(l.y1), double(l.x1 + l.width), double(l.y1 + l.height)};
  return kOfxStatOK;
}
int Abort(OfxImageEffectHandle) { return 0; }

const OfxImageEffectSuiteV1 kImageEffectSuite = {
    GetPropertySet, GetParamSet, ClipDefine, ClipGetHandle, ClipGetPropertySet, ClipGetImage,
    ClipReleaseImage, ClipGetRegionOfDefinition, Abort, nullptr, nullptr, nullptr, nullptr};

// ---- Parameter suite ----
OfxStatus ParamDefine(OfxParamSetHandle set, const char* type, const char* name,
                      OfxPropertySetHandle* props) {
  if (set == nullptr || type == nullptr || name == nullptr) return kOfxStatErrBadHandle;
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  auto& param = set->params[name];
  if (param) return kOfxStatErrExists;
  param.reset(new OfxParamStruct);
  param->type = type;
  param->props.Set("OfxPropName", std::vector<std::string>{name});
  param->props.Set("OfxParamPropType", std::vector<std::string>{type});
  set->order.push_back(name);
  if (props) *props = &param->props;
  return kOfxStatOK;
}
OfxStatus ParamGetHandle(OfxParamSetHandle set, const char* name, OfxParamHandle* param,
                         OfxPropertySetHandle* props) {
  if (set == nullptr || name == nullptr || param == nullptr) return kOfxStatErrBadHandle;
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  auto found = set->params.find(name);
  if (found == set->params.end()) return kOfxStatErrUnknown;
  *param = found->second.get();
  if (props) *props = &found->second->props;
  return kOfxStatOK;
}
OfxStatus ParamSetGetPropertySet(OfxParamSetHandle, OfxPropertySetHandle*) { return kOfxStatErrUnsupported; }
OfxStatus ParamGetPropertySet(OfxParamHandle param, OfxPropertySetHandle* props) {
  if (param == nullptr || props == nullptr) return kOfxStatErrBadHandle;
  *props = &param->props;
  return kOfxStatOK;
}
// Writes the value through the pointer the type takes.
OfxStatus WriteValue(OfxParamHandle param, va_list args) {
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  if (param->type == kOfxParamTypeDouble) {
    *va_arg(args, double*) = param->value;
  } else if (param->type == kOfxParamTypeChoice) {
    *va_arg(args, int*) = int(param->value);
  } else {
    return kOfxStatErrUnsupported;
  }
  return kOfxStatOK;
}
OfxStatus ParamGetValue(OfxParamHandle param, ...) {
  if (param == nullptr) return kOfxStatErrBadHandle;
  va_list args;
  va_start(args, param);
  const OfxStatus status = WriteValue(param, args);
  va_end(args);
  return status;
}
OfxStatus ParamGetValueAtTime(OfxParamHandle param, OfxTime time, ...) {
  if (param == nullptr) return kOfxStatErrBadHandle;
  va_list args;
  va_start(args, time);
  const OfxStatus status = WriteValue(param, args);
  va_end(args);
  return status;
}

const OfxParameterSuiteV1 kParameterSuite = {
    ParamDefine, ParamGetHandle, ParamSetGetPropertySet, ParamGetPropertySet, ParamGetValue,
    ParamGetValueAtTime, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr};

// ---- Message suite ----
OfxStatus Message(void*, const char* type, const char*, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format ? format : "", args);
  va_end(args);
  std::lock_guard<std::mutex> lock(g_messagesMutex);
  g_messages.push_back(std::string(type ? type : "") + ": " + text);
  return kOfxStatOK;
}
const OfxMessageSuiteV1 kMessageSuite = {Message};

const void* FetchSuite(OfxPropertySetHandle, const char* name, int version) {
  const std::string suite = name ? name : "";
  if (version != 1) return nullptr;
  {
    std::lock_guard<std::mutex> lock(g_suiteMutex);
    if (std::find(g_withheld.begin(), g_withheld.end(), suite) != g_withheld.end()) return nullptr;
  }
  if (suite == kOfxPropertySuite) return &kPropertySuite;
  if (suite == kOfxImageEffectSuite) return &kImageEffectSuite;
  if (suite == kOfxParameterSuite) return &kParameterSuite;
  if (suite == kOfxMessageSuite) return &kMessageSuite;
  return nullptr;
}

void* OpenLibrary(const std::string& path) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}
void* FindSymbol(void* library, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}
void CloseLibrary(void* library) {
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(library));
#else
  dlclose(library);
#endif
}

}  // namespace

HostImage::HostImage(const Layout& layout) : layout_(layout) {
  const int pixelBytes = layout.sampleBytes * layout.components;
  const int stride = layout.width * pixelBytes + layout.rowPadding;
  storage_.assign(size_t(stride) * layout.height + 16, 0);
  uint8_t* base = storage_.data() + 16 - reinterpret_cast<uintptr_t>(storage_.data()) % 16;
  rowBytes_ = layout.topDown ? -stride : stride;
  bottomRow_ = layout.topDown ? base + size_t(stride) * (layout.height - 1) : base;
  static const char* const kDepths[] = {"", "OfxBitDepthByte", "OfxBitDepthShort", "",
                                        "OfxBitDepthFloat"};
  props.Set("OfxImagePropData", static_cast<void*>(bottomRow_));
  props.Set("OfxImagePropBounds", std::vector<int>{layout.x1, layout.y1, layout.x1 + layout.width,
                                                   layout.y1 + layout.height});
  props.Set("OfxImagePropRegionOfDefinition", props.properties["OfxImagePropBounds"].ints);
  props.Set("OfxImagePropRowBytes", std::vector<int>{rowBytes_});
  props.Set("OfxImageEffectPropPixelDepth", std::vector<std::string>{kDepths[layout.sampleBytes]});
  props.Set("OfxImageEffectPropComponents",
            std::vector<std::string>{layout.components == 4 ? "OfxImageComponentRGBA"
                                                            : "OfxImageComponentRGB"});
  props.Set("OfxImageEffectPropPreMultiplication",
            std::vector<std::string>{layout.premultiplied ? "OfxImageAlphaPremultiplied"
                                                          : "OfxImageAlphaUnPremultiplied"});
  props.Set("OfxImagePropPixelAspectRatio", std::vector<double>{1.0});
  props.Set("OfxImagePropField", std::vector<std::string>{"OfxFieldNone"});
}

uint8_t* HostImage::Pixel(int x, int y) {
  return bottomRow_ + std::ptrdiff_t(y) * rowBytes_ +
         size_t(x) * layout_.sampleBytes * layout_.components;
}
const uint8_t* HostImage::Pixel(int x, int y) const { return const_cast<HostImage*>(this)->Pixel(x, y); }

std::vector<uint8_t> HostImage::Packed() const {
  const size_t rowBytes = size_t(layout_.width) * layout_.sampleBytes * layout_.components;
  std::vector<uint8_t> packed;
  for (int row = 0; row < layout_.height; ++row) {
    const uint8_t* p = Pixel(0, layout_.height - 1 - row);
    packed.insert(packed.end(), p, p + rowBytes);
  }
  return packed;
}

void HostImage::SetPacked(const std::vector<uint8_t>& packed) {
  const size_t rowBytes = size_t(layout_.width) * layout_.sampleBytes * layout_.components;
  for (int row = 0; row < layout_.height && (row + 1) * rowBytes <= packed.size(); ++row)
    std::memcpy(Pixel(0, layout_.height - 1 - row), packed.data() + row * rowBytes, rowBytes);
}

TestHost::TestHost(const std::string& binaryPath) {
  hostProps_.Set("OfxPropName", std::vector<std::string>{"fxaa.test.host"});
  hostProps_.Set("OfxPropLabel", std::vector<std::string>{"FXAA test host"});
  hostProps_.Set("OfxPropAPIVersion", std::vector<int>{1, 4});
  hostProps_.Set("OfxImageEffectPropSupportsMultiResolution", std::vector<int>{1});
  hostProps_.Set("OfxImageEffectPropSupportsTiles", std::vector<int>{1});
  hostProps_.Set("OfxImageEffectPropSupportedContexts",
                 std::vector<std::string>{kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral});
  host_.host = &hostProps_;
  host_.fetchSuite = FetchSuite;
  std::lock_guard<std::mutex> lock(g_messagesMutex);
  g_messages.clear();
  library_ = OpenLibrary(binaryPath);
  if (library_ == nullptr) {
    error_ = "cannot load " + binaryPath;
    return;
  }
  using Count = int (*)();
  using Get = OfxPlugin* (*)(int);
  auto count = reinterpret_cast<Count>(FindSymbol(library_, "OfxGetNumberOfPlugins"));
  auto get = reinterpret_cast<Get>(FindSymbol(library_, "OfxGetPlugin"));
  if (!count || !get || count() < 1 || (plugin_ = get(0)) == nullptr) {
    error_ = binaryPath + " offers no OpenFX plug-in";
    return;
  }
  plugin_->setHost(&host_);
}

TestHost::~TestHost() {
  while (!instances_.empty()) DestroyInstance(instances_.back().get());
  Unload();
  if (library_) CloseLibrary(library_);
}

OfxStatus TestHost::Send(const char* action, const void* handle, OfxPropertySetStruct* in,
                         OfxPropertySetStruct* out) {
  return plugin_->mainEntry(action, handle, in, out);
}

void TestHost::Withhold(std::vector<std::string> suites) {
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  g_withheld = std::move(suites);
}

void TestHost::OnPropertyRead(const std::string& name, std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(g_suiteMutex);
  g_hookedProperty = name;
  g_propertyHook = std::move(hook);
}

OfxStatus TestHost::Unload() {
  if (!loaded_.exchange(false)) return kOfxStatOK;
  return Send(kOfxActionUnload, nullptr, nullptr, nullptr);
}

bool TestHost::Start() {
  if (plugin_ == nullptr) return false;
  if (std::string(plugin_->pluginApi) != kOfxImageEffectPluginApi || plugin_->apiVersion != 1) {
    error_ = "not an image effect of API version 1";
    return false;
  }
  OfxStatus status = Send(kOfxActionLoad, nullptr, nullptr, nullptr);
  loaded_ = status == kOfxStatOK;
  if (loaded_) status = Send(kOfxActionDescribe, &descriptor_, nullptr, nullptr);
  OfxPropertySetStruct in;
  in.Set("OfxImageEffectPropContext", std::vector<std::string>{kOfxImageEffectContextFilter});
  filter_.props = descriptor_.props;
  if (status == kOfxStatOK) status = Send(kOfxImageEffectActionDescribeInContext, &filter_, &in, nullptr);
  if (status != kOfxStatOK) error_ = "load or describe failed with status " + std::to_string(status);
  return status == kOfxStatOK;
}

OfxImageEffectStruct* TestHost::CreateInstance() {
  auto instance = std::make_unique<OfxImageEffectStruct>();
  instance->props = filter_.props;
  instance->props.Set("OfxPropType", std::vector<std::string>{"OfxTypeImageEffectInstance"});
  instance->props.Set("OfxImageEffectPropContext", std::vector<std::string>{kOfxImageEffectContextFilter});
  instance->props.Set("OfxImageEffectPropFrameRate", std::vector<double>{25});
  for (const auto& clip : filter_.clips) {
    auto copy = std::make_unique<OfxImageClipStruct>();
    copy->effect = instance.get();
    copy->name = clip.first;
    copy->props = clip.second->props;
    copy->props.Set("OfxImageClipPropConnected", std::vector<int>{1});
    instance->clips[clip.first] = std::move(copy);
  }
  for (const std::string& name : filter_.params.order) {
    const OfxParamStruct& described = *filter_.params.params.at(name);
    auto param = std::make_unique<OfxParamStruct>(described);
    param->value = described.props.Count("OfxParamPropDefault") == 0 ? 0
                   : described.type == kOfxParamTypeChoice
                       ? described.props.Int("OfxParamPropDefault")
                       : described.props.Double("OfxParamPropDefault");
    instance->params.params[name] = std::move(param);
    instance->params.order.push_back(name);
  }
  if (Send(kOfxActionCreateInstance, instance.get(), nullptr, nullptr) != kOfxStatOK) return nullptr;
  instances_.push_back(std::move(instance));
  return instances_.back().get();
}

void TestHost::DestroyInstance(OfxImageEffectStruct* instance) {
  for (auto it = instances_.begin(); it != instances_.end(); ++it) {
    if (it->get() != instance) continue;
    Send(kOfxActionDestroyInstance, instance, nullptr, nullptr);
    instances_.erase(it);
    return;
  }
}

void TestHost::SetValue(OfxImageEffectStruct* instance, const std::string& name, double value) {
  instance->params.params.at(name)->value = value;
}

OfxStatus TestHost::Render(OfxImageEffectStruct* instance, double time, double renderScale,
                           HostImage* source, HostImage* output) {
  {
    std::lock_guard<std::mutex> lock(instance->framesMutex);
    instance->frames[time] = {source, output};
  }
  const Layout& l = output->layout();
  OfxPropertySetStruct in;
  in.Set("OfxPropTime", std::vector<double>{time});
  in.Set("OfxImageEffectPropFieldToRender", std::vector<std::string>{"OfxFieldNone"});
  in.Set("OfxImageEffectPropRenderWindow",
         std::vector<int>{l.x1, l.y1, l.x1 + l.width, l.y1 + l.height});
  in.Set("OfxImageEffectPropRenderScale", std::vector<double>{renderScale, renderScale});
  in.Set("OfxImageEffectPropSequentialRenderStatus", std::vector<int>{0});
  in.Set("OfxImageEffectPropInteractiveRenderStatus", std::vector<int>{0});
  const OfxStatus status = Send(kOfxImageEffectActionRender, instance, &in, nullptr);
  std::lock_guard<std::mutex> lock(instance->framesMutex);
  instance->frames.erase(time);
  return status;
}

OfxStatus TestHost::IsIdentity(OfxImageEffectStruct* instance, double time, std::string* clip) {
  OfxPropertySetStruct in, out;
  in.Set("OfxPropTime", std::vector<double>{time});
  in.Set("OfxImageEffectPropRenderScale", std::vector<double>{1, 1});
  out.Set("OfxPropName", std::vector<std::string>{""});
  out.Set("OfxPropTime", std::vector<double>{time});
  const OfxStatus status = Send(kOfxImageEffectActionIsIdentity, instance, &in, &out);
  *clip = status == kOfxStatOK ? out.String("OfxPropName") : "";
  return status;
}

OfxStatus TestHost::EndSequenceAndPurge(OfxImageEffectStruct* instance) {
  OfxPropertySetStruct in;
  in.Set("OfxImageEffectPropFrameRange", std::vector<double>{0, 0});
  in.Set("OfxImageEffectPropRenderScale", std::vector<double>{1, 1});
  const OfxStatus status = Send(kOfxImageEffectActionEndSequenceRender, instance, &in, nullptr);
  const OfxStatus purged = Send(kOfxActionPurgeCaches, instance, nullptr, nullptr);
  return status != kOfxStatOK ? status : purged;
}

std::vector<std::string> TestHost::messages() const {
  std::lock_guard<std::mutex> lock(g_messagesMutex);
  return g_messages;
}

int TestHost::heldImages() const { return g_heldImages.load(); }

}  // namespace ofxtest
