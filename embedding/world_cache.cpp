#include "embedding/world_cache.h"

namespace fxaa_embedding {

std::unique_ptr<host_runtime::World> WorldCache::Take(int width, int height, int bitDepth) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
      const host_runtime::World& w = **it;
      if (w.width() != width || w.height() != height || w.bitDepth() != bitDepth) continue;
      std::unique_ptr<host_runtime::World> world = std::move(*it);
      kept_.erase(it);
      return world;
    }
  }
  return std::make_unique<host_runtime::World>(width, height, bitDepth);
}

void WorldCache::Give(std::unique_ptr<host_runtime::World> world) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (world && kept_.size() < maxKept_) kept_.push_back(std::move(world));
}

void WorldCache::Clear() {
  std::vector<std::unique_ptr<host_runtime::World>> dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  dropped.swap(kept_);
}

}  // namespace fxaa_embedding
