// Rendering a batch of frames through the plug-in as a small pipeline: one reader thread pulls
// from the plan's source, N render threads (each one of the host's render threads) render, one
// writer thread pushes to the plan's sink; short queues join them, so that reading and writing
// overlap rendering and memory stays bounded.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "cli/batch_plan.h"
#include "cli/image.h"
#include "cli/progress.h"
#include "host_runtime/effect_session.h"
#include "host_runtime/failure.h"

namespace fxaa_cli {

struct FrameOptions {
  bool premultiplied = false;  // un-premultiply before, premultiply after
  int downsample = 1;
  WriteOptions write;
};

// One frame from file pixels to result pixels: the steps a render thread takes. Returns why it
// failed, or no failure when `result` is set. A frame the plug-in fails for want of a context is
// told apart from one the GPU failed: only the first means that nothing can render here.
host_runtime::Failure RenderImage(host_runtime::EffectSession& effect, const Image& input,
                                  const FrameOptions& options, Image* result);

// An interlaced frame: each of its fields rendered as a frame of its own and the two woven back,
// so that lines taken half a frame apart are never blended.
host_runtime::Failure RenderFields(host_runtime::EffectSession& effect, const Image& input,
                                   const FrameOptions& options, Image* result);

struct BatchOptions {
  FrameOptions frame;
  int threads = 1;
  bool failFast = false;
  DamagedFrames damagedFrames = DamagedFrames::kFail;
};

// Where a batch's time went, in seconds.
struct BatchTiming {
  double wall = 0;       // the whole batch
  double rendering = 0;  // while at least one frame was in RenderImage
  double reading = 0;    // decoding input files, summed over frames
  double writing = 0;    // encoding and writing output files, summed over frames
};

struct BatchResult {
  int written = 0;  // output frames done
  int failed = 0;   // frames that could not be read, rendered or written
  // When damage is concealed: frames rendered as the decoder concealed them, and what the source
  // left out (frames, files, stretches of a stream), each told as it came.
  int damaged = 0;
  int leftOut = 0;
  bool stopped = false;  // fail-fast, a fatal error or an interrupt ended it early
  bool interrupted = false;
  bool complete = false;  // every frame written and the output finished (a video: in place)
  BatchTiming timing;
};

// The line --timing prints: "timing: 60 frames in 12.30 s; rendering 11.90 s, ...".
std::string DescribeTiming(const BatchResult& result);

// Set from a signal handler: stop reading, let frames in flight finish.
extern std::atomic<bool> g_interrupted;

// Runs the plan: opens its source, starts its sink, and takes every frame through. The counts
// are the batch's own; the progress display is only told.
BatchResult RunBatch(host_runtime::EffectSession& effect, BatchPlan& plan,
                     const BatchOptions& options, Progress& progress);

// A render thread count that suits this machine: the rendering is serialised on the GPU, so a
// few threads are enough to overlap the host's work with it.
int DefaultThreadCount();

}  // namespace fxaa_cli
