// The tests' host: a Host that records every call the plug-in makes into it, in order, and can
// make any of those calls fail on request. Both are layered on the host's observer, so the host
// the tool runs carries neither. Thread-safe, like the Host.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "host_runtime/host.h"

namespace host_runtime {
namespace testing {

// One call the plug-in made into the host, in the order they came.
struct Call {
  std::string name;    // e.g. "AcquireSuite", "add_param", "AEGP_SetDynamicStreamFlag"
  std::string detail;  // e.g. "PF Handle Suite 2", "index 10", "index 9 flag 2 undoable 0 set 1"
  PF_Err result = 0;   // what the host returned (0 for calls without a result)
  bool injected = false;  // the result came from FailCall
  std::string args;       // further arguments, not matched by FailCall ("time 0 step 1 scale 24")
};

// The names and details are those of Host's list (host.h).
class InstrumentedHost final : public Host, private CallObserver {
 public:
  explicit InstrumentedHost(PF_FilterProc entry);
  ~InstrumentedHost();

  // ---- Fault injection ----
  // Make call `name` fail: its `occurrence`-th matching call from now (1-based; 0 = every
  // matching call) returns `code`. A non-empty `detail` picks calls whose detail is that text,
  // alone or followed by more words ("index 9" picks "index 9 flag 2 ..." but not "index 90";
  // "AEGP Stream Suite 7"). For "AcquireSuite", `nullTable` makes it
  // return 0 with a null table instead of `code`. "host_new_handle" and "host_lock_handle" fail
  // by returning null (code unused). A failing dispose or check-in still releases the reference.
  void FailCall(const std::string& name, int occurrence, PF_Err code,
                const std::string& detail = "", bool nullTable = false);
  // The nth AcquireSuite from now, whatever the suite.
  void FailAcquisition(int occurrence, PF_Err code, bool nullTable = false) {
    FailCall("AcquireSuite", occurrence, code, "", nullTable);
  }
  void ClearFailures();
  int InjectedFailures() const;  // how many calls failed on request so far

  // ---- Call record ----
  std::vector<Call> Calls() const;
  // "name" or "name detail" of each call, optionally only those called `only`.
  std::vector<std::string> Names(const std::string& only = "") const;
  int Count(const std::string& name) const;
  int Count(const std::string& name, const std::string& detail) const;
  void ClearCalls();
  int BadCalls() const;  // calls refused as malformed (bad_call), cleared by nothing

 private:
  struct Failure {
    std::string name, detail;
    int occurrence;  // 0: every matching call
    int seen;
    PF_Err code;
    bool nullTable;
  };

  bool Replace(const CallInfo& call, PF_Err* result) override;  // fault_injection.cpp
  void Returned(const CallInfo& call, PF_Err result, bool replaced) override;  // call_record.cpp

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::vector<Failure> failures_;
  int injected_ = 0;
  int badCalls_ = 0;
};

}  // namespace testing
}  // namespace host_runtime
