#include "cli/batch.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "cli/pixel_convert.h"
#include "cli/renderer_query.h"
#include "cli/thread_group.h"

namespace fxaa_cli {

std::atomic<bool> g_interrupted{false};

namespace {

// A queue of fixed capacity: push waits while full, pop waits while empty and not closed.
template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(size_t capacity) : capacity_(capacity) {}

  // Dropped once the queue is closed: a batch that stops early closes its queues.
  void Push(T item) {
    std::unique_lock<std::mutex> lock(mutex_);
    notFull_.wait(lock, [&] { return items_.size() < capacity_ || closed_; });
    if (closed_) return;
    items_.push_back(std::move(item));
    notEmpty_.notify_one();
  }
  // Empty when the queue is closed and drained.
  std::optional<T> Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    notEmpty_.wait(lock, [&] { return !items_.empty() || closed_; });
    if (items_.empty()) return std::nullopt;
    T item = std::move(items_.front());
    items_.pop_front();
    notFull_.notify_one();
    return item;
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    notEmpty_.notify_all();
    notFull_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable notFull_, notEmpty_;
  std::deque<T> items_;
  size_t capacity_;
  bool closed_ = false;
};

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The batch's time accounts, kept from several threads. Rendering counts the time during which
// any render thread has a frame, so that frames waiting for the plug-in's render lock are not
// counted twice.
class BatchClock {
 public:
  // Runs `step`, adding its time to `sum` when it returns.
  template <typename Step>
  void Timed(double BatchTiming::*sum, Step&& step) {
    const auto start = Clock::now();
    step();
    std::lock_guard<std::mutex> lock(mutex_);
    timing_.*sum += SecondsSince(start);
  }
  // While one lives, a frame is rendering.
  class Rendering {
   public:
    explicit Rendering(BatchClock& clock) : clock_(clock) {
      std::lock_guard<std::mutex> lock(clock_.mutex_);
      if (clock_.rendering_++ == 0) clock_.renderingSince_ = Clock::now();
    }
    ~Rendering() {
      std::lock_guard<std::mutex> lock(clock_.mutex_);
      if (--clock_.rendering_ == 0) clock_.timing_.rendering += SecondsSince(clock_.renderingSince_);
    }
    Rendering(const Rendering&) = delete;
    Rendering& operator=(const Rendering&) = delete;

   private:
    BatchClock& clock_;
  };
  BatchTiming Finish(Clock::time_point batchStart) {
    std::lock_guard<std::mutex> lock(mutex_);
    timing_.wall = SecondsSince(batchStart);
    return timing_;
  }

 private:
  std::mutex mutex_;
  BatchTiming timing_;
  int rendering_ = 0;
  Clock::time_point renderingSince_;
};

// Renders frames through the effect while a batch runs: the threads, their queues, the counts.
class Batch {
 public:
  Batch(host_runtime::EffectSession& effect, BatchPlan& plan, const BatchOptions& options,
        Progress& progress)
      : effect_(effect),
        source_(*plan.source),
        sink_(*plan.sink),
        options_(options),
        progress_(progress),
        threads_(effect.threaded() ? std::max(1, options.threads) : 1),
        toRender_(size_t(threads_) + 1),
        toWrite_(size_t(threads_) + 1) {}
  BatchResult Run();

 private:
  void Read();
  void Enter(Frame frame);
  void Render();
  void RenderOne(Frame& frame);
  void Write();
  void Failed(const std::string& message);
  void ReportDamage(const Frame* frame);
  bool Stopping() const { return stop_.load() || g_interrupted.load(); }
  // A frame's name, or the input's while the frame has none yet.
  const std::string& Named(const std::string& name) const {
    return name.empty() ? source_.name() : name;
  }
  template <typename Step>
  void Guard(const std::string& name, const char* verb, Step&& step);

  host_runtime::EffectSession& effect_;
  FrameSource& source_;
  FrameSink& sink_;
  const BatchOptions& options_;
  Progress& progress_;
  const int threads_;
  // Each stage holds at most a couple of frames more than the render threads need.
  BoundedQueue<Frame> toRender_, toWrite_;
  BatchClock clock_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> fatalReported_{false};
  std::atomic<int> attempted_{0};  // frames the source gave or failed to give
  std::atomic<int> written_{0}, failed_{0};
  std::atomic<int> damaged_{0}, leftOut_{0};
  std::atomic<int> renderersLeft_{0};
  bool finished_ = false;  // the sink's output is complete
};

// Runs one step of one frame (or of the output, for the sink's end); whatever it throws becomes
// that frame's failure, so that no exception leaves a batch thread and ends the process
// mid-batch. Image errors already name their frame; anything else is named here, by `name` as it
// is when the step fails (a frame being read is named once the source knows it).
template <typename Step>
void Batch::Guard(const std::string& name, const char* verb, Step&& step) {
  std::string message;
  try {
    step();
    return;
  } catch (const ImageError& e) {
    message = e.what();
  } catch (const std::bad_alloc&) {
    message = Named(name) + ": cannot " + verb + ": not enough memory";
  } catch (const std::exception& e) {
    message = Named(name) + ": cannot " + verb + ": " + OneLine(e.what());
  } catch (...) {
    message = Named(name) + ": cannot " + verb + ": unexpected failure";
  }
  try {
    Failed(message);
  } catch (...) {
    // No memory even for the message: the frame still counts as failed.
    ++failed_;
  }
}

// A frame that failed: counted, reported (an empty message: its cause was said already), and the
// end of the batch where that is the rule.
void Batch::Failed(const std::string& message) {
  ++failed_;
  if (options_.failFast || sink_.wholeOrNothing()) stop_ = true;
  progress_.FrameFailed(message);
}

// Tells what the source left out before `frame` (or before its end), then the damage the frame
// came with: counted apart from failures, since the output goes on without them. The source's
// notes are told, not counted.
void Batch::ReportDamage(const Frame* frame) {
  for (const std::string& message : source_.TakeLeftOut()) {
    ++leftOut_;
    progress_.FrameLeftOut(message);
  }
  for (const std::string& note : source_.TakeNotes()) progress_.Note(note);
  if (frame == nullptr || frame->damage.empty()) return;
  ++damaged_;
  progress_.FrameDamaged(frame->name + ": damaged: " + frame->damage +
                         "; rendered as the decoder concealed it");
}

// The reader thread: frames in order from the source into rendering.
void Batch::Read() {
  bool more = true;
  while (more && !Stopping()) {
    Frame frame;
    ++attempted_;
    Guard(frame.name, "read", [&] {
      clock_.Timed(&BatchTiming::reading, [&] { more = source_.Next(&frame); });
      ReportDamage(more ? &frame : nullptr);
      if (more) Enter(std::move(frame));
    });
    if (!more) --attempted_;
  }
  Guard(source_.name(), "read", [&] { ReportDamage(nullptr); });
  // The total was the source's own estimate; now it is known.
  if (!more) progress_.SetTotal(attempted_);
  toRender_.Close();
}

// Hands a frame to the render threads once the sink admits it.
void Batch::Enter(Frame frame) {
  if (frame.image.worldDepth() == 32 && !effect_.floatColour()) {
    Failed(frame.name + ": cannot render: the plug-in does not take 32-bit float frames");
    return;
  }
  sink_.Admit(frame.index, [this] { return Stopping(); });
  toRender_.Push(std::move(frame));
}

// A render thread: frames through the effect into the writer's queue.
void Batch::Render() {
  while (std::optional<Frame> frame = toRender_.Pop()) {
    if (Stopping()) continue;  // drain: the reader may wait on a full queue
    Guard(frame->name, "render", [&] { RenderOne(*frame); });
  }
  if (--renderersLeft_ == 0) toWrite_.Close();
}

void Batch::RenderOne(Frame& frame) {
  Image rendered;
  host_runtime::Failure failure;
  {
    const BatchClock::Rendering rendering(clock_);
    failure = frame.time.fields == FieldOrder::kProgressive
                  ? RenderImage(effect_, frame.image, options_.frame, &rendered)
                  : RenderFields(effect_, frame.image, options_.frame, &rendered);
  }
  // The plug-in fails a missing context and its other failures (a program that did not build, a
  // GL error, a callback that threw) with one code, and says which only on standard output: a
  // context made here as the plug-in makes one tells them apart.
  if (failure.kind == host_runtime::Failure::Kind::kNoContext && LargestFrameSideHere() > 0)
    failure = {host_runtime::Failure::Kind::kPlugin, PF_Err_INTERNAL_STRUCT_DAMAGED,
               "the effect failed, though an OpenGL 3.2 context can be made here; the "
               "plug-in's own messages are on standard output"};
  if (failure.kind == host_runtime::Failure::Kind::kNoContext) {
    // Without a usable context no frame can render; one line says so, not one per frame.
    stop_ = true;
    Failed(fatalReported_.exchange(true)
               ? std::string()
               : frame.name + ": cannot render: " + failure.cause +
                     " (is OpenGL 3.2 available? the plug-in's own messages are on standard "
                     "output)");
    return;
  }
  if (failure) {
    Failed(frame.name + ": cannot render: " + failure.cause + " (" +
           std::to_string(frame.image.width) + " x " + std::to_string(frame.image.height) +
           (failure.code != 0 ? ", plug-in error " + std::to_string(failure.code) : "") + ")");
    return;
  }
  frame.image = std::move(rendered);
  toWrite_.Push(std::move(frame));
}

// The writer thread: rendered frames into the sink, then the sink's end. Frames rendered after
// a stop are still written where each output is complete on its own (files).
void Batch::Write() {
  while (std::optional<Frame> frame = toWrite_.Pop()) {
    if (Stopping() && sink_.wholeOrNothing()) continue;  // drain
    Guard(sink_.name(), "write",
          [&] { clock_.Timed(&BatchTiming::writing, [&] { sink_.Put(std::move(*frame)); }); });
  }
  if (!Stopping()) {
    Guard(sink_.name(), "write", [&] {
      clock_.Timed(&BatchTiming::writing, [&] { sink_.Finish(); });
      finished_ = true;
    });
  }
  if (!finished_ && Stopping() && sink_.wholeOrNothing())
    progress_.Note(sink_.name() + ": not written");
}

BatchResult Batch::Run() {
  const auto batchStart = Clock::now();
  BatchResult result;
  effect_.SetDownsample(options_.frame.downsample);
  if (options_.damagedFrames == DamagedFrames::kConceal) source_.ConcealDamage();
  // Opened before anything starts: an input that is no video fails the batch.
  source_.Open();
  progress_.SetTotal(source_.expectedFrames());
  SinkContext context;
  context.renderThreads = threads_;
  context.downsample = options_.frame.downsample;
  context.frameWritten = [this](const std::string& written) {
    ++written_;
    progress_.FrameDone(written);
  };
  context.note = [this](const std::string& note) { progress_.Note(note); };
  sink_.Start(source_, context);

  renderersLeft_ = threads_;
  {
    ThreadGroup threads(size_t(threads_) + 2);  // joins them all as it goes
    std::string why;
    bool started = threads.Start([this] { Write(); }, &why);
    for (int t = 0; t < threads_ && started; ++t)
      started = threads.Start([this] { Render(); }, &why);
    started = started && threads.Start([this] { Read(); }, &why);
    if (!started) {
      // What did start runs dry: the queues take nothing more and end, closed before anything
      // that could throw, or the group's join would wait for ever.
      stop_ = true;
      toRender_.Close();
      toWrite_.Close();
      Failed(source_.name() + ": cannot render: no thread could be started: " + why);
    }
  }

  result.timing = clock_.Finish(batchStart);
  result.written = written_;
  result.failed = failed_;
  result.damaged = damaged_;
  result.leftOut = leftOut_;
  result.interrupted = g_interrupted.load();
  result.stopped = stop_.load() || result.interrupted;
  result.complete = result.failed == 0 && !result.stopped && finished_ &&
                    result.written == attempted_;
  return result;
}

}  // namespace

int DefaultThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores == 0 ? 2u : cores, 1u, 4u));
}

host_runtime::Failure RenderImage(host_runtime::EffectSession& effect, const Image& input,
                                  const FrameOptions& options, Image* result) {
  const Image* source = &input;
  Image prepared;
  if (options.premultiplied) {
    prepared = input;
    Unpremultiply(&prepared);
    source = &prepared;
  }
  if (options.downsample > 1) {
    prepared = Downsample(*source, options.downsample);
    source = &prepared;
  }
  std::unique_ptr<host_runtime::World> in = ImageToWorld(*source);
  const int depth = source->worldDepth();
  host_runtime::World out(source->width, source->height, depth,
                          RowPaddingFor(source->width, depth));
  const PF_Err err = effect.Render(in.get(), &out);
  if (err != 0)
    return effect.FrameFailure(err, source->width, source->height, LargestFrameSideHere);
  *result = WorldToImage(out, *source);
  if (options.premultiplied) Premultiply(result);
  return host_runtime::Failure::None();
}

host_runtime::Failure RenderFields(host_runtime::EffectSession& effect, const Image& input,
                                   const FrameOptions& options, Image* result) {
  Image fields[2];
  for (int parity = 0; parity < 2; ++parity) {
    const host_runtime::Failure failure =
        RenderImage(effect, FieldOf(input, parity), options, &fields[parity]);
    if (failure) return failure;
  }
  *result = Weave(fields[0], fields[1]);
  return host_runtime::Failure::None();
}

BatchResult RunBatch(host_runtime::EffectSession& effect, BatchPlan& plan,
                     const BatchOptions& options, Progress& progress) {
  return Batch(effect, plan, options, progress).Run();
}

std::string DescribeTiming(const BatchResult& result) {
  const BatchTiming& t = result.timing;
  char line[256];
  std::snprintf(line, sizeof(line),
                "timing: %d frames in %.2f s; rendering %.2f s, reading %.2f s, writing %.2f s",
                result.written, t.wall, t.rendering, t.reading, t.writing);
  return line;
}

}  // namespace fxaa_cli
