// The per-thread record kept in fiber-local storage, whose callback Windows runs on each thread
// as it ends. C++ thread_local destructors cannot do this here: mingw-w64's runtime runs them
// after it has already freed the thread's thread_local storage, so the clean-up would read
// freed memory.
#include <windows.h>

#include <atomic>

#include "render/local_render_data_backend.h"
#include "render/thread_render_data.h"

namespace {

std::atomic<bool> g_unloading{false};

// Runs on an ending thread that holds a record, or on the unloading thread for every thread
// that still holds one.
void WINAPI OnThreadExit(void* value) {
  // While the library unloads, the records left belong to other threads (whose contexts and
  // windows can only be released on them) or to a process that is ending: they are left alone.
  if (g_unloading.load()) return;
  ReleaseThreadRenderData(static_cast<ThreadRenderData*>(value));
}

// The storage index, allocated when the library loads and freed when it unloads, so that no
// callback into an unloaded library can remain.
class FiberLocalIndex {
 public:
  FiberLocalIndex() : index_(FlsAlloc(OnThreadExit)) {}
  ~FiberLocalIndex() {
    if (index_ == FLS_OUT_OF_INDEXES) return;
    g_unloading.store(true);
    FlsFree(index_);
  }
  FiberLocalIndex(const FiberLocalIndex&) = delete;
  FiberLocalIndex& operator=(const FiberLocalIndex&) = delete;

  bool valid() const { return index_ != FLS_OUT_OF_INDEXES; }
  DWORD index() const { return index_; }

 private:
  DWORD index_;
};
FiberLocalIndex g_records;

}  // namespace

ThreadRenderData* LocalRenderData::get() const {
  if (!g_records.valid()) return nullptr;
  return static_cast<ThreadRenderData*>(FlsGetValue(g_records.index()));
}

bool StoreThreadRecord(ThreadRenderData* record) {
  return g_records.valid() && FlsSetValue(g_records.index(), record) != FALSE;
}
