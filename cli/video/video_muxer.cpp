#include "cli/video/video_muxer.h"

#include <cstdio>
#include <filesystem>
#include <new>

#include "cli/image.h"

namespace fxaa_cli::libav {

VideoMuxer::VideoMuxer(const std::string& path, const AVOutputFormat* container)
    : path_(path), tmp_(TemporaryNameFor(path)) {
  const std::filesystem::path name(path);
  RemoveStaleTemporaries(name.parent_path().string(), [&name](const std::string& file) {
    return file == name.filename().string();
  });
  const int err = avformat_alloc_output_context2(&output_, container, nullptr, tmp_.c_str());
  if (err < 0) Fail("cannot write", err);
}

VideoMuxer::~VideoMuxer() {
  if (output_ != nullptr) {
    if (fileOpen_) avio_closep(&output_->pb);
    avformat_free_context(output_);
  }
  if (!finished_) std::remove(tmp_.c_str());
}

AVStream* VideoMuxer::AddStream() {
  AVStream* stream = avformat_new_stream(output_, nullptr);
  if (stream == nullptr) throw std::bad_alloc();
  return stream;
}

void VideoMuxer::Start(const std::string& options) {
  if (!(output_->oformat->flags & AVFMT_NOFILE)) {
    const int err = avio_open(&output_->pb, tmp_.c_str(), AVIO_FLAG_WRITE);
    if (err < 0) Fail("cannot write", err);
    fileOpen_ = true;
  }
  AVDictionary* dict = nullptr;
  if (!options.empty() && av_dict_parse_string(&dict, options.c_str(), "=", ":", 0) < 0) {
    av_dict_free(&dict);
    throw std::bad_alloc();
  }
  const int err = avformat_write_header(output_, &dict);
  av_dict_free(&dict);
  if (err < 0) Fail("cannot start the file", err);
}

void VideoMuxer::Write(AVPacket* packet, const char* what) {
  const int err = av_interleaved_write_frame(output_, packet);
  if (err < 0) Fail(what, err);
}

void VideoMuxer::Finish(const std::function<void(const std::string& written)>& check) {
  int err = av_write_trailer(output_);
  if (err < 0) Fail("cannot finish the file", err);
  if (fileOpen_) {
    err = avio_closep(&output_->pb);
    fileOpen_ = false;
    if (err < 0) Fail("cannot write", err);
  }
  if (check) check(tmp_);
  std::error_code ec;
  std::filesystem::rename(tmp_, path_, ec);
  if (ec) throw ImageError(path_ + ": cannot write: " + ec.message());
  finished_ = true;
}

void VideoMuxer::Fail(const std::string& what, int err) const {
  throw ImageError(path_ + ": " + what + ": " + ErrorText(err));
}

}  // namespace fxaa_cli::libav
