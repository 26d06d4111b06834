#include "frei0r/frei0r_instance.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "host/effect_entry.h"

namespace fxaa_frei0r {
namespace {

// What the host side calls the effect in its messages.
const char kEffectName[] = "FXAA frei0r filter";

// Causes of a failed frame other than the plug-in's error codes, which are never positive.
constexpr int kCauseSetUp = 1;
constexpr int kCauseNoContext = 2;
constexpr int kCauseNoThread = 3;

// Process-wide: whether an instance found that no context can be made. Plain data under a
// trivially destructible lock, so that nothing of it runs when the module is unloaded.
std::mutex g_unavailableMutex;
bool g_unavailable = false;
char g_unavailableWhy[160];

void MarkUnavailable(const char* why) {
  std::lock_guard<std::mutex> lock(g_unavailableMutex);
  g_unavailable = true;
  std::snprintf(g_unavailableWhy, sizeof(g_unavailableWhy), "%s", why);
}

// Whether the effect's global set-up made its root context: without it no frame can render.
bool HasRootContext(const hostsim::EffectSession& session) {
  const PF_Handle handle = session.globalData();
  const GlobalData* global = handle ? *reinterpret_cast<GlobalData* const*>(handle) : nullptr;
  return global != nullptr && global->rootContext != nullptr;
}

// frei0r's RGBA bytes into the host's 8-bit ARGB world, and back.
void ToWorld(const uint32_t* frame, hostsim::World* world) {
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

void FromWorld(const hostsim::World& world, uint32_t* frame) {
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

struct Instance::Job {
  const uint32_t* in;
  uint32_t* out;
  double time;
  long frame;
  double values[kControlCount];
  bool done;
};

Instance::Instance(const ControlTable& controls, int width, int height)
    : controls_(controls), width_(width), height_(height) {
  for (int i = 0; i < kControlCount; ++i) values_[i] = DefaultControlValue(controls_.controls[i]);
}

Instance::~Instance() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Instance::SetValue(int control, double value) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_[control] = ClampControlValue(controls_.controls[control], value);
}

double Instance::Value(int control) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return values_[control];
}

void Instance::Update(double time, const uint32_t* in, uint32_t* out) {
  Job job{in, out, time, 0, {}, false};
  std::unique_lock<std::mutex> lock(mutex_);
  job.frame = ++frames_;
  std::copy(values_, values_ + kControlCount, job.values);
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread([this] { Work(); });
    } catch (...) {
      lock.unlock();
      std::memcpy(out, in, size_t(width_) * height_ * 4);
      Report(job, kCauseNoThread, "no thread could be started to render on");
      return;
    }
  }
  queue_.push_back(&job);
  changed_.notify_all();
  changed_.wait(lock, [&job] { return job.done; });
}

void Instance::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) break;
    Job* job = queue_.front();
    queue_.pop_front();
    lock.unlock();
    Render(job);
    lock.lock();
    job->done = true;
    changed_.notify_all();
  }
  lock.unlock();
  session_.reset();  // global set-down, on the thread that set up
}

void Instance::Render(Job* job) {
  const size_t frameBytes = size_t(width_) * height_ * 4;
  if (!session_ && setUpError_.empty()) {
    try {
      session_ = hostsim::EffectSession::Open(EffectMain, kEffectName, &setUpError_);
    } catch (...) {
      session_.reset();
    }
    if (!session_ && setUpError_.empty()) setUpError_ = "the effect could not be set up";
    if (session_ && !HasRootContext(*session_))
      MarkUnavailable("no OpenGL 3.2 core context can be made in this process");
  }
  PF_Err err = 0;
  if (!session_) {
    err = kCauseSetUp;
  } else if (!HasRootContext(*session_)) {
    err = kCauseNoContext;
  } else {
    try {
      for (int i = 0; i < kControlCount; ++i) {
        const Control& control = controls_.controls[i];
        session_->SetValue(control.effectIndex, EffectValue(control, job->values[i]));
      }
      hostsim::World in(width_, height_, 8);
      hostsim::World out(width_, height_, 8);
      ToWorld(job->in, &in);
      err = session_->Render(&in, &out);
      if (err == 0) FromWorld(out, job->out);
    } catch (...) {
      err = PF_Err_OUT_OF_MEMORY;  // the worlds could not be allocated
    }
  }
  if (err == 0) return;
  std::memmove(job->out, job->in, frameBytes);
  const std::string why = err == kCauseSetUp      ? setUpError_
                          : err == kCauseNoContext ? "no OpenGL 3.2 core context can be made"
                                                   : hostsim::DescribePluginError(err);
  Report(*job, err, why);
}

void Instance::Report(const Job& job, int cause, const std::string& why) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!reported_.insert(cause).second) return;
  }
  std::fprintf(stderr,
               "%s: frame %ld (time %g, %dx%d) is passed on unchanged, not anti-aliased: %s\n",
               kEffectName, job.frame, job.time, width_, height_, why.c_str());
}

bool EffectUnavailable(std::string* why) {
  std::lock_guard<std::mutex> lock(g_unavailableMutex);
  if (g_unavailable && why) *why = g_unavailableWhy;
  return g_unavailable;
}

void ForgetUnavailable() {
  std::lock_guard<std::mutex> lock(g_unavailableMutex);
  g_unavailable = false;
  g_unavailableWhy[0] = '\0';
}

}  // namespace fxaa_frei0r
