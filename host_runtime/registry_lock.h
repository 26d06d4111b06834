// The lock of process-wide state: the lists of live hosts and worlds, and the embeddings' few
// module-wide pointers and flags. It is constant-initialised and its destructor is trivial, so
// what it guards leaves nothing to run when the process exits or the module that embeds the host
// side is unloaded. It spins, so it is held only for a few pointer steps, never across a call
// into the effect or a host: whatever takes longer is done before it is taken.
#pragma once

#include <atomic>
#include <thread>

namespace host_runtime {

class RegistryLock {
 public:
  constexpr RegistryLock() = default;
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;

  void lock() {
    while (locked_.exchange(true, std::memory_order_acquire)) std::this_thread::yield();
  }
  void unlock() { locked_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> locked_{false};
};

}  // namespace host_runtime
