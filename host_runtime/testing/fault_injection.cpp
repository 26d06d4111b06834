// The tests' host making chosen calls fail, through the observer's Replace.
#include <cstring>

#include "host_runtime/testing/instrumented_host.h"

namespace host_runtime {
namespace testing {
namespace {

// A failure's detail picks calls whose detail is that text, alone or followed by more words:
// "index 9" picks "index 9 flag 2 undoable 0 set 1" but not "index 90".
bool DetailMatches(const std::string& wanted, const std::string& detail) {
  if (wanted.empty() || detail == wanted) return true;
  return detail.size() > wanted.size() && detail.compare(0, wanted.size(), wanted) == 0 &&
         detail[wanted.size()] == ' ';
}

}  // namespace

void InstrumentedHost::FailCall(const std::string& name, int occurrence, PF_Err code,
                                const std::string& detail, bool nullTable) {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_.push_back({name, detail, occurrence, 0, code, nullTable});
}

void InstrumentedHost::ClearFailures() {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_.clear();
}

int InstrumentedHost::InjectedFailures() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return injected_;
}

// Every matching failure counts the call; the first one due fires. An acquisition replaced by
// 0 is the host's success with a null table.
bool InstrumentedHost::Replace(const CallInfo& call, PF_Err* result) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Failure* fired = nullptr;
  for (Failure& f : failures_) {
    if (f.name != call.name || !DetailMatches(f.detail, call.detail)) continue;
    ++f.seen;
    if (fired == nullptr && (f.occurrence == 0 || f.seen == f.occurrence)) fired = &f;
  }
  if (fired == nullptr) return false;
  ++injected_;
  *result = fired->nullTable && std::strcmp(call.name, "AcquireSuite") == 0 ? 0 : fired->code;
  return true;
}

}  // namespace testing
}  // namespace host_runtime
