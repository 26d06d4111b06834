// State of one Host shared by the host side's files: the references the plug-in holds, the
// function tables handed to it, and the observer. Every member that render threads may touch
// at once is guarded by `mutex`; nothing here grows with the number of frames rendered.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "host_runtime/host.h"

namespace host_runtime {

// The suites the host serves, by name and version; Impl::suitesHeld counts each one's holders.
struct ServedSuite {
  const char* name;
  int32_t version;
};
constexpr ServedSuite kServedSuites[] = {
    {"PF ANSI Suite", 1},         {"PF Handle Suite", 2},
    {"AEGP PF Interface Suite", 1}, {"AEGP Stream Suite", 7},
    {"AEGP Dynamic Stream Suite", 2}, {"AEGP Effect Suite", 2},
};
constexpr int kServedSuiteCount = sizeof(kServedSuites) / sizeof(kServedSuites[0]);

// What the stream and effect references the plug-in holds stand for; the Host frees any the
// plug-in did not dispose of when it ends.
struct StreamRef {
  PF_ParamIndex index;
};
struct EffectRef {
  Host::Impl* owner;
};

struct Host::Impl {
  // A host memory handle: the block sits between two guard zones.
  struct HandleBlock {
    size_t size;
    uint8_t* raw;  // kHandleGuard bytes, `size` bytes, kHandleGuard bytes
  };
  static constexpr size_t kHandleGuard = 16;
  static constexpr uint8_t kHandleGuardByte = 0xC3;

  mutable std::mutex mutex;
  std::atomic<CallObserver*> observer{nullptr};

  FrameValues values;  // what a command without values of its own is sent with
  std::vector<PF_ParamDef> declared;
  std::map<long, bool> hidden;  // parameter index -> hidden flag, as last set
  PF_RenderRequest lastLayerRequest{};
  bool nullBasic = false;
  uint8_t newHandleFill = 0;

  int suitesHeld[kServedSuiteCount] = {};  // references held, by kServedSuites order
  std::set<const void*> streams;            // live stream references (StreamRef)
  std::set<const void*> effects;            // live effect references (EffectRef)
  std::map<PF_Handle, HandleBlock> handles;
  std::set<void*> blocks;                   // basic-suite blocks
  int paramsOut = 0;

  SPBasicSuite basic{};
  PF_UtilCallbacks utils{};
  PF_InteractCallbacks inter{};
  PF_ANSICallbacksSuite1 ansiSuite{};
  PF_HandleSuite1 handleSuite{};
  AEGP_PFInterfaceSuite1 interfaceSuite{};
  AEGP_StreamSuite2 streamSuite{};
  AEGP_DynamicStreamSuite2 dynamicStreamSuite{};
  AEGP_EffectSuite2 effectSuite{};

  // Links of the process-wide list of live hosts (host_registry.cpp).
  Impl* newer = nullptr;
  Impl* older = nullptr;

  Impl();
  ~Impl();

  // Forgets `handle` and frees it with its block; false when this host made no such handle.
  bool ReleaseHandle(PF_Handle handle);
};

// What the command running on a thread hands out: its host and, for the smart-render commands,
// the layer and the worlds. Each command lives on the stack of the thread that sends it.
struct CommandState {
  Host::Impl* impl = nullptr;
  World* input = nullptr;
  World* output = nullptr;
  const FrameValues* values = nullptr;  // the frame's own values, when it has them
  int layerWidth = 0, layerHeight = 0;
  std::map<const PF_ParamDef*, int> paramsCheckedOut;  // slot -> index
};

// The command running on the calling thread, or null outside any command.
CommandState* CurrentCommand();
// Makes `state` the calling thread's command until the object goes, then restores the one
// before (commands do not nest in practice, but a callback may send one).
class ScopedCommand {
 public:
  explicit ScopedCommand(CommandState* state);
  ~ScopedCommand();
  ScopedCommand(const ScopedCommand&) = delete;
  ScopedCommand& operator=(const ScopedCommand&) = delete;

 private:
  CommandState* saved_;
};

// The host a callback belongs to: the one `effect_ref` names, or null (reported as a bad call
// to the current command's host) when it names none.
Host::Impl* HostOf(PF_ProgPtr effect_ref);
// The host of a suite function, which gets no effect_ref: the current command's, or null
// outside any command (with several hosts alive, any other guess could name the wrong one).
Host::Impl* CurrentHost();

// One call into the host as the observer sees it, formatted only when an observer is installed:
// construct it with the name and functions returning the detail and further arguments.
class ObservedCall {
 public:
  template <typename Detail, typename Args>
  ObservedCall(const Host::Impl* impl, const char* name, Detail detail, Args args)
      : observer_(impl ? impl->observer.load(std::memory_order_acquire) : nullptr), name_(name) {
    if (observer_ != nullptr) {
      detail_ = detail();
      args_ = args();
    }
  }
  template <typename Detail>
  ObservedCall(const Host::Impl* impl, const char* name, Detail detail)
      : ObservedCall(impl, name, detail, NoText) {}
  ObservedCall(const Host::Impl* impl, const char* name) : ObservedCall(impl, name, NoText) {}

  // Whether the observer makes this call fail; if so *result is what it returns.
  bool Replaced(PF_Err* result) {
    replaced_ = observer_ != nullptr && observer_->Replace(Info(), result);
    return replaced_;
  }
  // Replaces the detail once the call's work has made it (the text sprintf wrote).
  template <typename Detail>
  void Describe(Detail detail) {
    if (observer_ != nullptr) detail_ = detail();
  }
  // Tells the observer the call's result and returns it.
  PF_Err Return(PF_Err result) const {
    if (observer_ != nullptr) observer_->Returned(Info(), result, replaced_);
    return result;
  }

 private:
  static std::string NoText() { return std::string(); }
  CallInfo Info() const { return CallInfo{name_, detail_, args_}; }

  CallObserver* observer_;
  const char* name_;
  std::string detail_, args_;
  bool replaced_ = false;
};

// Reports a malformed call the host refused and returns PF_Err_BAD_CALLBACK_PARAM. `what` is a
// function returning the text, or the text itself.
template <typename What>
PF_Err Bad(const Host::Impl* impl, What what) {
  return ObservedCall(impl, "bad_call", what).Return(PF_Err_BAD_CALLBACK_PARAM);
}
PF_Err Bad(const Host::Impl* impl, const char* what);

// Called in a catch block: tells the observer of the current command's host what the callback
// threw, as a call named "exception" with its text ("out of memory" for std::bad_alloc). True
// when it was std::bad_alloc. Never throws.
bool ReportThrown() noexcept;

// What a callback that threw returns: for an error code, out of memory or a damaged host state;
// null for a pointer; nothing, or zero, for the rest.
template <typename Result>
Result ThrownResult(bool outOfMemory) {
  if constexpr (std::is_same<Result, A_long>::value)
    return outOfMemory ? PF_Err_OUT_OF_MEMORY : PF_Err_INTERNAL_STRUCT_DAMAGED;
  else if constexpr (!std::is_void<Result>::value)
    return Result();
}

// The one exception boundary of a callback: nothing thrown unwinds into the plug-in, which is C
// to the host. Every function in the tables handed to the plug-in is Guarded<Function>, except
// those whose result is no error code (IsEqual, sprintf, strcpy), which guard themselves.
template <auto Function>
struct Boundary;
template <typename Result, typename... Args, Result (*Function)(Args...)>
struct Boundary<Function> {
  static Result Call(Args... args) noexcept {
    try {
      return Function(args...);
    } catch (...) {
      return ThrownResult<Result>(ReportThrown());
    }
  }
};
template <auto Function>
constexpr auto Guarded = &Boundary<Function>::Call;

// Fill in the function tables of `impl` (suites.cpp, callbacks.cpp).
void InstallSuites(Host::Impl& impl);
void InstallCallbacks(Host::Impl& impl);

std::string IndexDetail(long index);

}  // namespace host_runtime
