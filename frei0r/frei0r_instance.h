// One frei0r instance: a frame size, its control values, and a thread of its own on which the
// effect is set up, renders and is set down. The effect keeps an OpenGL context per thread it
// renders on, released when that thread ends; rendering on a thread the instance owns means the
// context goes with the instance, never lingers on a host's thread after the module is unloaded,
// and never disturbs a context the host has current on its own threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "frei0r/frei0r_controls.h"
#include "hostsim/effect_session.h"

namespace fxaa_frei0r {

class Instance {
 public:
  // No OpenGL work here: hosts construct instances only to list the filter.
  Instance(const ControlTable& controls, int width, int height);
  ~Instance();  // ends the thread: the effect is set down and its context released there
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  void SetValue(int control, double value);
  double Value(int control) const;

  // Renders `in` into `out` (width x height RGBA, straight alpha). May be called from several
  // threads at once (slices): the frames render one after another on the instance's thread.
  // A frame the effect cannot render is passed on unchanged and said so on standard error.
  void Update(double time, const uint32_t* in, uint32_t* out);

 private:
  struct Job;

  void Work();                     // the instance's thread
  void Render(Job* job);           // on that thread
  void Report(const Job& job, int cause, const std::string& why);

  const ControlTable controls_;
  const int width_, height_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  double values_[kControlCount];
  std::deque<Job*> queue_;
  bool stopping_ = false;
  long frames_ = 0;  // frames handed to Update so far
  std::set<int> reported_;  // causes already said on standard error
  std::thread thread_;  // started with the first frame

  // Touched only on the instance's thread.
  std::unique_ptr<hostsim::EffectSession> session_;
  std::string setUpError_;  // why the effect could not be set up, when it could not
};

// Whether an instance has found that this process cannot render at all (no OpenGL 3.2 core
// context), with the reason; constructions fail from then on, until the module is deinitialised.
bool EffectUnavailable(std::string* why);
void ForgetUnavailable();

}  // namespace fxaa_frei0r
