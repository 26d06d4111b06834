// The per-thread record kept in a C++ thread_local, whose destructor runs on the thread as it
// ends.
#include "render/local_render_data_backend.h"
#include "render/thread_render_data.h"

namespace {

// Owns the calling thread's record; its destructor is the thread-exit clean-up.
struct RecordHolder {
  ThreadRenderData* record = nullptr;
  ~RecordHolder() {
    ThreadRenderData* last = record;
    record = nullptr;
    ReleaseThreadRenderData(last);
  }
};
thread_local RecordHolder t_holder;

}  // namespace

ThreadRenderData* LocalRenderData::get() const { return t_holder.record; }

bool StoreThreadRecord(ThreadRenderData* record) {
  t_holder.record = record;
  return true;
}
