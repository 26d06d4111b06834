#include "embedding/worker_pool.h"

namespace fxaa_embedding {

WorkerPool::WorkerPool(PF_FilterProc entry, std::string name, int maxWorkers)
    : entry_(entry), name_(std::move(name)), maxWorkers_(maxWorkers > 0 ? maxWorkers : 1) {
  slots_.reserve(size_t(maxWorkers_));  // slots never move while a frame uses one
}

WorkerPool::~WorkerPool() = default;

host_runtime::Failure WorkerPool::Render(host_runtime::World* in, host_runtime::World* out,
                                    const host_runtime::FrameValues& values) {
  Slot* slot = nullptr;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    auto freeSlot = [this]() -> Slot* {
      for (Slot& s : slots_)
        if (!s.busy) return &s;
      return nullptr;
    };
    freed_.wait(lock, [&] { return freeSlot() != nullptr || int(slots_.size()) < maxWorkers_; });
    slot = freeSlot();
    if (slot == nullptr) {
      slots_.push_back(Slot{std::make_unique<RenderWorker>(entry_, name_), false});
      slot = &slots_.back();
    }
    slot->busy = true;
  }
  const host_runtime::Failure failure = slot->worker->Render(in, out, values);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot->busy = false;
  }
  freed_.notify_one();
  return failure;
}

int WorkerPool::workers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return int(slots_.size());
}

}  // namespace fxaa_embedding
