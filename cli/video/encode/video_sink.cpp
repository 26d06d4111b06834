// A video file as a batch's sink: frames are encoded in order, those that overtook a slower one
// held until their turn, and a frame may enter rendering only while it is a few frames ahead of
// the next to encode, so that the frames held back stay few. The file is put in place only when
// every frame made it; otherwise nothing is left.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "cli/video/video.h"
#include "cli/video/video_containers.h"
#include "cli/sequence.h"

namespace fxaa_cli {

namespace {

class VideoSink : public FrameSink {
 public:
  VideoSink(std::string path, VideoWriteOptions options)
      : path_(std::move(path)), options_(std::move(options)) {}

  void Start(FrameSource& source, const SinkContext& context) override {
    source_ = source.mirror();
    context_ = context;
    span_ = 2 * context.renderThreads + 2;
    if (source_ != nullptr) TryVideoEncoder(path_, *source_, options_, context.downsample);
  }
  bool wholeOrNothing() const override { return true; }
  const std::string& name() const override { return path_; }

  // A signal handler cannot wake the wait, so it looks again now and then.
  void Admit(int index, const std::function<bool()>& stopping) override {
    std::unique_lock<std::mutex> lock(mutex_);
    while (index >= next_ + span_ && !stopping())
      moved_.wait_for(lock, std::chrono::milliseconds(50));
  }

  void Put(Frame frame) override {
    held_.emplace(frame.index, std::move(frame));
    while (!held_.empty() && held_.begin()->first == next_) {
      Frame next = std::move(held_.begin()->second);
      held_.erase(held_.begin());
      Encode(next);
    }
  }

  void Finish() override {
    if (!writer_) throw ImageError(path_ + ": no frames to write");
    writer_->Finish();
    const std::vector<std::string>& notes = writer_->notes();
    for (size_t i = notesTold_; i < notes.size(); ++i) context_.note(path_ + ": " + notes[i]);
  }

 private:
  // The next frame in order into the file, which is begun with the first.
  void Encode(const Frame& frame) {
    if (!writer_) {
      writer_ = std::make_unique<VideoWriter>(path_, frame.image, source_, options_,
                                              frame.time.fields);
      for (const std::string& note : writer_->notes()) context_.note(path_ + ": " + note);
      notesTold_ = writer_->notes().size();
    }
    writer_->Write(frame.image, frame.time);
    context_.frameWritten(FrameName(path_, next_ + 1, writer_->Seconds(frame.time)));
    std::lock_guard<std::mutex> lock(mutex_);
    ++next_;
    moved_.notify_all();
  }

  std::string path_;
  VideoWriteOptions options_;
  std::shared_ptr<VideoMirror> source_;
  SinkContext context_;
  int span_ = 4;
  std::unique_ptr<VideoWriter> writer_;
  std::map<int, Frame> held_;  // frames that came before their turn, by index
  std::mutex mutex_;
  std::condition_variable moved_;
  int next_ = 0;  // the index of the next frame to encode
  size_t notesTold_ = 0;  // the writer's notes told so far
};

}  // namespace

std::unique_ptr<FrameSink> OpenVideoSink(const std::string& path, const WriteOptions& options,
                                         const std::string& muxerOptions) {
  if (options.overrideType || options.overrideLayout)
    throw UsageError("--depth and --channels are for image outputs; a video keeps its input's");
  VideoWriteOptions video = VideoWriteOptionsFrom(options);
  libav::CheckContainerTakesEncoder(path, video.codec);
  video.muxerOptions = muxerOptions;
  return std::make_unique<VideoSink>(path, video);
}

}  // namespace fxaa_cli
