#include "cli/video/copy/video_mirror.h"

#include <new>

namespace fxaa_cli {

using namespace libav;

namespace {

// Copies a stream's description into a new stream of `to`.
void CopyStream(const AVStream* from, AVFormatContext* to) {
  AVStream* copy = avformat_new_stream(to, nullptr);
  if (copy == nullptr) throw std::bad_alloc();
  CopyStreamDescription(from, copy);
  copy->id = from->id;  // a transport stream's PID
  copy->duration = from->duration;
  copy->nb_frames = from->nb_frames;
}

}  // namespace

VideoMirror::VideoMirror(const std::string& path, const AVFormatContext* input, int videoStream,
                         bool otherStreams)
    : path_(path), container_(input->iformat->name), streams_(avformat_alloc_context()),
      videoStream_(videoStream),
      otherStreams_(otherStreams), ignored_(input->nb_streams, false) {
  if (streams_ == nullptr) throw std::bad_alloc();
  try {
    for (unsigned i = 0; i < input->nb_streams; ++i) CopyStream(input->streams[i], streams_);
    if (av_dict_copy(&streams_->metadata, input->metadata, 0) < 0) throw std::bad_alloc();
    CopyChapters(input, streams_);
    std::vector<int> same(input->nb_streams);
    for (unsigned i = 0; i < input->nb_streams; ++i) same[i] = static_cast<int>(i);
    CopyPrograms(input, streams_, same);
  } catch (...) {
    avformat_free_context(streams_);
    throw;
  }
}

VideoMirror::~VideoMirror() {
  for (AVPacket* packet : packets_) av_packet_free(&packet);
  avformat_free_context(streams_);
}

void VideoMirror::AddVideoSideData(AVPacketSideDataType type, const uint8_t* data, size_t size) {
  AddStreamSideData(streams_->streams[videoStream_], type, data, size);
}

void VideoMirror::Push(AVPacket* packet) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ignored_.at(size_t(packet->stream_index))) return;
  }
  AVPacket* held = av_packet_alloc();
  if (held == nullptr) throw std::bad_alloc();
  av_packet_move_ref(held, packet);
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    packets_.push_back(held);
  } catch (...) {
    av_packet_free(&held);  // the queue could not take it: not kept, not leaked
    throw;
  }
  pushed_.notify_all();
}

void VideoMirror::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  pushed_.notify_all();
}

void VideoMirror::Ignore(int stream) {
  std::lock_guard<std::mutex> lock(mutex_);
  ignored_.at(size_t(stream)) = true;
}

bool VideoMirror::Pop(double limit, bool toTheEnd, AVPacket* packet) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (toTheEnd) pushed_.wait(lock, [&] { return !packets_.empty() || closed_; });
    if (packets_.empty()) return false;
    if (!ignored_[size_t(packets_.front()->stream_index)]) break;
    av_packet_free(&packets_.front());
    packets_.pop_front();
  }
  AVPacket* front = packets_.front();
  const AVStream* stream = streams_->streams[front->stream_index];
  const int64_t ts = front->dts != AV_NOPTS_VALUE ? front->dts : front->pts;
  if (!toTheEnd && ts != AV_NOPTS_VALUE && Seconds(ts, stream->time_base) > limit) return false;
  packets_.pop_front();
  lock.unlock();
  av_packet_move_ref(packet, front);
  av_packet_free(&front);
  return true;
}

}  // namespace fxaa_cli
