// Host-owned pixel worlds with padded rows and guard zones, and the list of live worlds through
// which the fill callback learns a world's bit depth.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "host_runtime/world.h"
#include "host_runtime/registry_lock.h"

namespace host_runtime {
namespace {

// Every live World, newest first: a plain list head, so nothing of it is left to run at exit.
RegistryLock g_worldsLock;
World* g_newestWorld = nullptr;

}  // namespace

World::World(int width, int height, int bitDepth, int rowPaddingBytes, size_t guardBytes)
    : bitDepth_(bitDepth), guard_(guardBytes) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  rowPaddingBytes = std::max(rowPaddingBytes, 0);
  const size_t used = size_t(width) * bytesPerPixel();
  const size_t rowbytes = used + size_t(rowPaddingBytes);
  storage_.assign(2 * guard_ + rowbytes * size_t(height), kGuardByte);
  world_.data = storage_.data() + guard_;
  world_.rowbytes = static_cast<A_long>(rowbytes);
  world_.width = width;
  world_.height = height;
  world_.world_flags = 2 | (bitDepth == 16 ? 1 : 0);  // writeable; deep for 16 bits
  world_.extent_hint = {0, 0, width, height};
  world_.pix_aspect_ratio = {1, 1};
  for (int y = 0; y < height; ++y) {
    std::memset(row(y), 0, used);
    std::memset(row(y) + used, kPaddingByte, size_t(rowPaddingBytes));
  }
  std::lock_guard<RegistryLock> lock(g_worldsLock);
  older_ = g_newestWorld;
  if (older_ != nullptr) older_->newer_ = this;
  g_newestWorld = this;
}

World::~World() {
  std::lock_guard<RegistryLock> lock(g_worldsLock);
  if (newer_ != nullptr) newer_->older_ = older_;
  else g_newestWorld = older_;
  if (older_ != nullptr) older_->newer_ = newer_;
  newer_ = older_ = nullptr;
}

const World* World::FindLive(const PF_EffectWorld* world) {
  for (const World* w = g_newestWorld; w != nullptr; w = w->older_)
    if (&w->world_ == world) return w;
  return nullptr;
}

int World::BitDepthOf(const PF_EffectWorld* world) {
  std::lock_guard<RegistryLock> lock(g_worldsLock);
  const World* found = FindLive(world);
  return found == nullptr ? 0 : found->bitDepth_;
}

bool World::IsLive(const PF_EffectWorld* world) {
  std::lock_guard<RegistryLock> lock(g_worldsLock);
  return FindLive(world) != nullptr;
}

float World::channel(int x, int y, int c) const {
  const uint8_t* p = row(y) + size_t(x) * bytesPerPixel();
  if (bitDepth_ == 32) {
    float value;
    std::memcpy(&value, p + 4 * c, sizeof(value));
    return value;
  }
  if (bitDepth_ == 16) {
    uint16_t value;
    std::memcpy(&value, p + 2 * c, sizeof(value));
    return value;
  }
  return p[c];
}

void World::setChannel(int x, int y, int c, float value) {
  uint8_t* p = row(y) + size_t(x) * bytesPerPixel();
  if (bitDepth_ == 32) {
    std::memcpy(p + 4 * c, &value, sizeof(value));
  } else if (bitDepth_ == 16) {
    const float clamped = std::isnan(value) ? 0.f : std::min(std::max(value, 0.f), 32768.f);
    const uint16_t word = static_cast<uint16_t>(clamped + 0.5f);
    std::memcpy(p + 2 * c, &word, sizeof(word));
  } else {
    const float clamped = std::isnan(value) ? 0.f : std::min(std::max(value, 0.f), 255.f);
    p[c] = static_cast<uint8_t>(clamped + 0.5f);
  }
}

void World::FillAll(float alpha, float red, float green, float blue) {
  const float values[4] = {alpha, red, green, blue};
  for (int y = 0; y < height(); ++y)
    for (int x = 0; x < width(); ++x)
      for (int c = 0; c < 4; ++c) setChannel(x, y, c, values[c]);
}

bool World::GuardsIntact() const {
  for (size_t i = 0; i < guard_; ++i) {
    if (storage_[i] != kGuardByte || storage_[storage_.size() - 1 - i] != kGuardByte) return false;
  }
  return true;
}

bool World::PaddingIntact() const {
  const size_t used = size_t(world_.width) * bytesPerPixel();
  for (int y = 0; y < world_.height; ++y) {
    const uint8_t* r = row(y);
    for (size_t i = used; i < size_t(world_.rowbytes); ++i)
      if (r[i] != kPaddingByte) return false;
  }
  return true;
}

bool World::AllZero() const {
  const size_t used = size_t(world_.width) * bytesPerPixel();
  for (int y = 0; y < world_.height; ++y) {
    const uint8_t* r = row(y);
    if (std::any_of(r, r + used, [](uint8_t b) { return b != 0; })) return false;
  }
  return true;
}

}  // namespace host_runtime
