// Pixel worlds kept between the frames of a sequence, so that a host rendering frame after frame
// does not pay for fresh memory (the page faults and zeroing of tens of megabytes) with every
// frame. Bounded, and emptied when the host says the sequence is over, so at rest it holds
// nothing.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "host_runtime/host.h"

namespace fxaa_embedding {

class WorldCache {
 public:
  explicit WorldCache(size_t maxKept) : maxKept_(maxKept) {}

  // A world of this size and depth: a kept one (its pixels are whatever it held), or a new one.
  std::unique_ptr<host_runtime::World> Take(int width, int height, int bitDepth);
  // Keeps `world` for a later frame, unless enough are kept.
  void Give(std::unique_ptr<host_runtime::World> world);
  void Clear();

 private:
  const size_t maxKept_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<host_runtime::World>> kept_;
};

}  // namespace fxaa_embedding
