// A video output's encoder: chosen for the container and the frames (video_encoder_choice.h), set
// up with the source video's timeline and tags or the rate of image files, opened, and fed
// frames converted to its pixel format.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/video/video.h"
#include "cli/video/encode/video_encoder_choice.h"

namespace fxaa_cli::libav {

class VideoEncoder {
 public:
  // For frames like `first` into `container`, mirroring `source` (none for image files), the first
  // frame's lines taken as `firstFields`. Throws ImageError naming `path`.
  VideoEncoder(const std::string& path, const AVOutputFormat* container, const Image& first,
               const AVStream* source, const VideoWriteOptions& options,
               FieldOrder firstFields = FieldOrder::kProgressive);
  // Drains SVT-AV1 when it was not flushed, its packets dropped: freed without the end of its
  // frames it waits for them for ever, and told the end before any frame, too (it gets a black
  // one). Other encoders are freed as they are.
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  const AVCodecContext* context() const { return encoder_.get(); }
  // The time base of the frames' times handed to Send: the source's, or one tick a frame.
  AVRational framesTimeBase() const { return framesTimeBase_; }
  // What the user should know: the codec chosen, what of the input it cannot hold.
  const std::vector<std::string>& notes() const { return notes_; }
  // Frames sent so far.
  int framesIn() const { return framesIn_; }
  // Whether the encoder writes the frames' closed captions (A/53) into its bitstream: x264's,
  // x265's and MPEG-2's do (their a53cc setting, turned on).
  bool CarriesCaptions() const;

  // Takes the packets the encoder has ready, in the frames' time base, with their durations set.
  using PacketTaker = std::function<void(AVPacket* packet)>;
  // Encodes one frame, in presentation order.
  void Send(const Image& image, const FrameTime& time, const PacketTaker& take);
  // Drains what the encoder still holds; throws ImageError when no frame was sent.
  void Flush(const PacketTaker& take);

 private:
  void Configure(const Image& first, const AVStream* source, const VideoWriteOptions& options,
                 FieldOrder firstFields);
  void CropToWholeChroma();
  void PrepareFrame();
  void Drain(const PacketTaker& take);
  [[noreturn]] void Fail(const std::string& what, int err) const;

  std::string path_;
  std::vector<std::string> notes_;
  EncoderChoice choice_;
  EncoderSetup setup_;
  CodecPtr encoder_;
  ImageToFrame converter_;
  FramePtr frame_{av_frame_alloc()};
  PacketPtr packet_{av_packet_alloc()};
  AVRational framesTimeBase_{1, 1};
  // Where the encoder counts its own ticks (MPEG-1 and MPEG-2), the first frame's time: its
  // ticks count from there, so that times off the tick grid by a constant keep their offset.
  int64_t origin_ = AV_NOPTS_VALUE;
  int imageWidth_ = 0, imageHeight_ = 0;  // the frames', which the encoder's may crop
  int framesIn_ = 0;
  bool flushed_ = false;
  std::map<int64_t, int64_t> durations_;  // frame durations by pts, for packets without one
};

}  // namespace fxaa_cli::libav
