// The video a writer mirrors, as its reader hands it over: a still copy of the source's streams
// (parameters, tags, side data, metadata and chapters), taken when the file was opened, and the
// packets of its other streams as the reader demuxes them, so that the file is demuxed once.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "cli/libav/libav.h"

namespace fxaa_cli {

class VideoMirror {
 public:
  // Copies what a writer needs of `input` (just opened: its stream information read, no packet
  // demuxed since) whose main video stream is `videoStream`. Without `otherStreams` the writer
  // writes the video alone, and no packet is pushed. Throws std::bad_alloc.
  VideoMirror(const std::string& path, const AVFormatContext* input, int videoStream,
              bool otherStreams = true);
  ~VideoMirror();
  VideoMirror(const VideoMirror&) = delete;
  VideoMirror& operator=(const VideoMirror&) = delete;

  const std::string& path() const { return path_; }
  // The source's demuxer ("matroska,webm", "mpegts", ...).
  const std::string& container() const { return container_; }
  // The copy: streams in the source's order, its metadata and chapters. Never demuxed.
  const AVFormatContext* streams() const { return streams_; }
  const AVStream* video() const { return streams_->streams[videoStream_]; }
  bool otherStreams() const { return otherStreams_; }
  // The reader's side, before it hands over the first frame: side data of the video stream that
  // its container does not hold but its frames carry (HDR10's mastering display and content
  // light levels, in the bitstream's SEI), unless the stream has that type already.
  void AddVideoSideData(AVPacketSideDataType type, const uint8_t* data, size_t size);

  // The reader's side: a packet of another stream (its reference is taken), then the end.
  void Push(AVPacket* packet);
  void Close();

  // The writer's side: the streams it does not copy, whose packets are then dropped; the oldest
  // packet waiting, into `packet`, when it was demuxed at most
  // `limit` seconds into its stream; false when none such is waiting. With `toTheEnd`, waits for
  // the reader to push or close, and takes any packet.
  void Ignore(int stream);
  bool Pop(double limit, bool toTheEnd, AVPacket* packet);

 private:
  std::string path_;
  std::string container_;
  AVFormatContext* streams_ = nullptr;
  int videoStream_;
  bool otherStreams_;
  std::mutex mutex_;
  std::condition_variable pushed_;
  std::deque<AVPacket*> packets_;
  std::vector<bool> ignored_;  // by stream index
  bool closed_ = false;
};

}  // namespace fxaa_cli
