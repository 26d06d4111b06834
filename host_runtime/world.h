// The host's pixel worlds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/host_api.h"

namespace host_runtime {

// The largest width or height of a world, as of After Effects' layers: what every program on the
// host side accepts as a frame.
constexpr int kMaxWorldSide = 30000;

// A host-owned pixel world: ARGB, 8 bits (bytes), 16 bits or 32 bits (floats) per channel; rows
// `rowbytes` apart, each followed by `rowPaddingBytes` of kPaddingByte; `guardBytes` of
// kGuardByte before and after the pixel rows. New pixels are all zero. While a World exists its
// PF_EffectWorld is known to the host (the fill callback reads its bit depth from there).
// Not copyable or movable: the plug-in holds the address of its PF_EffectWorld.
class World {
 public:
  static constexpr uint8_t kGuardByte = 0xA5;
  static constexpr uint8_t kPaddingByte = 0x5A;

  // Negative sizes or padding count as 0. Any bitDepth other than 16 or 32 stores 4 bytes a pixel.
  World(int width, int height, int bitDepth, int rowPaddingBytes = 0, size_t guardBytes = 64);
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  PF_EffectWorld* get() { return &world_; }
  const PF_EffectWorld* get() const { return &world_; }
  int width() const { return world_.width; }
  int height() const { return world_.height; }
  int bitDepth() const { return bitDepth_; }
  int bytesPerPixel() const { return BytesPerPixel(bitDepth_); }
  int rowbytes() const { return world_.rowbytes; }
  size_t guardBytes() const { return guard_; }
  uint8_t* row(int y) { return static_cast<uint8_t*>(world_.data) + size_t(y) * world_.rowbytes; }
  const uint8_t* row(int y) const {
    return static_cast<const uint8_t*>(world_.data) + size_t(y) * world_.rowbytes;
  }
  PF_Pixel8* pixel8(int x, int y) { return reinterpret_cast<PF_Pixel8*>(row(y)) + x; }
  PF_PixelFloat* pixelF(int x, int y) { return reinterpret_cast<PF_PixelFloat*>(row(y)) + x; }

  // Channel c (0 alpha, 1 red, 2 green, 3 blue) of pixel (x, y) as a float: bytes and 16-bit
  // words as their integer value, floats as they are. setChannel rounds and clamps integers.
  float channel(int x, int y, int c) const;
  void setChannel(int x, int y, int c, float value);
  // Sets every channel of every pixel to `value` (same conversion as setChannel).
  void FillAll(float alpha, float red, float green, float blue);

  // True while nothing was written before or after the pixel rows.
  bool GuardsIntact() const;
  // True while the padding at the end of every row still holds kPaddingByte.
  bool PaddingIntact() const;
  // Every byte of every row's pixels (not the padding) is zero.
  bool AllZero() const;

  static int BytesPerPixel(int bitDepth) { return bitDepth == 32 ? 16 : bitDepth == 16 ? 8 : 4; }
  // Bit depth of the live World owning `world`, or 0 when no World owns it.
  static int BitDepthOf(const PF_EffectWorld* world);
  // Whether a live World owns `world` (whatever its bit depth, 0 included).
  static bool IsLive(const PF_EffectWorld* world);

 private:
  // The World owning `world` among the live ones, or null; the registry's lock must be held.
  static const World* FindLive(const PF_EffectWorld* world);

  int bitDepth_;
  size_t guard_;
  std::vector<uint8_t> storage_;
  PF_EffectWorld world_{};
  // Links of the process-wide list of live worlds (world.cpp).
  World* newer_ = nullptr;
  World* older_ = nullptr;
};

}  // namespace host_runtime
