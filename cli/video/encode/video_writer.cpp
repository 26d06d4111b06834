// Encoding frames into a video file: the encoder (video_encoder.cpp), the muxer
// (video_muxer.cpp) and, for a video made from a video, the copy of its other streams
// (video_stream_copy.cpp), whose packets its reader hands over as it demuxes them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

extern "C" {
#include <libavutil/display.h>
}

#include "cli/formats/format.h"
#include "cli/video/video.h"
#include "cli/video/video_containers.h"
#include "cli/video/encode/video_encoder.h"
#include "cli/libav/libav.h"
#include "cli/video/copy/video_mirror.h"
#include "cli/video/video_muxer.h"
#include "cli/video/copy/video_stream_copy.h"

namespace fxaa_cli {

using namespace libav;

namespace {

// Frames of a written video decoded back as a check.
constexpr int kFramesChecked = 3;

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
  // QuickTime's muxer tags 10-bit H.264 of AVC-Intra's sizes and rates as AVC-Intra (ai12, ...),
  // whose sample description holds no parameter sets: the encoder's would be lost, and no
  // decoder could read the file. It is tagged as the H.264 it is, which keeps them; the muxer
  // takes the tag only when not held to the letter of its own table.
  const bool avcIntraFormat =
      enc->pix_fmt == AV_PIX_FMT_YUV420P10 || enc->pix_fmt == AV_PIX_FMT_YUV422P10;
  if (enc->codec_id == AV_CODEC_ID_H264 && avcIntraFormat &&
      std::string(container->name) == "mov") {
    out->codecpar->codec_tag = MKTAG('a', 'v', 'c', '1');
    muxer.context()->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
  }
  out->time_base = VideoStreamTimeBase(container, enc);
  out->avg_frame_rate = enc->framerate;
  out->r_frame_rate = in != nullptr ? in->r_frame_rate : enc->framerate;
  out->sample_aspect_ratio = enc->sample_aspect_ratio;
  if (in != nullptr) {
    out->disposition = in->disposition;
    if (av_dict_copy(&out->metadata, in->metadata, 0) < 0) throw std::bad_alloc();
    CopyStreamSideData(in, out, true);
  }
  // Matroska's muxer writes the tag as the track's alpha mode: it says what the new frames hold.
  av_dict_set(&out->metadata, "alpha_mode", HasAlphaChannel(enc->pix_fmt) ? "1" : nullptr, 0);
  av_dict_set(&out->metadata, "encoder",
              (std::string(LIBAVCODEC_IDENT) + " " + enc->codec->name).c_str(), 0);
  return out;
}

// The rotation `stream`'s display matrix gives, in degrees; 0 without one.
double RotationOf(const AVStream* stream) {
  const AVPacketSideData* matrix = StreamSideData(stream, AV_PKT_DATA_DISPLAYMATRIX);
  const double degrees =
      matrix != nullptr && matrix->size >= 9 * sizeof(int32_t)
          ? av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix->data))
          : 0;
  return std::isfinite(degrees) ? degrees : 0;
}

// Decodes the first frames of stream `index` of the video just written at `written` (at most
// `wanted`): an encoder and muxer can agree on a file no decoder reads (a tag that promises
// parameter sets the file lacks). Throws ImageError naming `path` when one does not decode.
// Returns the rotation the stream reads back with: muxers drop what they cannot hold unsaid.
double CheckDecodes(const std::string& path, const std::string& written, int index, int wanted) {
  InputPtr input;
  try {
    input = OpenInput(written);
  } catch (const ImageError& e) {
    throw ImageError(path + ": written, but cannot be read back: " + e.what());
  }
  const AVStream* stream = input->streams[index];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  CodecPtr decoder(avcodec_alloc_context3(codec));
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  if (codec == nullptr || !decoder || !packet || !frame ||
      avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0)
    throw ImageError(path + ": written, but no decoder of this FFmpeg reads its video");
  decoder->thread_count = 1;
  ClearLoggedError();
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
    throw ImageError(path + ": written, but its video does not decode: " + TakeLoggedError());
  int decoded = 0;
  bool ended = false;
  std::string error;
  while (decoded < wanted && error.empty()) {
    int err = avcodec_receive_frame(decoder.get(), frame.get());
    if (err == 0) {
      if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT))
        error = "frame " + std::to_string(decoded + 1) + " comes out damaged";
      ++decoded;
      av_frame_unref(frame.get());
    } else if (err == AVERROR_EOF) {
      break;
    } else if (err != AVERROR(EAGAIN)) {
      error = ErrorText(err);
    } else if (ended) {
      break;
    } else if (av_read_frame(input.get(), packet.get()) < 0) {
      ended = true;
      avcodec_send_packet(decoder.get(), nullptr);
    } else {
      if (packet->stream_index == index) err = avcodec_send_packet(decoder.get(), packet.get());
      av_packet_unref(packet.get());
      if (err < 0 && err != AVERROR(EAGAIN)) error = ErrorText(err);
    }
    const std::string logged = TakeLoggedError();
    if (error.empty() && !logged.empty()) error = logged;
  }
  if (error.empty() && decoded < wanted) error = "it gives " + std::to_string(decoded) + " of the "
                                                  "first " + std::to_string(wanted) + " frames";
  if (!error.empty())
    throw ImageError(path + ": written, but its video does not decode: " + error +
                     " (nothing is left under its name)");
  return RotationOf(stream);
}

}  // namespace

struct VideoWriter::State {
  std::string path;
  std::shared_ptr<VideoMirror> source;  // before the copy of its streams, which outlives it
  std::unique_ptr<VideoMuxer> muxer;
  std::unique_ptr<VideoEncoder> encoder;
  std::unique_ptr<StreamCopy> copy;  // none for frames from image files
  AVStream* video = nullptr;
  std::vector<std::string> notes;
  bool captionsTold = false;  // that the encoder leaves the input's captions out

  // An encoded packet into the file, after the other streams' packets up to its time.
  void Take(AVPacket* packet) {
    av_packet_rescale_ts(packet, encoder->framesTimeBase(), video->time_base);
    packet->stream_index = video->index;
    const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (copy) copy->CopyUntil(libav::Seconds(ts, video->time_base));
    muxer->Write(packet, "cannot write");
  }
};

VideoWriter::VideoWriter(const std::string& path, const Image& first,
                         std::shared_ptr<VideoMirror> source, const VideoWriteOptions& options,
                         FieldOrder firstFields)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  s.source = source;
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
    s.copy = std::make_unique<StreamCopy>(path, *source, *s.muxer, addVideo, &s.notes,
                                          options.leaveOutUnfit);
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
  if (!time.captions.empty() && !s.captionsTold && !s.encoder->CarriesCaptions()) {
    s.captionsTold = true;
    s.notes.push_back(std::string("closed captions (A/53) left out: ") +
                      s.encoder->context()->codec->name + " cannot carry them");
  }
  s.encoder->Send(image, time, [&s](AVPacket* packet) { s.Take(packet); });
}

void VideoWriter::Finish() {
  State& s = *state_;
  s.encoder->Flush([&s](AVPacket* packet) { s.Take(packet); });
  if (s.copy) s.copy->CopyRest();
  const int index = s.video->index, wanted = std::min(s.encoder->framesIn(), kFramesChecked);
  const double rotation = s.source ? RotationOf(s.source->video()) : 0;
  s.muxer->Finish([&](const std::string& written) {
    const double kept = CheckDecodes(s.path, written, index, wanted);
    if (rotation == 0 || kept == rotation) return;
    char degrees[32];
    std::snprintf(degrees, sizeof(degrees), "%g", rotation);
    s.notes.push_back(std::string("rotation (") + degrees + " degrees) left out: " +
                      s.muxer->container()->name + " cannot hold it");
  });
}

}  // namespace fxaa_cli
