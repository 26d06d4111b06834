// Shared pieces of the render unit tests: a global record with or without a root context, the
// host blocks a frame render reads, small host-layout pixel buffers, and fresh threads (each
// render thread owns its render data, so every lifecycle case starts on a new one).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "gl/gl_context.h"
#include "host/effect_entry.h"
#include "render/render_settings.h"

// A GlobalData reached through a host-style handle. With a root context it opens the gate for
// render threads; the programs are never drawn with, so none are built.
class GlobalGate {
 public:
  explicit GlobalGate(bool withRootContext) {
    std::memset(&global_, 0, sizeof(global_));
    if (withRootContext) {
      global_.rootContext = CreateGlContext(nullptr);
      MakeGlContextCurrent(nullptr);
    }
    block_ = &global_;
  }
  ~GlobalGate() {
    if (global_.rootContext != nullptr) {
      DestroyGlContext(global_.rootContext);
      FreeGlContextRecord(global_.rootContext);
    }
  }
  GlobalGate(const GlobalGate&) = delete;
  GlobalGate& operator=(const GlobalGate&) = delete;

  bool HasRootContext() const { return IsGlContextValid(global_.rootContext); }
  PF_Handle handle() { return &block_; }

 private:
  GlobalData global_;
  void* block_;
};

inline PF_InData InDataFor(PF_Handle globalHandle) {
  PF_InData in{};
  in.global_data = globalHandle;
  in.downsample_x = in.downsample_y = {1, 1};
  return in;
}

// Pixels in host layout, optionally with row padding, between guard bytes that nothing may
// touch.
struct Pixels {
  static constexpr size_t kGuard = 64;
  static constexpr uint8_t kGuardByte = 0xA5;

  Pixels(int width, int height, int bitDepth, int padding = 0, uint8_t fill = 0)
      : bytesPerPixel(bitDepth == 32 ? 16 : 4),
        storage(2 * kGuard + size_t(height) * (size_t(width) * bytesPerPixel + padding),
                kGuardByte) {
    world.data = storage.data() + kGuard;
    world.width = width;
    world.height = height;
    world.rowbytes = width * bytesPerPixel + padding;
    std::fill(storage.begin() + kGuard, storage.end() - kGuard, fill);
  }
  Pixels(const Pixels&) = delete;
  Pixels& operator=(const Pixels&) = delete;
  uint8_t* At(int x, int y) {
    return static_cast<uint8_t*>(world.data) + size_t(y) * world.rowbytes +
           size_t(x) * bytesPerPixel;
  }
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (storage[i] != kGuardByte || storage[storage.size() - 1 - i] != kGuardByte) return false;
    return true;
  }
  int bytesPerPixel;
  std::vector<uint8_t> storage;
  PF_EffectWorld world{};
};

// Settings of a colour-mode frame at the parameters' defaults.
inline RenderBlock BlockFor(PF_EffectWorld* input, PF_EffectWorld* output, short bitDepth) {
  RenderBlock block;
  std::memset(&block, 0, sizeof(block));
  RenderSettings& s = block.settings;
  s.bitDepth = bitDepth;
  s.inputWorld = input;
  s.outputWorld = output;
  s.downsample = 1.0;
  s.width = input->width;
  s.height = input->height;
  s.strength = 1.0;
  s.span = 8.0;
  s.reduceMult = 0.125;
  s.reduceMin = 0.0078125;
  return block;
}

// Whether the calling thread has any OpenGL context current.
inline bool AnyContextCurrent() {
  GlContext* current = CaptureCurrentGlContext();
  const bool any = IsGlContextValid(current);
  FreeGlContextRecord(current);
  return any;
}

// Runs `body` on a new thread and waits for it, so the thread's render data ends with it.
inline void OnFreshThread(const std::function<void()>& body) {
  std::thread thread(body);
  thread.join();
}
