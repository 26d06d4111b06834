// Render workers shared by every instance of an embedding whose host may keep hundreds of
// instances (an OpenFX timeline): at most `maxWorkers` threads, each with its own set-up of the
// effect and its contexts, for the whole module, started as frames need them. An instance at
// rest costs no thread and no context. Every worker renders the same frame the same way, so a
// frame does not depend on which one rendered it.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "embedding/render_worker.h"

namespace fxaa_embedding {

class WorkerPool {
 public:
  WorkerPool(PF_FilterProc entry, std::string name, int maxWorkers);
  ~WorkerPool();  // ends every worker's thread
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Renders on a free worker, starting one when all are busy and fewer than the maximum run;
  // else waits for one. Safe on any number of threads at once.
  host_runtime::Failure Render(host_runtime::World* in, host_runtime::World* out,
                          const host_runtime::FrameValues& values);

  int workers() const;  // started so far

 private:
  struct Slot {
    std::unique_ptr<RenderWorker> worker;
    bool busy = false;
  };

  const PF_FilterProc entry_;
  const std::string name_;
  const int maxWorkers_;
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<Slot> slots_;
};

}  // namespace fxaa_embedding
