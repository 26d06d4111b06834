#include "cli/batch.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "cli/formats/video.h"
#include "cli/pixel_convert.h"

namespace fxaa_cli {

std::atomic<bool> g_interrupted{false};

namespace {

// A queue of fixed capacity: push waits while full, pop waits while empty and not closed.
template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(size_t capacity) : capacity_(capacity) {}

  void Push(T item) {
    std::unique_lock<std::mutex> lock(mutex_);
    notFull_.wait(lock, [&] { return items_.size() < capacity_; });
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
  }

 private:
  std::mutex mutex_;
  std::condition_variable notFull_, notEmpty_;
  std::deque<T> items_;
  size_t capacity_;
  bool closed_ = false;
};

struct Work {
  FrameJob job;   // a plan's job, or one made for a frame of a video
  int index = 0;  // place in the batch, from 0: the order of a video output
  FrameTime time;
  Image image;
};

// Frames of a video output are encoded in order. A frame may enter the pipeline only while it is
// at most `span` frames ahead of the next one to encode, so that the frames held back behind a
// slow one stay few.
class OrderWindow {
 public:
  explicit OrderWindow(int span) : span_(span) {}

  // Waits until frame `index` may enter, or `stopping()` holds. A signal handler cannot wake the
  // wait, so it looks again now and then.
  template <typename Stopping>
  void WaitForRoom(int index, Stopping stopping) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (index >= next_ + span_ && !stopping())
      moved_.wait_for(lock, std::chrono::milliseconds(50));
  }
  void Advance(int next) {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = next;
    moved_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable moved_;
  int next_ = 0;
  const int span_;
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
  void Add(double BatchTiming::*sum, double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    timing_.*sum += seconds;
  }
  void RenderBegins() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (rendering_++ == 0) renderingSince_ = Clock::now();
  }
  void RenderEnds() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--rendering_ == 0) timing_.rendering += SecondsSince(renderingSince_);
  }
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

// Runs one frame's step for `file`; whatever it throws becomes that frame's failure, so that no
// exception leaves a batch thread and ends the process mid-batch. Image errors already name
// their file; anything else is named here.
template <typename Fail, typename Step>
void Guarded(const std::string& file, const char* verb, Fail& failed, Step&& step) {
  std::string message;
  try {
    step();
    return;
  } catch (const ImageError& e) {
    message = e.what();
  } catch (const std::bad_alloc&) {
    message = file + ": cannot " + verb + ": not enough memory";
  } catch (const std::exception& e) {
    message = file + ": cannot " + verb + ": " + OneLine(e.what());
  } catch (...) {
    message = file + ": cannot " + verb + ": unexpected failure";
  }
  try {
    failed(message);
  } catch (...) {
    // No memory even for the message: the frame still counts as not written.
  }
}

}  // namespace

int DefaultThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores == 0 ? 2u : cores, 1u, 4u));
}

PF_Err RenderImage(Effect& effect, const Image& input, const FrameOptions& options, Image* result) {
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
  std::unique_ptr<hostsim::World> in = ImageToWorld(*source);
  const int depth = source->worldDepth();
  hostsim::World out(source->width, source->height, depth, RowPaddingFor(source->width, depth));
  const PF_Err err = effect.Render(in.get(), &out);
  if (err != 0) return err;
  *result = WorldToImage(out, *source);
  if (options.premultiplied) Premultiply(result);
  return 0;
}

BatchResult RunBatch(Effect& effect, const BatchPlan& plan, const BatchOptions& options,
                     Progress& progress) {
  const int threads = effect.threaded() ? std::max(1, options.threads) : 1;
  effect.SetDownsample(options.frame.downsample);

  std::atomic<bool> stop{false};
  std::atomic<bool> fatalReported{false};
  BatchResult result;
  // A video output is one file: a frame that fails spoils it, and the batch stops.
  const bool ordered = !plan.videoOutput.empty();
  auto failed = [&](const std::string& message) {
    progress.FrameFailed(message);
    if (options.failFast || ordered) stop = true;
  };
  auto stopping = [&] { return stop.load() || g_interrupted.load(); };
  BatchClock clock;
  const auto batchStart = Clock::now();

  // A video input is opened before anything starts: a file that is no video fails the batch.
  std::unique_ptr<VideoReader> video;
  if (!plan.videoInput.empty()) {
    video = std::make_unique<VideoReader>(plan.videoInput);
    progress.SetTotal(video->expectedFrames());
  }
  const VideoSource videoSource = video ? video->source() : VideoSource{};

  // Each stage holds at most a couple of frames more than the render threads need.
  BoundedQueue<Work> toRender(size_t(threads) + 1);
  BoundedQueue<Work> toWrite(size_t(threads) + 1);
  OrderWindow window(2 * threads + 2);

  // Frames enter rendering in order; a video output writes them in that order.
  auto enter = [&](Work work) {
    if (work.image.worldDepth() == 32 && !effect.floatColour()) {
      failed(work.job.input + ": cannot render: the plug-in does not take 32-bit float frames");
      return;
    }
    if (ordered) window.WaitForRoom(work.index, stopping);
    toRender.Push(std::move(work));
  };

  std::thread reader([&] {
    if (video != nullptr) {
      // A video's frames, numbered from 1 as the decoder gives them, damaged ones included.
      bool more = true;
      int index = 0, unreadable = 0;
      while (more && !stopping()) {
        bool read = false;
        Guarded(plan.videoInput, "read", failed, [&] {
          Work work;
          const auto start = Clock::now();
          more = video->Read(&work.image, &work.time);
          read = true;
          if (!more) return;
          clock.Add(&BatchTiming::reading, SecondsSince(start));
          work.job.frame = video->framesRead();
          work.job.input = plan.videoInput + ": frame " + std::to_string(work.job.frame);
          work.job.output = ordered ? plan.videoOutput : plan.framePattern.Format(work.job.frame);
          work.index = index++;
          enter(std::move(work));
        });
        unreadable += !read;
      }
      // The total was the file's own estimate; now it is known.
      if (!more) progress.SetTotal(index + unreadable);
      if (!more && index + unreadable == 0)
        failed(plan.videoInput + ": no frames in its video stream");
      toRender.Close();
      return;
    }
    for (size_t i = 0; i < plan.jobs.size(); ++i) {
      const FrameJob& job = plan.jobs[i];
      if (stopping()) break;
      if (job.missing) {
        failed(job.input + ": missing (a gap in the sequence)");
        continue;
      }
      Guarded(job.input, "read", failed, [&] {
        Work work;
        work.job = job;
        work.index = static_cast<int>(i);
        work.time.pts = work.index;  // frames from files: one frame of the video's rate each
        work.time.duration = 1;
        const auto start = Clock::now();
        work.image = ReadImage(job.input);
        clock.Add(&BatchTiming::reading, SecondsSince(start));
        enter(std::move(work));
      });
    }
    toRender.Close();
  });

  std::atomic<int> workersLeft{threads};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      while (std::optional<Work> work = toRender.Pop()) {
        if (stopping()) continue;  // drain: the reader may wait on a full queue
        Guarded(work->job.input, "render", failed, [&] {
          Image rendered;
          PF_Err err = 0;
          clock.RenderBegins();
          try {
            err = RenderImage(effect, work->image, options.frame, &rendered);
          } catch (...) {
            clock.RenderEnds();
            throw;
          }
          clock.RenderEnds();
          if (err == PF_Err_INTERNAL_STRUCT_DAMAGED) {
            // Without a usable context no frame can render; one line says so, not one per frame.
            stop = true;
            if (!fatalReported.exchange(true))
              progress.FrameFailed(work->job.input + ": cannot render: " +
                                   DescribePluginError(err) +
                                   " (is OpenGL 3.2 available? the plug-in's own messages are on "
                                   "standard output)");
            return;
          }
          if (err != 0) {
            failed(work->job.input + ": cannot render: " + DescribePluginError(err) + " (" +
                   std::to_string(work->image.width) + " x " +
                   std::to_string(work->image.height) + ", plug-in error " +
                   std::to_string(err) + ")");
            return;
          }
          work->image = std::move(rendered);
          toWrite.Push(std::move(*work));
        });
      }
      if (--workersLeft == 0) toWrite.Close();
    });
  }

  bool videoWritten = false;
  std::thread writer([&] {
    if (ordered) {
      // Frames are encoded in order, those that overtook a slower one held until its turn. The
      // file is put in place only when every frame made it; otherwise nothing is left.
      std::map<int, Work> held;
      int next = 0;
      std::unique_ptr<VideoWriter> out;
      while (std::optional<Work> work = toWrite.Pop()) {
        if (stopping()) continue;  // drain
        held.emplace(work->index, std::move(*work));
        while (!held.empty() && held.begin()->first == next && !stopping()) {
          Work w = std::move(held.begin()->second);
          held.erase(held.begin());
          Guarded(plan.videoOutput, "write", failed, [&] {
            const auto start = Clock::now();
            if (!out) {
              out = std::make_unique<VideoWriter>(plan.videoOutput, w.image,
                                                  video ? &videoSource : nullptr,
                                                  VideoWriteOptionsFrom(options.frame.write));
              for (const std::string& note : out->notes())
                progress.Note(plan.videoOutput + ": " + note);
            }
            out->Write(w.image, w.time);
            clock.Add(&BatchTiming::writing, SecondsSince(start));
            progress.FrameDone(plan.videoOutput + " frame " + std::to_string(w.job.frame));
            window.Advance(++next);
          });
        }
      }
      if (out && held.empty() && !stopping()) {
        Guarded(plan.videoOutput, "write", failed, [&] {
          const auto start = Clock::now();
          out->Finish();
          clock.Add(&BatchTiming::writing, SecondsSince(start));
          videoWritten = true;
        });
      }
      out.reset();  // a file not finished is removed
      if (!videoWritten && stopping())
        progress.Note(plan.videoOutput + ": not written");
      return;
    }
    // Frames already rendered are written even after a stop: each file is complete.
    while (std::optional<Work> work = toWrite.Pop()) {
      Guarded(work->job.output, "write", failed, [&] {
        const auto start = Clock::now();
        WriteImage(work->image, work->job.output, options.frame.write);
        clock.Add(&BatchTiming::writing, SecondsSince(start));
        progress.FrameDone(work->job.output);
      });
    }
  });

  reader.join();
  for (std::thread& w : workers) w.join();
  writer.join();

  result.timing = clock.Finish(batchStart);
  result.written = progress.done();
  result.failed = progress.failed();
  result.interrupted = g_interrupted.load();
  result.stopped = stop.load() || result.interrupted;
  result.complete = result.failed == 0 && !result.stopped && result.written == progress.total() &&
                    (!ordered || videoWritten);
  return result;
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
