// Says each cause of a failed frame once: a host that renders thousands of frames gets one line
// per cause on standard error, not one per frame.
#pragma once

#include <mutex>
#include <set>
#include <utility>

#include "host_runtime/failure.h"

namespace fxaa_embedding {

class ReportOnce {
 public:
  // True the first time this kind and code are seen.
  bool First(const host_runtime::Failure& failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_.insert({int(failure.kind), failure.code}).second;
  }

 private:
  std::mutex mutex_;
  std::set<std::pair<int, PF_Err>> seen_;
};

}  // namespace fxaa_embedding
