// A video's frames as a batch's source: the frames the decoder gives, numbered from 1, each named
// by the file, its number and its time. When damage is concealed, a frame left out keeps its
// number: the frames after it are numbered as in a whole file.
#include <memory>

#include "cli/formats/video.h"

namespace fxaa_cli {

namespace {

class VideoSource : public FrameSource {
 public:
  explicit VideoSource(std::string path) : path_(std::move(path)) {}

  void ConcealDamage() override { damaged_ = DamagedFrames::kConceal; }
  void Open() override { reader_ = std::make_unique<VideoReader>(path_, damaged_); }
  int expectedFrames() const override { return reader_ ? reader_->expectedFrames() : 0; }
  VideoMirror* mirror() override { return &reader_->ShareStreams(); }
  const std::string& name() const override { return path_; }

  bool Next(Frame* frame) override {
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

 private:
  std::string path_;
  DamagedFrames damaged_ = DamagedFrames::kFail;
  std::unique_ptr<VideoReader> reader_;
  int frames_ = 0, failures_ = 0;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<FrameSource> OpenVideoSource(const std::string& path) {
  return std::make_unique<VideoSource>(path);
}

}  // namespace fxaa_cli
