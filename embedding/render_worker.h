// A thread of its own on which the effect is set up, renders and is set down. The plug-in keeps
// one OpenGL context per thread it renders on, released when that thread ends; rendering on a
// thread the embedding owns means the contexts go with the worker, never linger on a host's
// thread after the module is unloaded, and never disturb a context the host has current.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host_runtime/effect_session.h"
#include "host_runtime/failure.h"

namespace fxaa_embedding {

class RenderWorker {
 public:
  // No OpenGL work and no thread here: hosts make instances only to list an effect. `name`
  // stands for the effect in the host side's messages.
  RenderWorker(PF_FilterProc entry, std::string name);
  ~RenderWorker();  // ends the thread: the effect is set down and its contexts released there
  RenderWorker(const RenderWorker&) = delete;
  RenderWorker& operator=(const RenderWorker&) = delete;

  // Renders `in` into `out` (same size and depth) with `values` on the worker's thread, started
  // with the first frame; blocks until done. Calls from several threads at once render one
  // after another. The first frame sets the effect up; where it finds that nothing can render
  // in this process, it says so to every later worker (EffectUnavailable). A set-up that fails
  // for any other cause is tried again with the next frame.
  host_runtime::Failure Render(host_runtime::World* in, host_runtime::World* out,
                               const host_runtime::FrameValues& values);

 private:
  struct Job;

  void Work();               // the worker's thread
  void RenderJob(Job* job);  // on that thread
  // Sets the effect up on that thread; false with *failure set when it cannot render.
  bool SetUp(host_runtime::Failure* failure);
  // The GPU's largest frame side, asked on that thread once a frame needs it (0: unknown).
  int LargestFrameSide();

  const PF_FilterProc entry_;
  const std::string name_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job*> queue_;
  bool stopping_ = false;
  std::thread thread_;

  // Touched only on the worker's thread.
  std::unique_ptr<host_runtime::EffectSession> session_;
  host_runtime::Failure noContext_;  // set once no context can be made here: nothing renders
  int largestSide_ = -1;             // not asked yet
};

// Whether a worker of this module found that the process cannot render at all (no OpenGL 3.2
// core context), with the reason. Every worker's frames fail from then on; the frei0r filter
// also refuses new instances. Forgotten when its host unloads the module (ForgetUnavailable).
bool EffectUnavailable(std::string* why);
void ForgetUnavailable();

}  // namespace fxaa_embedding
