#include "embedding/worker_pool.h"

#include "embedding/freed_memory.h"

namespace fxaa_embedding {

WorkerPool::WorkerPool(PF_FilterProc entry, std::string name, int maxWorkers)
    : entry_(entry), name_(std::move(name)), maxWorkers_(maxWorkers > 0 ? maxWorkers : 1) {
  slots_.reserve(size_t(maxWorkers_));  // slots never move while a frame uses one
}

WorkerPool::~WorkerPool() = default;

WorkerPool::Frame WorkerPool::Take() {
  std::unique_lock<std::mutex> lock(mutex_);
  auto freeSlot = [this]() -> Slot* {
    for (Slot& s : slots_)
      if (!s.busy) return &s;
    return nullptr;
  };
  freed_.wait(lock, [&] { return freeSlot() != nullptr || int(slots_.size()) < maxWorkers_; });
  Slot* slot = freeSlot();
  if (slot == nullptr) {
    slots_.push_back(Slot{std::make_unique<RenderWorker>(entry_, name_), nullptr, nullptr, false});
    slot = &slots_.back();
  }
  slot->busy = true;
  return Frame(this, slot);
}

void WorkerPool::Give(Slot* slot) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot->busy = false;
  }
  freed_.notify_one();
}

void WorkerPool::Release() {
  std::vector<std::unique_ptr<host_runtime::World>> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Slot& slot : slots_) {
      if (slot.busy) continue;  // its frame still renders: kept until the next release
      dropped.push_back(std::move(slot.input));
      dropped.push_back(std::move(slot.output));
    }
  }
  dropped.clear();
  HandBackFreedMemory();
}

int WorkerPool::workers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return int(slots_.size());
}

WorkerPool::Frame::Frame(Frame&& other) noexcept : pool_(other.pool_), slot_(other.slot_) {
  other.pool_ = nullptr;
  other.slot_ = nullptr;
}

WorkerPool::Frame::~Frame() {
  if (pool_ != nullptr) pool_->Give(slot_);
}

void WorkerPool::Frame::Size(int width, int height, int bitDepth) {
  for (std::unique_ptr<host_runtime::World>* world : {&slot_->input, &slot_->output}) {
    const host_runtime::World* w = world->get();
    if (w && w->width() == width && w->height() == height && w->bitDepth() == bitDepth) continue;
    world->reset();  // the old one's memory first: at most one frame's worth at a time
    *world = std::make_unique<host_runtime::World>(width, height, bitDepth);
  }
}

host_runtime::World& WorkerPool::Frame::input() { return *slot_->input; }
host_runtime::World& WorkerPool::Frame::output() { return *slot_->output; }

host_runtime::Failure WorkerPool::Frame::Render(const host_runtime::FrameValues& values) {
  return slot_->worker->Render(slot_->input.get(), slot_->output.get(), values);
}

}  // namespace fxaa_embedding
