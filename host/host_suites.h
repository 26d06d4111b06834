// HostSuites: a per-command holder of host function suites. A suite is acquired by name and
// version on first use, cached for the rest of the command, and every acquired suite is
// released when the holder ends, in table order, also when an error unwinds through it.
#pragma once

#include <cstddef>

#include "host/host_api.h"
#include "host/host_suite_table.h"

class HostSuites {
 public:
  struct Entry {
    const char* name;
    int32_t version;
  };

  enum Index : size_t {
#define FXAA_SUITE_INDEX(accessor, name, version, type) k##accessor,
    FXAA_SUITE_TABLE(FXAA_SUITE_INDEX)
#undef FXAA_SUITE_INDEX
    kSuiteCount
  };

  static const Entry kTable[kSuiteCount];

  // Throws PF_Err_BAD_CALLBACK_PARAM (as a plain PF_Err) when basic is null.
  explicit HostSuites(const SPBasicSuite* basic);
  ~HostSuites();
  HostSuites(const HostSuites&) = delete;
  HostSuites& operator=(const HostSuites&) = delete;

  // The table of entry `index`, acquired on first use; throws PF_Err_BAD_CALLBACK_PARAM when
  // the host cannot provide it.
  const void* Get(Index index);

#define FXAA_SUITE_ACCESSOR(accessor, name, version, type) \
  const type* accessor() { return static_cast<const type*>(Get(k##accessor)); }
  FXAA_SUITE_TABLE(FXAA_SUITE_ACCESSOR)
#undef FXAA_SUITE_ACCESSOR

 private:
  const SPBasicSuite* basic_;
  const void* slots_[kSuiteCount] = {};
};

static_assert(HostSuites::kSuiteCount == 132, "the holder knows 132 suite entries");
