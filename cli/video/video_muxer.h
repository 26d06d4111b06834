// A video output file: written to a temporary file beside its name, with the streams the writer
// adds, packets interleaved by time, and put in place by Finish; removed when not finished.
#pragma once

#include <functional>
#include <string>

#include "cli/libav/libav.h"

namespace fxaa_cli::libav {

class VideoMuxer {
 public:
  // Throws ImageError naming `path`.
  VideoMuxer(const std::string& path, const AVOutputFormat* container);
  ~VideoMuxer();
  VideoMuxer(const VideoMuxer&) = delete;
  VideoMuxer& operator=(const VideoMuxer&) = delete;

  const AVOutputFormat* container() const { return output_->oformat; }
  AVFormatContext* context() { return output_; }
  // A new stream; throws std::bad_alloc.
  AVStream* AddStream();
  // Opens the file and writes its header, with the container's own options ("key=value:...").
  void Start(const std::string& options);
  // One packet, in its stream's time base; its reference is taken.
  void Write(AVPacket* packet, const char* what);
  // Writes the trailer, closes the file, hands it to `check` (which throws ImageError when it is
  // not what it should be) and renames it over `path`.
  void Finish(const std::function<void(const std::string& written)>& check = nullptr);

 private:
  [[noreturn]] void Fail(const std::string& what, int err) const;

  std::string path_, tmp_;
  AVFormatContext* output_ = nullptr;
  bool fileOpen_ = false;
  bool finished_ = false;
};

}  // namespace fxaa_cli::libav
