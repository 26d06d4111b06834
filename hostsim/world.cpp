#include <cstring>

#include "hostsim/host_sim.h"

namespace hostsim {

World::World(int width, int height, int bitDepth, int rowPaddingBytes, size_t guardBytes)
    : bitDepth_(bitDepth), guard_(guardBytes) {
  const int pixelBytes = bytesPerPixel();
  const size_t rowbytes = size_t(width > 0 ? width : 0) * pixelBytes + rowPaddingBytes;
  const size_t rows = height > 0 ? height : 0;
  storage_.assign(2 * guard_ + rowbytes * rows, kGuardByte);
  world_.data = storage_.data() + guard_;
  world_.rowbytes = static_cast<A_long>(rowbytes);
  world_.width = width;
  world_.height = height;
  world_.extent_hint = {0, 0, width, height};
  world_.pix_aspect_ratio = {1, 1};
  for (size_t y = 0; y < rows; ++y) {
    uint8_t* r = row(int(y));
    std::memset(r, 0, size_t(width > 0 ? width : 0) * pixelBytes);
    std::memset(r + size_t(width > 0 ? width : 0) * pixelBytes, kPaddingByte, rowPaddingBytes);
  }
}

float World::channel(int x, int y, int c) const {
  const uint8_t* p = row(y) + size_t(x) * bytesPerPixel();
  if (bitDepth_ == 32) {
    float value;
    std::memcpy(&value, p + 4 * c, sizeof(value));
    return value;
  }
  return p[c];
}

void World::setChannel(int x, int y, int c, float value) {
  uint8_t* p = row(y) + size_t(x) * bytesPerPixel();
  if (bitDepth_ == 32)
    std::memcpy(p + 4 * c, &value, sizeof(value));
  else
    p[c] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value + 0.5f);
}

bool World::GuardsIntact() const {
  for (size_t i = 0; i < guard_; ++i) {
    if (storage_[i] != kGuardByte || storage_[storage_.size() - 1 - i] != kGuardByte) return false;
  }
  return true;
}

bool World::PaddingIntact() const {
  const size_t used = size_t(world_.width > 0 ? world_.width : 0) * bytesPerPixel();
  for (int y = 0; y < world_.height; ++y) {
    const uint8_t* r = row(y);
    for (size_t i = used; i < size_t(world_.rowbytes); ++i)
      if (r[i] != kPaddingByte) return false;
  }
  return true;
}

bool World::AllZero() const {
  const size_t used = size_t(world_.width > 0 ? world_.width : 0) * bytesPerPixel();
  for (int y = 0; y < world_.height; ++y) {
    const uint8_t* r = row(y);
    for (size_t i = 0; i < used; ++i)
      if (r[i] != 0) return false;
  }
  return true;
}

}  // namespace hostsim
