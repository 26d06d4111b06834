// How a callback finds its Host: through the effect_ref it is given, checked against the list
// of live hosts, or through the command running on the calling thread.
#include <cstdlib>
#include <exception>
#include <new>

#include "host_runtime/host_state.h"
#include "host_runtime/registry_lock.h"

namespace host_runtime {
namespace {

// Every live Host, newest first, so an effect_ref can be checked before it is trusted.
RegistryLock g_hostsLock;
Host::Impl* g_newestHost = nullptr;

// The command running on this thread; a plain pointer, so a thread leaves nothing to destroy.
thread_local CommandState* t_command = nullptr;

// The live host whose effect_ref is `effect_ref`, or null.
Host::Impl* FindLiveHost(PF_ProgPtr effect_ref) {
  std::lock_guard<RegistryLock> lock(g_hostsLock);
  for (Host::Impl* impl = g_newestHost; impl != nullptr; impl = impl->older)
    if (reinterpret_cast<PF_ProgPtr>(impl) == effect_ref) return impl;
  return nullptr;
}

}  // namespace

Host::Impl::Impl() {
  InstallSuites(*this);
  InstallCallbacks(*this);
  std::lock_guard<RegistryLock> lock(g_hostsLock);
  older = g_newestHost;
  if (older != nullptr) older->newer = this;
  g_newestHost = this;
}

Host::Impl::~Impl() {
  {
    std::lock_guard<RegistryLock> lock(g_hostsLock);
    if (newer != nullptr) newer->older = older;
    else g_newestHost = older;
    if (older != nullptr) older->newer = newer;
    newer = older = nullptr;
  }
  while (!handles.empty()) ReleaseHandle(handles.begin()->first);
  for (void* block : blocks) std::free(block);
  for (const void* stream : streams) delete static_cast<const StreamRef*>(stream);
  for (const void* effect : effects) delete static_cast<const EffectRef*>(effect);
}

bool Host::Impl::ReleaseHandle(PF_Handle handle) {
  HandleBlock block{};
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = handles.find(handle);
    if (found == handles.end()) return false;
    block = found->second;
    handles.erase(found);
  }
  std::free(block.raw);
  delete handle;
  return true;
}

CommandState* CurrentCommand() { return t_command; }

ScopedCommand::ScopedCommand(CommandState* state) : saved_(t_command) { t_command = state; }
ScopedCommand::~ScopedCommand() { t_command = saved_; }

Host::Impl* HostOf(PF_ProgPtr effect_ref) {
  // The current command's host is the usual answer and needs no lock.
  if (t_command != nullptr && reinterpret_cast<PF_ProgPtr>(t_command->impl) == effect_ref)
    return t_command->impl;
  if (Host::Impl* impl = FindLiveHost(effect_ref)) return impl;
  if (Host::Impl* current = CurrentHost()) Bad(current, "unknown effect_ref");
  return nullptr;
}

Host::Impl* CurrentHost() { return t_command != nullptr ? t_command->impl : nullptr; }

PF_Err Bad(const Host::Impl* impl, const char* what) {
  return ObservedCall(impl, "bad_call", [what] { return std::string(what); })
      .Return(PF_Err_BAD_CALLBACK_PARAM);
}

bool ReportThrown() noexcept {
  bool outOfMemory = false;
  const char* what = "an exception of no known type";
  try {
    throw;
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
    what = "out of memory";
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  try {
    if (Host::Impl* impl = CurrentHost())
      ObservedCall(impl, "exception", [what] { return std::string(what); })
          .Return(PF_Err_INTERNAL_STRUCT_DAMAGED);
  } catch (...) {
    // No memory even to say it: the callback's result says enough.
  }
  return outOfMemory;
}

std::string IndexDetail(long index) { return "index " + std::to_string(index); }

}  // namespace host_runtime
