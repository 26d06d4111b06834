// The calls a host has made into an object that another of its threads may end: whoever ends it
// waits until none is left, so that a host that unloads the module or destroys an instance while
// a frame still renders never frees what that frame uses.
#pragma once

#include <condition_variable>
#include <mutex>

namespace fxaa_embedding {

class CallsInFlight {
 public:
  // Held for the length of one call.
  class Call {
   public:
    explicit Call(CallsInFlight& calls) : calls_(calls) {
      std::lock_guard<std::mutex> lock(calls_.mutex_);
      ++calls_.count_;
    }
    ~Call() {
      std::lock_guard<std::mutex> lock(calls_.mutex_);
      if (--calls_.count_ == 0) calls_.none_.notify_all();
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

   private:
    CallsInFlight& calls_;
  };

  // Returns once no call is inside; the caller sees to it that no new one starts.
  void WaitForNone() {
    std::unique_lock<std::mutex> lock(mutex_);
    none_.wait(lock, [this] { return count_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable none_;
  int count_ = 0;
};

}  // namespace fxaa_embedding
