// Encoding frames into a video file: the encoder (video_encoder.cpp), the muxer
// (video_muxer.cpp) and, for a video made from a video, the copy of its other streams
// (video_stream_copy.cpp), whose packets its reader hands over as it demuxes them.
#include <algorithm>
#include <memory>
#include <new>

#include "cli/formats/format.h"
#include "cli/formats/video.h"
#include "cli/formats/video_containers.h"
#include "cli/formats/video_encoder.h"
#include "cli/formats/video_libav.h"
#include "cli/formats/video_mirror.h"
#include "cli/formats/video_muxer.h"
#include "cli/formats/video_stream_copy.h"

namespace fxaa_cli {

using namespace libav;

namespace {

// The output's video stream, for the encoder's packets: its codec, timeline, tags and, from a
// source video, its disposition, metadata and side data.
AVStream* AddVideoStream(VideoMuxer& muxer, const AVCodecContext* enc, const AVStream* in) {
  AVStream* out = muxer.AddStream();
  if (avcodec_parameters_from_context(out->codecpar, enc) < 0) throw std::bad_alloc();
  const AVOutputFormat* container = muxer.container();
  const unsigned tag = out->codecpar->codec_tag;
  if (tag != 0 && (container->codec_tag == nullptr ||
                   av_codec_get_id(container->codec_tag, tag) != enc->codec_id))
    out->codecpar->codec_tag = 0;
  out->time_base = VideoStreamTimeBase(container, enc);
  out->avg_frame_rate = enc->framerate;
  out->r_frame_rate = in != nullptr ? in->r_frame_rate : enc->framerate;
  out->sample_aspect_ratio = enc->sample_aspect_ratio;
  if (in != nullptr) {
    out->disposition = in->disposition;
    if (av_dict_copy(&out->metadata, in->metadata, 0) < 0) throw std::bad_alloc();
    CopyStreamSideData(in, out, true);
  }
  av_dict_set(&out->metadata, "encoder",
              (std::string(LIBAVCODEC_IDENT) + " " + enc->codec->name).c_str(), 0);
  return out;
}

}  // namespace

struct VideoWriter::State {
  std::unique_ptr<VideoMuxer> muxer;
  std::unique_ptr<VideoEncoder> encoder;
  std::unique_ptr<StreamCopy> copy;  // none for frames from image files
  AVStream* video = nullptr;
  std::vector<std::string> notes;

  // An encoded packet into the file, after the other streams' packets up to its time.
  void Take(AVPacket* packet) {
    av_packet_rescale_ts(packet, encoder->framesTimeBase(), video->time_base);
    packet->stream_index = video->index;
    const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (copy) copy->CopyUntil(libav::Seconds(ts, video->time_base));
    muxer->Write(packet, "cannot write");
  }
};

VideoWriter::VideoWriter(const std::string& path, const Image& first, VideoMirror* source,
                         const VideoWriteOptions& options, FieldOrder firstFields)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  KeepLogQuiet();
  ClearLoggedError();
  const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
  const Format* format = FormatForName(path);
  if (container == nullptr || format == nullptr || !format->holdsFrames())
    throw ImageError(path + ": cannot write: not a video container name");
  const AVStream* in = source != nullptr ? source->video() : nullptr;
  s.encoder = std::make_unique<VideoEncoder>(path, container, first, in, options, firstFields);
  s.notes = s.encoder->notes();
  s.muxer = std::make_unique<VideoMuxer>(path, container);
  auto addVideo = [&] { s.video = AddVideoStream(*s.muxer, s.encoder->context(), in); };
  if (source != nullptr && source->otherStreams())
    s.copy = std::make_unique<StreamCopy>(path, *source, *s.muxer, addVideo, &s.notes);
  else
    addVideo();
  s.muxer->Start(options.muxerOptions);
}

VideoWriter::~VideoWriter() = default;

void TryVideoEncoder(const std::string& path, VideoMirror& source,
                     const VideoWriteOptions& options, int downsample) {
  KeepLogQuiet();
  const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
  const AVCodecParameters* par = source.video()->codecpar;
  if (container == nullptr || par->width <= 0 || par->height <= 0) return;
  const AVPixelFormat format = static_cast<AVPixelFormat>(par->format);
  const bool interlaced = par->field_order != AV_FIELD_UNKNOWN &&
                          par->field_order != AV_FIELD_PROGRESSIVE;
  // The frames as the reader gives them and the batch renders them: interlaced ones a field at a
  // time, each field reduced on its own. Only their description: the encoder reads no pixel.
  const int n = std::max(1, downsample);
  auto reduced = [n](int size) { return (size + n - 1) / n; };
  Image first;
  first.width = reduced(par->width);
  first.height = interlaced ? reduced((par->height + 1) / 2) + reduced(par->height / 2)
                            : reduced(par->height);
  first.type = IsDeep(format) ? SampleType::kUInt16 : SampleType::kUInt8;
  first.layout = HasAlphaChannel(format) ? ChannelLayout::kRGBA : ChannelLayout::kRGB;
  VideoEncoder(path, container, first, source.video(), options,
               interlaced ? FieldOrder::kTopFirst : FieldOrder::kProgressive);
}

std::string CheckVideoEncoder(const std::string& name) {
  KeepLogQuiet();
  const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
  if (codec == nullptr) return "no such encoder in this FFmpeg (\"ffmpeg -encoders\" lists them)";
  if (codec->type != AVMEDIA_TYPE_VIDEO) return "not a video encoder";
  return "";
}

const std::vector<std::string>& VideoWriter::notes() const { return state_->notes; }

double VideoWriter::Seconds(const FrameTime& time) const {
  return libav::Seconds(time.pts, state_->encoder->framesTimeBase());
}

void VideoWriter::Write(const Image& image, const FrameTime& time) {
  State& s = *state_;
  s.encoder->Send(image, time, [&s](AVPacket* packet) { s.Take(packet); });
}

void VideoWriter::Finish() {
  State& s = *state_;
  s.encoder->Flush([&s](AVPacket* packet) { s.Take(packet); });
  if (s.copy) s.copy->CopyRest();
  s.muxer->Finish();
}

}  // namespace fxaa_cli
