// The tests' host as it installs itself, and its record of the calls the plug-in made.
#include <utility>

#include "host_runtime/testing/instrumented_host.h"

namespace host_runtime {
namespace testing {

InstrumentedHost::InstrumentedHost(PF_FilterProc entry) : Host(entry) { SetObserver(this); }

// No command runs any more, so no call can reach the record while it goes.
InstrumentedHost::~InstrumentedHost() { SetObserver(nullptr); }

void InstrumentedHost::Returned(const CallInfo& call, PF_Err result, bool replaced) {
  Call recorded;
  recorded.name = call.name;
  recorded.detail = call.detail;
  recorded.result = result;
  recorded.injected = replaced;
  recorded.args = call.args;
  std::lock_guard<std::mutex> lock(mutex_);
  if (recorded.name == "bad_call") ++badCalls_;
  calls_.push_back(std::move(recorded));
}

std::vector<Call> InstrumentedHost::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<std::string> InstrumentedHost::Names(const std::string& only) const {
  std::vector<std::string> names;
  for (const Call& c : Calls())
    if (only.empty() || c.name == only)
      names.push_back(c.detail.empty() ? c.name : c.name + " " + c.detail);
  return names;
}

int InstrumentedHost::Count(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  int n = 0;
  for (const Call& c : calls_) n += c.name == name;
  return n;
}

int InstrumentedHost::Count(const std::string& name, const std::string& detail) const {
  std::lock_guard<std::mutex> lock(mutex_);
  int n = 0;
  for (const Call& c : calls_) n += c.name == name && c.detail == detail;
  return n;
}

void InstrumentedHost::ClearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

int InstrumentedHost::BadCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return badCalls_;
}

}  // namespace testing
}  // namespace host_runtime
