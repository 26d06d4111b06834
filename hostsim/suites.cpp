// The basic suite and the six named suites, with the memory handles behind the Handle Suite.
// Suite functions get no effect_ref: they belong to the host of the command on this thread.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "hostsim/host_state.h"

namespace hostsim {
namespace {

using Impl = Host::Impl;

struct StreamRef {
  PF_ParamIndex index;
};
struct EffectRef {
  Impl* owner;
};

std::string SuiteKey(const char* name, int32_t version) {
  return std::string(name) + " " + std::to_string(version);
}

// ---- Basic suite ----
SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return kSuiteNotFoundError;
  if (name == nullptr || suite == nullptr) {
    if (suite) *suite = nullptr;
    return impl->Bad("AcquireSuite with a null name or out pointer");
  }
  *suite = nullptr;
  const std::string key = SuiteKey(name, version);
  PF_Err code = 0;
  bool nullTable = false;
  if (impl->Inject("AcquireSuite", key, &code, &nullTable))
    return impl->Finish("AcquireSuite", key, nullTable ? 0 : code, true);
  const std::pair<const char*, const void*> tables[] = {
      {"PF ANSI Suite 1", &impl->ansiSuite},
      {"PF Handle Suite 2", &impl->handleSuite},
      {"AEGP PF Interface Suite 1", &impl->interfaceSuite},
      {"AEGP Stream Suite 7", &impl->streamSuite},
      {"AEGP Dynamic Stream Suite 2", &impl->dynamicStreamSuite},
      {"AEGP Effect Suite 2", &impl->effectSuite},
  };
  const void* table = nullptr;
  for (const auto& t : tables)
    if (key == t.first) table = t.second;
  if (table == nullptr) return impl->Finish("AcquireSuite", key, kSuiteNotFoundError, false);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    ++impl->acquired[key];
  }
  *suite = table;
  return impl->Finish("AcquireSuite", key, 0, false);
}

SPErr ReleaseSuite(const char* name, int32_t version) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return kSuiteNotFoundError;
  if (name == nullptr) return impl->Bad("ReleaseSuite with a null name");
  const std::string key = SuiteKey(name, version);
  bool held;
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    auto found = impl->acquired.find(key);
    held = found != impl->acquired.end() && found->second > 0;
    if (held) --found->second;
  }
  PF_Err code = 0;
  const bool injected = impl->Inject("ReleaseSuite", key, &code);
  impl->Finish("ReleaseSuite", key, injected ? code : 0, injected);
  if (!held) return impl->Bad("release of " + key + ", which is not held");
  return injected ? code : 0;
}

SPBoolean IsEqual(const char* a, const char* b) {
  if (Impl* impl = CurrentHost()) impl->Finish("IsEqual", "", 0, false);
  return a && b && std::strcmp(a, b) == 0;
}

SPErr AllocateBlock(size_t size, void** block) {
  Impl* impl = CurrentHost();
  if (impl == nullptr || block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  *block = nullptr;
  PF_Err code = 0;
  if (impl->Inject("AllocateBlock", "", &code)) return impl->Finish("AllocateBlock", "", code, true);
  void* memory = std::malloc(size ? size : 1);
  if (memory == nullptr) return impl->Finish("AllocateBlock", "", PF_Err_OUT_OF_MEMORY, false);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->blocks.insert(memory);
  }
  *block = memory;
  return impl->Finish("AllocateBlock", std::to_string(size), 0, false);
}

SPErr FreeBlock(void* block) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  bool known;
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    known = impl->blocks.erase(block) > 0;
  }
  impl->Finish("FreeBlock", "", 0, false);
  if (!known) return impl->Bad("FreeBlock of an unknown block");
  std::free(block);
  return 0;
}

SPErr ReallocateBlock(void* block, size_t size, void** newBlock) {
  Impl* impl = CurrentHost();
  if (impl == nullptr || newBlock == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const std::string detail = std::to_string(size);
  bool known;
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    known = block == nullptr || impl->blocks.count(block) > 0;
  }
  if (!known) return impl->Bad("ReallocateBlock of an unknown block");
  void* grown = std::realloc(block, size ? size : 1);
  if (grown == nullptr) return impl->Finish("ReallocateBlock", detail, PF_Err_OUT_OF_MEMORY, false);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->blocks.erase(block);
    impl->blocks.insert(grown);
  }
  *newBlock = grown;
  return impl->Finish("ReallocateBlock", detail, 0, false);
}

SPErr Undefined() {
  if (Impl* impl = CurrentHost()) return impl->Bad("Undefined basic-suite function");
  return PF_Err_INVALID_CALLBACK;
}

// ---- ANSI ----
// The real sprintf has no buffer size; this one stops at the size of return_msg.
int AnsiSprintf(A_char* buffer, const A_char* format, ...) {
  Impl* impl = CurrentHost();
  if (buffer == nullptr || format == nullptr) {
    if (impl) impl->Bad("sprintf with a null buffer or format");
    return -1;
  }
  PF_Err code = 0;
  if (impl && impl->Inject("sprintf", "", &code)) {
    impl->Finish("sprintf", "", code, true);
    return -1;
  }
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(buffer, PF_MAX_EFFECT_MSG_LEN + 1, format, args);
  va_end(args);
  if (impl) impl->Finish("sprintf", buffer, 0, false);
  return written;
}

// Copies like strcpy; it has no way to fail.
A_char* AnsiStrcpy(A_char* dest, const A_char* src) {
  Impl* impl = CurrentHost();
  if (dest == nullptr || src == nullptr) {
    if (impl) impl->Bad("strcpy with a null argument");
    return dest;
  }
  if (impl) impl->Finish("strcpy", src, 0, false);
  return std::strcpy(dest, src);
}

// ---- Handles: a handle points at the block's address, so *handle is the block ----
uint8_t* NewRawBlock(size_t size, uint8_t fill = 0) {
  if (size > (size_t(1) << 40)) return nullptr;  // refuse absurd sizes instead of trying
  uint8_t* raw = static_cast<uint8_t*>(std::malloc(size + 2 * Impl::kHandleGuard));
  if (raw == nullptr) return nullptr;
  std::memset(raw, Impl::kHandleGuardByte, Impl::kHandleGuard);
  std::memset(raw + Impl::kHandleGuard, fill, size);
  std::memset(raw + Impl::kHandleGuard + size, Impl::kHandleGuardByte, Impl::kHandleGuard);
  return raw;
}

PF_Handle NewHandle(A_HandleSize size) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return nullptr;
  const std::string detail = std::to_string(size);
  PF_Err code = 0;
  if (impl->Inject("host_new_handle", "", &code)) {
    impl->Finish("host_new_handle", detail, PF_Err_OUT_OF_MEMORY, true);
    return nullptr;
  }
  uint8_t fill;
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    fill = impl->newHandleFill;
  }
  uint8_t* raw = NewRawBlock(size, fill);
  if (raw == nullptr) {
    impl->Finish("host_new_handle", detail, PF_Err_OUT_OF_MEMORY, false);
    return nullptr;
  }
  PF_Handle handle = new void*(raw + Impl::kHandleGuard);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->handles[handle] = {size_t(size), raw};
  }
  impl->Finish("host_new_handle", detail, 0, false);
  return handle;
}

bool KnownHandle(Impl* impl, PF_Handle handle) {
  std::lock_guard<std::mutex> lock(impl->mutex);
  return impl->handles.count(handle) > 0;
}

void* LockHandle(PF_Handle handle) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return nullptr;
  PF_Err code = 0;
  if (impl->Inject("host_lock_handle", "", &code)) {
    impl->Finish("host_lock_handle", "", PF_Err_BAD_CALLBACK_PARAM, true);
    return nullptr;
  }
  impl->Finish("host_lock_handle", "", 0, false);
  if (!KnownHandle(impl, handle)) {
    impl->Bad("host_lock_handle of an unknown handle");
    return nullptr;
  }
  return *handle;
}

void UnlockHandle(PF_Handle handle) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return;
  impl->Finish("host_unlock_handle", "", 0, false);
  if (!KnownHandle(impl, handle)) impl->Bad("host_unlock_handle of an unknown handle");
}

void DisposeHandle(PF_Handle handle) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return;
  impl->Finish("host_dispose_handle", "", 0, false);
  if (handle == nullptr) return;
  Impl::HandleBlock block{};
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    auto found = impl->handles.find(handle);
    if (found != impl->handles.end()) {
      block = found->second;
      impl->handles.erase(found);
    }
  }
  if (block.raw == nullptr) {
    impl->Bad("host_dispose_handle of an unknown handle");
    return;
  }
  std::free(block.raw);
  delete handle;
}

A_HandleSize HandleSize(PF_Handle handle) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return 0;
  impl->Finish("host_get_handle_size", "", 0, false);
  std::unique_lock<std::mutex> lock(impl->mutex);
  auto found = impl->handles.find(handle);
  if (found != impl->handles.end()) return found->second.size;
  lock.unlock();
  impl->Bad("host_get_handle_size of an unknown handle");
  return 0;
}

PF_Err ResizeHandle(A_HandleSize size, PF_Handle* handleP) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const std::string detail = std::to_string(size);
  if (handleP == nullptr || !KnownHandle(impl, *handleP)) {
    impl->Finish("host_resize_handle", detail, PF_Err_BAD_CALLBACK_PARAM, false);
    return impl->Bad("host_resize_handle of an unknown handle");
  }
  PF_Err code = 0;
  if (impl->Inject("host_resize_handle", "", &code))
    return impl->Finish("host_resize_handle", detail, code, true);
  uint8_t* raw = NewRawBlock(size);
  if (raw == nullptr) return impl->Finish("host_resize_handle", detail, PF_Err_OUT_OF_MEMORY, false);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    Impl::HandleBlock& block = impl->handles[*handleP];
    std::memcpy(raw + Impl::kHandleGuard, block.raw + Impl::kHandleGuard,
                block.size < size ? block.size : size_t(size));
    std::free(block.raw);
    block = {size_t(size), raw};
    **handleP = raw + Impl::kHandleGuard;
  }
  return impl->Finish("host_resize_handle", detail, 0, false);
}

// ---- AEGP suites ----
// Runs an AEGP call whose failure can be injected: `body` runs only when no failure was asked for.
template <typename Body>
A_Err AegpCall(Impl* impl, const char* name, const std::string& detail, Body body) {
  PF_Err code = 0;
  if (impl->Inject(name, detail, &code)) return impl->Finish(name, detail, code, true);
  return impl->Finish(name, detail, body(), false);
}

A_Err GetNewEffectForEffect(AEGP_PluginID pluginId, PF_ProgPtr effect_ref,
                            AEGP_EffectRefH* effect) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (effect == nullptr) return impl->Bad("AEGP_GetNewEffectForEffect with a null out pointer");
  *effect = nullptr;
  Impl* owner = HostOf(effect_ref);
  if (owner == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const std::string args = "plugin " + std::to_string(pluginId);
  PF_Err code = 0;
  if (owner->Inject("AEGP_GetNewEffectForEffect", "", &code))
    return owner->Finish("AEGP_GetNewEffectForEffect", "", code, true, args);
  EffectRef* ref = new EffectRef{owner};
  {
    std::lock_guard<std::mutex> lock(owner->mutex);
    owner->effects.insert(ref);
  }
  *effect = reinterpret_cast<AEGP_EffectRefH>(ref);
  return owner->Finish("AEGP_GetNewEffectForEffect", "", 0, false, args);
}

// Whether `effect` is a live effect reference of this host; `release` also forgets it.
bool LiveEffect(Impl* impl, AEGP_EffectRefH effect, bool release) {
  std::lock_guard<std::mutex> lock(impl->mutex);
  return release ? impl->effects.erase(effect) > 0 : impl->effects.count(effect) > 0;
}

A_Err GetNewEffectStreamByIndex(AEGP_PluginID, AEGP_EffectRefH effect, PF_ParamIndex index,
                                AEGP_StreamRefH* stream) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (stream == nullptr) return impl->Bad("AEGP_GetNewEffectStreamByIndex with a null out pointer");
  *stream = nullptr;
  if (!LiveEffect(impl, effect, false))
    return impl->Bad("AEGP_GetNewEffectStreamByIndex with an unknown effect");
  return AegpCall(impl, "AEGP_GetNewEffectStreamByIndex", IndexDetail(index), [&]() -> A_Err {
    StreamRef* ref = new StreamRef{index};
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->streams.insert(ref);
    *stream = reinterpret_cast<AEGP_StreamRefH>(ref);
    return 0;
  });
}

// The index of a live stream, or -1 (recorded as a bad call) for anything else.
long StreamIndex(Impl* impl, AEGP_StreamRefH stream, const char* what) {
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    if (impl->streams.count(stream)) return reinterpret_cast<StreamRef*>(stream)->index;
  }
  impl->Bad(std::string(what) + " of an unknown stream");
  return -1;
}

A_Err SetDynamicStreamFlag(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag, A_Boolean undoable,
                           A_Boolean set) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const long index = StreamIndex(impl, stream, "AEGP_SetDynamicStreamFlag");
  if (index < 0) return PF_Err_BAD_CALLBACK_PARAM;
  const std::string detail = IndexDetail(index) + " flag " + std::to_string(flag) + " undoable " +
                             std::to_string(undoable) + " set " + std::to_string(set);
  return AegpCall(impl, "AEGP_SetDynamicStreamFlag", detail, [&] {
    if (flag == AEGP_DynStreamFlag_HIDDEN) {
      std::lock_guard<std::mutex> lock(impl->mutex);
      impl->hidden[index] = set != 0;
    }
    return A_Err(0);
  });
}

A_Err DisposeStream(AEGP_StreamRefH stream) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const long index = StreamIndex(impl, stream, "AEGP_DisposeStream");
  if (index < 0) return PF_Err_BAD_CALLBACK_PARAM;
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->streams.erase(stream);
  }
  delete reinterpret_cast<StreamRef*>(stream);
  return AegpCall(impl, "AEGP_DisposeStream", IndexDetail(index), [] { return A_Err(0); });
}

A_Err DisposeEffect(AEGP_EffectRefH effect) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (!LiveEffect(impl, effect, true)) return impl->Bad("AEGP_DisposeEffect of an unknown effect");
  delete reinterpret_cast<EffectRef*>(effect);
  return AegpCall(impl, "AEGP_DisposeEffect", "", [] { return A_Err(0); });
}

}  // namespace

void InstallSuites(Host::Impl& impl) {
  impl.basic = {AcquireSuite, ReleaseSuite, IsEqual,  AllocateBlock,
                FreeBlock,    ReallocateBlock, Undefined};
  impl.ansiSuite.sprintf = AnsiSprintf;
  impl.ansiSuite.strcpy = AnsiStrcpy;
  impl.handleSuite = {NewHandle, LockHandle, UnlockHandle, DisposeHandle, HandleSize, ResizeHandle};
  impl.interfaceSuite.AEGP_GetNewEffectForEffect = GetNewEffectForEffect;
  impl.streamSuite.AEGP_GetNewEffectStreamByIndex = GetNewEffectStreamByIndex;
  impl.streamSuite.AEGP_DisposeStream = DisposeStream;
  impl.dynamicStreamSuite.AEGP_SetDynamicStreamFlag = SetDynamicStreamFlag;
  impl.effectSuite.AEGP_DisposeEffect = DisposeEffect;

  // The utility callbacks share the ANSI and handle functions.
  impl.utils.ansi.sprintf = AnsiSprintf;
  impl.utils.ansi.strcpy = AnsiStrcpy;
  impl.utils.host_new_handle = NewHandle;
  impl.utils.host_lock_handle = LockHandle;
  impl.utils.host_unlock_handle = UnlockHandle;
  impl.utils.host_dispose_handle = DisposeHandle;
  impl.utils.host_get_handle_size = HandleSize;
  impl.utils.host_resize_handle = ResizeHandle;
}

}  // namespace hostsim
