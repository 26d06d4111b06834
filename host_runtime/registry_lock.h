// The lock of the process-wide lists of live hosts and worlds. It is constant-initialised and
// its destructor is trivial, so a list guarded by it leaves nothing to run when the process
// exits or the module that embeds the host side is unloaded. It is held only for a few pointer
// steps, and taken only when a host or world comes or goes, or a callback names a host other
// than the current command's.
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
