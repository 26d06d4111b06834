// Says each kind of frame failure once: a host that renders thousands of frames gets one line on
// standard error per kind of failure and plug-in code, not one per frame. The cause's text is not
// part of the key, since it may name the frame.
#pragma once

#include <mutex>
#include <set>
#include <utility>

#include "host_runtime/failure.h"

namespace fxaa_embedding {

class ReportOnce {
 public:
  // True the first time a failure of this kind and plug-in code is seen.
  bool FirstOfItsKind(const host_runtime::Failure& failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_.insert({int(failure.kind), failure.code}).second;
  }

 private:
  std::mutex mutex_;
  std::set<std::pair<int, PF_Err>> seen_;
};

}  // namespace fxaa_embedding
