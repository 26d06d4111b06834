#include "host/host_suites.h"

const HostSuites::Entry HostSuites::kTable[HostSuites::kSuiteCount] = {
#define FXAA_SUITE_ENTRY(accessor, name, version, type) {name, version},
    FXAA_SUITE_TABLE(FXAA_SUITE_ENTRY)
#undef FXAA_SUITE_ENTRY
};

HostSuites::HostSuites(const SPBasicSuite* basic) : basic_(basic) {
  if (basic_ == nullptr) throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
}

HostSuites::~HostSuites() {
  for (size_t i = 0; i < kSuiteCount; ++i) {
    if (slots_[i] != nullptr) basic_->ReleaseSuite(kTable[i].name, kTable[i].version);
  }
}

const void* HostSuites::Get(Index index) {
  if (slots_[index] == nullptr) {
    const void* suite = nullptr;
    SPErr err = basic_->AcquireSuite(kTable[index].name, kTable[index].version, &suite);
    if (err != 0 || suite == nullptr) throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
    slots_[index] = suite;
  }
  return slots_[index];
}
