// One frei0r instance: a frame size and its control values, nothing more. Its frames render on
// the module's workers (embedding/worker_pool.h), shared by every instance: hosts keep one
// instance per clip that carries the filter for as long as a project is open, and an idle one
// must hold no thread, context or frame.
#pragma once

#include <cstdint>
#include <mutex>

#include "embedding/calls_in_flight.h"
#include "embedding/report_once.h"
#include "embedding/worker_pool.h"
#include "frei0r/frei0r_controls.h"

namespace fxaa_frei0r {

class Instance {
 public:
  // No OpenGL work here: hosts construct instances only to list the filter. `pool` outlives
  // the instance.
  Instance(const ControlTable& controls, int width, int height,
           fxaa_embedding::WorkerPool& pool);
  // Waits for frames still rendering on other threads: a host that destroys an instance while
  // a frame renders must not free what that frame uses.
  ~Instance();

  void SetValue(int control, double value);
  double Value(int control) const;

  // Renders `in` into `out` (width x height RGBA, straight alpha). May be called from several
  // threads at once (slices): each frame takes a free worker of the pool.
  // A frame the effect cannot render is passed on unchanged and said so on standard error.
  void Update(double time, const uint32_t* in, uint32_t* out);

 private:
  // One line on standard error, once per cause.
  void Report(long frame, double time, const host_runtime::Failure& failure);

  const ControlTable controls_;
  const int width_, height_;

  mutable std::mutex mutex_;
  double values_[kControlCount];
  long frames_ = 0;  // frames handed to Update so far
  fxaa_embedding::ReportOnce reported_;
  fxaa_embedding::WorkerPool& pool_;
  fxaa_embedding::CallsInFlight updates_;
};

}  // namespace fxaa_frei0r
