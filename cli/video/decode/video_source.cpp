// A video's frames as a batch's source: the frames the decoder gives, numbered from 1, each named
// by the file, its number and its time. When damage is concealed, a frame left out keeps its
// number: the frames after it are numbered as in a whole file. Selected frames (--frames) keep
// the numbers they have in the whole stream; each run of consecutive numbers is read as one span
// (VideoReader::ReadSpan).
#include <memory>
#include <utility>

#include "cli/video/video.h"
#include "cli/sequence.h"

namespace fxaa_cli {

namespace {

class VideoSource : public FrameSource {
 public:
  explicit VideoSource(std::string path) : path_(std::move(path)) {}

  void ConcealDamage() override { damaged_ = DamagedFrames::kConceal; }
  void Open() override {
    reader_ = std::make_unique<VideoReader>(path_, damaged_);
    if (!wanted_.empty()) OpenFrameIndex();
  }
  void SelectFrames(const std::vector<int>& numbers) override { wanted_ = numbers; }
  int expectedFrames() const override {
    if (!wanted_.empty()) return static_cast<int>(wanted_.size());
    return reader_ ? reader_->expectedFrames() : 0;
  }
  // A range written as a video is a part, which holds the video alone: the join copies the
  // other streams from the source whole. Cut at each part's bounds and put back together, audio
  // would gain or lose packets at every seam (its packets do not end where frames do).
  std::shared_ptr<VideoMirror> mirror() override {
    return wanted_.empty() ? reader_->ShareStreams() : reader_->ShareVideoStream();
  }
  const std::string& name() const override { return path_; }

  bool Next(Frame* frame) override {
    if (!wanted_.empty()) return NextSelected(frame);
    if (done_) return false;
    bool more;
    try {
      more = reader_->Read(&frame->image, &frame->time, &frame->damage);
    } catch (const ImageError&) {
      ++failures_;
      throw;
    }
    if (!more) {
      done_ = true;
      if (frames_ == 0 && failures_ == 0)
        throw ImageError(path_ + ": no frames in its video stream");
      return false;
    }
    frame->index = frames_++;
    frame->number = reader_->framesRead();
    frame->file = path_;
    frame->name = FrameName(path_, frame->number, reader_->Seconds(frame->time.pts));
    return true;
  }

  std::vector<std::string> TakeLeftOut() override {
    return reader_ ? reader_->TakeLeftOut() : std::vector<std::string>{};
  }
  std::vector<std::string> TakeNotes() override {
    return reader_ ? reader_->TakeNotes() : std::vector<std::string>{};
  }

 private:
  // The index of the stream's frames, and the selected frames as runs of consecutive numbers.
  void OpenFrameIndex() {
    index_ = std::make_unique<VideoFrameIndex>(path_);
    if (wanted_.back() > index_->count())
      throw UsageError(path_ + ": --frames asks for frame " + std::to_string(wanted_.back()) +
                       "; the video has " + std::to_string(index_->count()));
    for (int n : wanted_) {
      if (runs_.empty() || n != runs_.back().second + 1) runs_.push_back({n, n});
      else runs_.back().second = n;
    }
  }

  // The next selected frame: the reader is moved to each run in turn.
  bool NextSelected(Frame* frame) {
    for (;;) {
      if (!inRun_) {
        if (run_ == runs_.size()) return false;
        const auto [first, last] = runs_[run_++];
        reader_->ReadSpan(index_->Span(first, last));
        inRun_ = true;
      }
      if (reader_->Read(&frame->image, &frame->time, &frame->damage)) break;
      inRun_ = false;
    }
    frame->index = frames_++;
    frame->number = reader_->framesRead();
    frame->file = path_;
    frame->name = FrameName(path_, frame->number, reader_->Seconds(frame->time.pts));
    return true;
  }

  std::string path_;
  DamagedFrames damaged_ = DamagedFrames::kFail;
  std::unique_ptr<VideoReader> reader_;
  int frames_ = 0, failures_ = 0;
  bool done_ = false;
  std::vector<int> wanted_;  // selected frames; empty: all
  std::unique_ptr<VideoFrameIndex> index_;
  std::vector<std::pair<int, int>> runs_;
  size_t run_ = 0;
  bool inRun_ = false;
};

}  // namespace

std::unique_ptr<FrameSource> OpenVideoSource(const std::string& path) {
  return std::make_unique<VideoSource>(path);
}

}  // namespace fxaa_cli
