// The call record and fault injection of a Host, and how a callback finds its Host: through the
// effect_ref it is given, or through the command running on the calling thread.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "hostsim/host_state.h"

namespace hostsim {
namespace {

// Every live Host, oldest first, so an effect_ref can be checked before it is trusted.
std::mutex g_hostsMutex;
std::vector<Host::Impl*> g_hosts;

thread_local CommandState t_command;

// A failure's detail picks calls whose detail is that text, alone or followed by more words:
// "index 9" picks "index 9 flag 2 undoable 0 set 1" but not "index 90".
bool DetailMatches(const std::string& wanted, const std::string& detail) {
  if (wanted.empty() || detail == wanted) return true;
  return detail.size() > wanted.size() && detail.compare(0, wanted.size(), wanted) == 0 &&
         detail[wanted.size()] == ' ';
}

}  // namespace

Host::Impl::Impl() {
  InstallSuites(*this);
  InstallCallbacks(*this);
  std::lock_guard<std::mutex> lock(g_hostsMutex);
  g_hosts.push_back(this);
}

Host::Impl::~Impl() {
  {
    std::lock_guard<std::mutex> lock(g_hostsMutex);
    g_hosts.erase(std::remove(g_hosts.begin(), g_hosts.end(), this), g_hosts.end());
  }
  for (auto& handle : handles) {
    std::free(handle.second.raw);
    delete handle.first;
  }
  for (void* block : blocks) std::free(block);
}

bool Host::Impl::Inject(const std::string& name, const std::string& detail, PF_Err* code,
                        bool* nullTable) {
  std::lock_guard<std::mutex> lock(mutex);
  const Failure* fired = nullptr;
  for (Failure& f : failures) {
    if (f.name != name || !DetailMatches(f.detail, detail)) continue;
    ++f.seen;
    if (fired == nullptr && (f.occurrence == 0 || f.seen == f.occurrence)) fired = &f;
  }
  if (fired == nullptr) return false;
  ++injected;
  *code = fired->code;
  if (nullTable) *nullTable = fired->nullTable;
  return true;
}

void Host::Impl::Record(Call call) {
  std::lock_guard<std::mutex> lock(mutex);
  calls.push_back(std::move(call));
}

PF_Err Host::Impl::Finish(const std::string& name, const std::string& detail, PF_Err result,
                          bool injectedResult, const std::string& args) {
  Call call;
  call.name = name;
  call.detail = detail;
  call.result = result;
  call.injected = injectedResult;
  call.args = args;
  Record(std::move(call));
  return result;
}

PF_Err Host::Impl::Bad(const std::string& what) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    ++badCalls;
  }
  return Finish("bad_call", what, PF_Err_BAD_CALLBACK_PARAM, false);
}

CommandState& CurrentCommand() { return t_command; }

Host::Impl* HostOf(PF_ProgPtr effect_ref) {
  {
    std::lock_guard<std::mutex> lock(g_hostsMutex);
    for (Host::Impl* impl : g_hosts)
      if (reinterpret_cast<PF_ProgPtr>(impl) == effect_ref) return impl;
  }
  if (Host::Impl* current = CurrentHost()) current->Bad("unknown effect_ref");
  return nullptr;
}

Host::Impl* CurrentHost() {
  if (t_command.impl) return t_command.impl;
  std::lock_guard<std::mutex> lock(g_hostsMutex);
  return g_hosts.empty() ? nullptr : g_hosts.back();
}

std::string IndexDetail(long index) { return "index " + std::to_string(index); }

}  // namespace hostsim
