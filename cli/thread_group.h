// Threads owned by one scope: each is joined when the group goes, on every way out of that
// scope, and a thread that cannot be started, whatever the starter threw, is a reported failure,
// never an exception: the caller must still close what the started threads wait on.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fxaa_cli {

class ThreadGroup {
 public:
  using Starter = std::function<std::thread(std::function<void()>)>;

  // `capacity`: how many threads at most, so that keeping one never needs memory. `start` makes
  // the threads (tests pass one that refuses).
  explicit ThreadGroup(size_t capacity, Starter start = StartThread)
      : start_(std::move(start)) {
    threads_.reserve(capacity);
  }
  ~ThreadGroup() {
    for (std::thread& thread : threads_) thread.join();
  }
  ThreadGroup(const ThreadGroup&) = delete;
  ThreadGroup& operator=(const ThreadGroup&) = delete;

  // Runs `work` on a new thread; false with *why set when none could be started or the group is
  // full.
  bool Start(std::function<void()> work, std::string* why) {
    if (threads_.size() == threads_.capacity()) {
      *why = "more threads than the group was made for";
      return false;
    }
    try {
      threads_.push_back(start_(std::move(work)));
      return true;
    } catch (const std::exception& e) {
      *why = e.what();
      return false;
    } catch (...) {
      *why = "the thread's start threw something that is not an exception";
      return false;
    }
  }

  static std::thread StartThread(std::function<void()> work) {
    return std::thread(std::move(work));
  }

 private:
  Starter start_;
  std::vector<std::thread> threads_;
};

}  // namespace fxaa_cli
