#include "frei0r/frei0r_instance.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>


namespace fxaa_frei0r {
namespace {

// What the host side calls the effect in its messages.
const char kEffectName[] = "FXAA frei0r filter";

// frei0r's RGBA bytes into the host's 8-bit ARGB world, and back.
void ToWorld(const uint32_t* frame, host_runtime::World* world) {
  const uint8_t* src = reinterpret_cast<const uint8_t*>(frame);
  for (int y = 0; y < world->height(); ++y) {
    for (int x = 0; x < world->width(); ++x, src += 4) {
      PF_Pixel8* p = world->pixel8(x, y);
      p->red = src[0];
      p->green = src[1];
      p->blue = src[2];
      p->alpha = src[3];
    }
  }
}

void FromWorld(const host_runtime::World& world, uint32_t* frame) {
  uint8_t* dst = reinterpret_cast<uint8_t*>(frame);
  for (int y = 0; y < world.height(); ++y) {
    const PF_Pixel8* p = reinterpret_cast<const PF_Pixel8*>(world.row(y));
    for (int x = 0; x < world.width(); ++x, ++p, dst += 4) {
      dst[0] = p->red;
      dst[1] = p->green;
      dst[2] = p->blue;
      dst[3] = p->alpha;
    }
  }
}

}  // namespace

Instance::Instance(const ControlTable& controls, int width, int height,
                   fxaa_embedding::WorkerPool& pool)
    : controls_(controls), width_(width), height_(height), pool_(pool) {
  for (int i = 0; i < kControlCount; ++i) values_[i] = DefaultControlValue(controls_.controls[i]);
}

Instance::~Instance() { updates_.WaitForNone(); }

void Instance::SetValue(int control, double value) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_[control] = ClampControlValue(controls_.controls[control], value);
}

double Instance::Value(int control) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return values_[control];
}

void Instance::Update(double time, const uint32_t* in, uint32_t* out) {
  const fxaa_embedding::CallsInFlight::Call update(updates_);
  host_runtime::FrameValues values;
  long frame;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frame = ++frames_;
    for (int i = 0; i < kControlCount; ++i) {
      const Control& control = controls_.controls[i];
      values.params[control.effectIndex] = EffectValue(control, values_[i]);
    }
  }
  host_runtime::Failure failure;
  try {
    // A worker first, then the memory: at most the workers' frames hold worlds.
    fxaa_embedding::WorkerPool::Frame worlds = pool_.Take();
    worlds.Size(width_, height_, 8);
    ToWorld(in, &worlds.input());
    failure = worlds.Render(values);
    if (!failure) FromWorld(worlds.output(), out);
  } catch (const std::bad_alloc&) {
    failure = host_runtime::Failure::Of(host_runtime::Failure::Kind::kOutOfMemory,
                                        "out of memory for the frame's worlds");
  } catch (const std::exception& e) {
    failure = host_runtime::Failure::Of(host_runtime::Failure::Kind::kUnexpected, e.what());
  }
  if (!failure) return;
  std::memmove(out, in, size_t(width_) * height_ * 4);
  Report(frame, time, failure);
}

void Instance::Report(long frame, double time, const host_runtime::Failure& failure) {
  if (!reported_.FirstOfItsKind(failure)) return;
  std::fprintf(stderr,
               "%s: frame %ld (time %g, %dx%d) is passed on unchanged, not anti-aliased: %s\n",
               kEffectName, frame, time, width_, height_, failure.cause.c_str());
}

}  // namespace fxaa_frei0r
