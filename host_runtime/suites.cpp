// The basic suite and the six named suites, with the memory handles behind the Handle Suite.
// Suite functions get no effect_ref: they belong to the host of the command on this thread.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <utility>

#include "host_runtime/host_state.h"

namespace host_runtime {
namespace {

using Impl = Host::Impl;


// A suite's name and version as the observer sees them: "PF Handle Suite 2".
std::string SuiteKey(const char* name, int32_t version) {
  return std::string(name) + " " + std::to_string(version);
}

// The place of a served suite in kServedSuites, or -1.
int ServedSuiteIndex(const char* name, int32_t version) {
  for (int i = 0; i < kServedSuiteCount; ++i)
    if (kServedSuites[i].version == version && std::strcmp(kServedSuites[i].name, name) == 0)
      return i;
  return -1;
}

// The function table of served suite `i`, in kServedSuites order.
const void* SuiteTable(const Impl* impl, int i) {
  const void* const tables[kServedSuiteCount] = {
      &impl->ansiSuite,   &impl->handleSuite,        &impl->interfaceSuite,
      &impl->streamSuite, &impl->dynamicStreamSuite, &impl->effectSuite,
  };
  return tables[i];
}

// ---- Basic suite ----
SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return kSuiteNotFoundError;
  if (name == nullptr || suite == nullptr) {
    if (suite) *suite = nullptr;
    return Bad(impl, "AcquireSuite with a null name or out pointer");
  }
  *suite = nullptr;
  ObservedCall call(impl, "AcquireSuite", [&] { return SuiteKey(name, version); });
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  const int served = ServedSuiteIndex(name, version);
  if (served < 0) return call.Return(kSuiteNotFoundError);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    ++impl->suitesHeld[served];
  }
  *suite = SuiteTable(impl, served);
  return call.Return(0);
}

SPErr ReleaseSuite(const char* name, int32_t version) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return kSuiteNotFoundError;
  if (name == nullptr) return Bad(impl, "ReleaseSuite with a null name");
  const int served = ServedSuiteIndex(name, version);
  bool held = false;
  if (served >= 0) {
    std::lock_guard<std::mutex> lock(impl->mutex);
    held = impl->suitesHeld[served] > 0;
    if (held) --impl->suitesHeld[served];
  }
  ObservedCall call(impl, "ReleaseSuite", [&] { return SuiteKey(name, version); });
  PF_Err code = 0;
  const bool replaced = call.Replaced(&code);
  call.Return(replaced ? code : 0);
  if (!held) {
    return Bad(impl,
               [&] { return "release of " + SuiteKey(name, version) + ", which is not held"; });
  }
  return replaced ? code : 0;
}

// Guards itself: its result is no error code.
SPBoolean IsEqual(const char* a, const char* b) {
  try {
    ObservedCall(CurrentHost(), "IsEqual").Return(0);
  } catch (...) {
    ReportThrown();
  }
  return a && b && std::strcmp(a, b) == 0;
}

// The detail of the calls that take a size: the size.
std::string SizeDetail(size_t size) { return std::to_string(size); }

// Memory from malloc, freed unless released: a block is the host's to free only once it is in
// the host's list.
struct FreeMemory {
  void operator()(void* memory) const { std::free(memory); }
};
using OwnedMemory = std::unique_ptr<void, FreeMemory>;

SPErr AllocateBlock(size_t size, void** block) {
  Impl* impl = CurrentHost();
  if (impl == nullptr || block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  *block = nullptr;
  ObservedCall call(impl, "AllocateBlock", [&] { return SizeDetail(size); });
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  OwnedMemory memory(std::malloc(size ? size : 1));
  if (memory == nullptr) return call.Return(PF_Err_OUT_OF_MEMORY);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->blocks.insert(memory.get());
  }
  *block = memory.release();
  return call.Return(0);
}

SPErr FreeBlock(void* block) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  bool known;
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    known = impl->blocks.erase(block) > 0;
  }
  ObservedCall(impl, "FreeBlock").Return(0);
  if (!known) return Bad(impl, "FreeBlock of an unknown block");
  std::free(block);
  return 0;
}

SPErr ReallocateBlock(void* block, size_t size, void** newBlock) {
  Impl* impl = CurrentHost();
  if (impl == nullptr || newBlock == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  ObservedCall call(impl, "ReallocateBlock", [&] { return SizeDetail(size); });
  // The block's entry leaves the list before realloc, while its address still names a block, and
  // goes back with the new address: the old one is never looked at once realloc has freed it.
  // A new block's entry is made before, so that nothing can fail once realloc has moved it.
  std::set<void*>::node_type node;
  if (block == nullptr) {
    std::set<void*> entry{nullptr};
    node = entry.extract(entry.begin());
  } else {
    std::lock_guard<std::mutex> lock(impl->mutex);
    node = impl->blocks.extract(block);
  }
  if (node.empty()) return Bad(impl, "ReallocateBlock of an unknown block");
  void* grown = std::realloc(block, size ? size : 1);
  if (grown != nullptr) node.value() = grown;
  if (grown != nullptr || block != nullptr) {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->blocks.insert(std::move(node));
  }
  if (grown == nullptr) return call.Return(PF_Err_OUT_OF_MEMORY);
  *newBlock = grown;
  return call.Return(0);
}

SPErr Undefined() {
  if (Impl* impl = CurrentHost()) return Bad(impl, "Undefined basic-suite function");
  return PF_Err_INVALID_CALLBACK;
}

// ---- ANSI: these two guard themselves, their results being no error codes ----
// Writes as sprintf, stopping at the size of return_msg (the real one has no buffer size): the
// number of characters written, or -1.
int WriteMessage(A_char* buffer, const A_char* format, va_list args) {
  Impl* impl = CurrentHost();
  if (buffer == nullptr || format == nullptr) {
    if (impl) Bad(impl, "sprintf with a null buffer or format");
    return -1;
  }
  ObservedCall call(impl, "sprintf");
  PF_Err code = 0;
  if (call.Replaced(&code)) {
    call.Return(code);
    return -1;
  }
  const int written = std::vsnprintf(buffer, PF_MAX_EFFECT_MSG_LEN + 1, format, args);
  call.Describe([&] { return std::string(buffer); });
  call.Return(0);
  return written;
}

int AnsiSprintf(A_char* buffer, const A_char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = -1;
  try {
    written = WriteMessage(buffer, format, args);
  } catch (...) {
    ReportThrown();
  }
  va_end(args);
  return written;
}

// Copies like strcpy; it has no way to fail, whatever its observer does.
A_char* AnsiStrcpy(A_char* dest, const A_char* src) {
  try {
    Impl* impl = CurrentHost();
    if (dest == nullptr || src == nullptr) {
      if (impl) Bad(impl, "strcpy with a null argument");
    } else {
      ObservedCall(impl, "strcpy", [&] { return std::string(src); }).Return(0);
    }
  } catch (...) {
    ReportThrown();
  }
  return dest != nullptr && src != nullptr ? std::strcpy(dest, src) : dest;
}

// ---- Handles: a handle points at the block's address, so *handle is the block ----
// A block of `size` bytes of `fill` between two guard zones, or null.
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
  ObservedCall call(impl, "host_new_handle", [&] { return SizeDetail(size); });
  PF_Err code = 0;
  if (call.Replaced(&code)) {
    call.Return(PF_Err_OUT_OF_MEMORY);
    return nullptr;
  }
  uint8_t fill;
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    fill = impl->newHandleFill;
  }
  OwnedMemory raw(NewRawBlock(size, fill));
  if (raw == nullptr) {
    call.Return(PF_Err_OUT_OF_MEMORY);
    return nullptr;
  }
  std::unique_ptr<void*> handle(new void*(static_cast<uint8_t*>(raw.get()) + Impl::kHandleGuard));
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->handles[handle.get()] = {size_t(size), static_cast<uint8_t*>(raw.get())};
  }
  raw.release();
  call.Return(0);
  return handle.release();
}

// Whether `handle` is one of the host's live handles.
bool KnownHandle(Impl* impl, PF_Handle handle) {
  std::lock_guard<std::mutex> lock(impl->mutex);
  return impl->handles.count(handle) > 0;
}

void* LockHandle(PF_Handle handle) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return nullptr;
  ObservedCall call(impl, "host_lock_handle");
  PF_Err code = 0;
  if (call.Replaced(&code)) {
    call.Return(PF_Err_BAD_CALLBACK_PARAM);
    return nullptr;
  }
  call.Return(0);
  if (!KnownHandle(impl, handle)) {
    Bad(impl, "host_lock_handle of an unknown handle");
    return nullptr;
  }
  return *handle;
}

void UnlockHandle(PF_Handle handle) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return;
  ObservedCall(impl, "host_unlock_handle").Return(0);
  if (!KnownHandle(impl, handle)) Bad(impl, "host_unlock_handle of an unknown handle");
}

void DisposeHandle(PF_Handle handle) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return;
  ObservedCall(impl, "host_dispose_handle").Return(0);
  if (handle != nullptr && !impl->ReleaseHandle(handle))
    Bad(impl, "host_dispose_handle of an unknown handle");
}

A_HandleSize HandleSize(PF_Handle handle) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return 0;
  ObservedCall(impl, "host_get_handle_size").Return(0);
  std::unique_lock<std::mutex> lock(impl->mutex);
  auto found = impl->handles.find(handle);
  if (found != impl->handles.end()) return found->second.size;
  lock.unlock();
  Bad(impl, "host_get_handle_size of an unknown handle");
  return 0;
}

PF_Err ResizeHandle(A_HandleSize size, PF_Handle* handleP) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  ObservedCall call(impl, "host_resize_handle", [&] { return SizeDetail(size); });
  if (handleP == nullptr || !KnownHandle(impl, *handleP)) {
    call.Return(PF_Err_BAD_CALLBACK_PARAM);
    return Bad(impl, "host_resize_handle of an unknown handle");
  }
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  uint8_t* raw = NewRawBlock(size);
  if (raw == nullptr) return call.Return(PF_Err_OUT_OF_MEMORY);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    Impl::HandleBlock& block = impl->handles[*handleP];
    std::memcpy(raw + Impl::kHandleGuard, block.raw + Impl::kHandleGuard,
                block.size < size ? block.size : size_t(size));
    std::free(block.raw);
    block = {size_t(size), raw};
    **handleP = raw + Impl::kHandleGuard;
  }
  return call.Return(0);
}

// ---- AEGP suites ----
// Runs an AEGP call the observer may fail: `body` runs only when it does not.
template <typename Detail, typename Body>
A_Err AegpCall(Impl* impl, const char* name, Detail detail, Body body) {
  ObservedCall call(impl, name, detail);
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  return call.Return(body());
}

// The detail of a call without one.
std::string NoDetail() { return std::string(); }

A_Err GetNewEffectForEffect(AEGP_PluginID pluginId, PF_ProgPtr effect_ref,
                            AEGP_EffectRefH* effect) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (effect == nullptr) return Bad(impl, "AEGP_GetNewEffectForEffect with a null out pointer");
  *effect = nullptr;
  Impl* owner = HostOf(effect_ref);
  if (owner == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  ObservedCall call(owner, "AEGP_GetNewEffectForEffect", NoDetail,
                    [&] { return "plugin " + std::to_string(pluginId); });
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  std::unique_ptr<EffectRef> ref(new EffectRef{owner});
  {
    std::lock_guard<std::mutex> lock(owner->mutex);
    owner->effects.insert(ref.get());
  }
  *effect = reinterpret_cast<AEGP_EffectRefH>(ref.release());
  return call.Return(0);
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
  if (stream == nullptr) return Bad(impl, "AEGP_GetNewEffectStreamByIndex with a null out pointer");
  *stream = nullptr;
  if (!LiveEffect(impl, effect, false))
    return Bad(impl, "AEGP_GetNewEffectStreamByIndex with an unknown effect");
  return AegpCall(
      impl, "AEGP_GetNewEffectStreamByIndex", [&] { return IndexDetail(index); }, [&]() -> A_Err {
        std::unique_ptr<StreamRef> ref(new StreamRef{index});
        std::lock_guard<std::mutex> lock(impl->mutex);
        impl->streams.insert(ref.get());
        *stream = reinterpret_cast<AEGP_StreamRefH>(ref.release());
        return 0;
      });
}

// The index of a live stream, or -1 (reported as a bad call) for anything else.
long StreamIndex(Impl* impl, AEGP_StreamRefH stream, const char* what) {
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    if (impl->streams.count(stream)) return reinterpret_cast<StreamRef*>(stream)->index;
  }
  Bad(impl, [&] { return std::string(what) + " of an unknown stream"; });
  return -1;
}

A_Err SetDynamicStreamFlag(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag, A_Boolean undoable,
                           A_Boolean set) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const long index = StreamIndex(impl, stream, "AEGP_SetDynamicStreamFlag");
  if (index < 0) return PF_Err_BAD_CALLBACK_PARAM;
  auto detail = [&] {
    return IndexDetail(index) + " flag " + std::to_string(flag) + " undoable " +
           std::to_string(undoable) + " set " + std::to_string(set);
  };
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
  return AegpCall(impl, "AEGP_DisposeStream", [&] { return IndexDetail(index); },
                  [] { return A_Err(0); });
}

A_Err DisposeEffect(AEGP_EffectRefH effect) {
  Impl* impl = CurrentHost();
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (!LiveEffect(impl, effect, true)) return Bad(impl, "AEGP_DisposeEffect of an unknown effect");
  delete reinterpret_cast<EffectRef*>(effect);
  return AegpCall(impl, "AEGP_DisposeEffect", NoDetail, [] { return A_Err(0); });
}

}  // namespace

void InstallSuites(Host::Impl& impl) {
  impl.basic = {Guarded<AcquireSuite>,    Guarded<ReleaseSuite>,    IsEqual,
                Guarded<AllocateBlock>,   Guarded<FreeBlock>,       Guarded<ReallocateBlock>,
                Guarded<Undefined>};
  impl.ansiSuite.sprintf = AnsiSprintf;
  impl.ansiSuite.strcpy = AnsiStrcpy;
  impl.handleSuite = {Guarded<NewHandle>,     Guarded<LockHandle>, Guarded<UnlockHandle>,
                      Guarded<DisposeHandle>, Guarded<HandleSize>, Guarded<ResizeHandle>};
  impl.interfaceSuite.AEGP_GetNewEffectForEffect = Guarded<GetNewEffectForEffect>;
  impl.streamSuite.AEGP_GetNewEffectStreamByIndex = Guarded<GetNewEffectStreamByIndex>;
  impl.streamSuite.AEGP_DisposeStream = Guarded<DisposeStream>;
  impl.dynamicStreamSuite.AEGP_SetDynamicStreamFlag = Guarded<SetDynamicStreamFlag>;
  impl.effectSuite.AEGP_DisposeEffect = Guarded<DisposeEffect>;

  // The utility callbacks share the ANSI and handle functions.
  impl.utils.ansi.sprintf = AnsiSprintf;
  impl.utils.ansi.strcpy = AnsiStrcpy;
  impl.utils.host_new_handle = impl.handleSuite.host_new_handle;
  impl.utils.host_lock_handle = impl.handleSuite.host_lock_handle;
  impl.utils.host_unlock_handle = impl.handleSuite.host_unlock_handle;
  impl.utils.host_dispose_handle = impl.handleSuite.host_dispose_handle;
  impl.utils.host_get_handle_size = impl.handleSuite.host_get_handle_size;
  impl.utils.host_resize_handle = impl.handleSuite.host_resize_handle;
}

}  // namespace host_runtime
