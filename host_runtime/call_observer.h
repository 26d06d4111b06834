// The one hook of the host side: an observer that sees every call the plug-in makes into a
// Host, with its name and detail, and may make a call fail. The host side itself never needs
// one; the tests install theirs (host_runtime/testing/) to record calls and inject faults.
#pragma once

#include <string>

#include "host/host_api.h"

namespace host_runtime {

// One call the plug-in made into the host, as an observer sees it. The texts are formatted
// only while an observer is installed.
struct CallInfo {
  const char* name;           // e.g. "AcquireSuite", "add_param", "AEGP_SetDynamicStreamFlag"
  const std::string& detail;  // e.g. "PF Handle Suite 2", "index 9 flag 2 undoable 0 set 1"
  const std::string& args;    // further arguments, e.g. "time 0 step 1 scale 24"
};

// Called on whatever thread makes the call, several at once when frames render on several
// threads; it must not call back into the host.
class CallObserver {
 public:
  virtual ~CallObserver() = default;

  // Asked before a call that can fail does its work: returning true, with *result set, makes
  // the call return *result and do none of its work. An acquisition replaced by 0 succeeds
  // with a null table; the handle calls that return a pointer return null. A release (of a
  // suite, stream, effect, parameter or layer) is made whatever the result.
  virtual bool Replace(const CallInfo& call, PF_Err* result) = 0;

  // Told every call once it has its result; `replaced` when Replace chose that result.
  virtual void Returned(const CallInfo& call, PF_Err result, bool replaced) = 0;
};

}  // namespace host_runtime
