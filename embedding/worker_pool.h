// Render workers shared by every instance of an embedding whose host may keep hundreds of
// instances (an OpenFX timeline) or render on dozens of threads: at most `maxWorkers` threads,
// each with its own set-up of the effect and its contexts, for the whole module, started as
// frames need them. A frame takes a worker first and only then its memory, the worker's own pair
// of worlds, so the frames that hold memory are at most the workers, whatever the number of
// threads that ask. An instance at rest costs no thread and no context. Every worker renders the
// same frame the same way, so a frame does not depend on which one rendered it.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "embedding/render_worker.h"

namespace fxaa_embedding {

class WorkerPool {
  struct Slot;

 public:
  WorkerPool(PF_FilterProc entry, std::string name, int maxWorkers);
  ~WorkerPool();  // ends every worker's thread; no Frame may outlive the pool
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // One frame's hold on a worker and its worlds, given back when it goes.
  class Frame {
   public:
    Frame(Frame&& other) noexcept;
    Frame& operator=(Frame&&) = delete;
    ~Frame();

    // Readies the worker's input and output worlds for a frame of this size and depth: those of
    // its last frame when they match (their pixels are that frame's), new ones otherwise.
    // Throws std::bad_alloc when there is no memory for them.
    void Size(int width, int height, int bitDepth);
    host_runtime::World& input();
    host_runtime::World& output();
    // Renders input() into output() with `values` on the worker's thread.
    host_runtime::Failure Render(const host_runtime::FrameValues& values);

   private:
    friend class WorkerPool;
    Frame(WorkerPool* pool, Slot* slot) : pool_(pool), slot_(slot) {}
    WorkerPool* pool_;
    Slot* slot_;
  };

  // A free worker for one frame, starting one when all are busy and fewer than the maximum run;
  // else waits for one. Safe on any number of threads at once.
  Frame Take();

  // Drops the worlds every free worker keeps and hands freed memory back to the system: a host
  // at rest (a sequence over, caches purged) keeps none of the frames' memory. The workers stay:
  // a context made again keeps some of its memory for good (docs/performance.md).
  void Release();

  int workers() const;  // started so far

 private:
  struct Slot {
    std::unique_ptr<RenderWorker> worker;
    std::unique_ptr<host_runtime::World> input, output;
    bool busy = false;
  };

  void Give(Slot* slot);  // the frame on `slot` is done

  const PF_FilterProc entry_;
  const std::string name_;
  const int maxWorkers_;
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<Slot> slots_;
};

}  // namespace fxaa_embedding
