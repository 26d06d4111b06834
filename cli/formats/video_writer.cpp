// Encoding frames into a video file and muxing them with the input's other streams. The other
// streams are read from the input file by a demuxer of the writer's own and copied packet for
// packet, paced by the video so that the muxer's interleaving queue stays short.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <new>

extern "C" {
#include <libavutil/opt.h>
}

#include "cli/formats/format.h"
#include "cli/formats/video.h"
#include "cli/formats/video_encoder_choice.h"
#include "cli/formats/video_libav.h"
#include "cli/formats/video_pixels.h"

namespace fxaa_cli {

using namespace libav;
namespace fs = std::filesystem;

namespace {

// Stream side data that describes the picture or the stream (rotation, HDR mastering, spherical
// and stereo layout), as opposed to what the old encoder declared about its own bitstream.
bool CarriesOver(AVPacketSideDataType type, bool reencoded) {
  return !(reencoded && type == AV_PKT_DATA_CPB_PROPERTIES);
}

void CopyStreamSideData(const AVStream* from, AVStream* to, bool reencoded) {
  for (int i = 0; i < from->nb_side_data; ++i) {
    const AVPacketSideData& sd = from->side_data[i];
    if (!CarriesOver(sd.type, reencoded)) continue;
    uint8_t* data = av_stream_new_side_data(to, sd.type, sd.size);
    if (data == nullptr) throw std::bad_alloc();
    std::memcpy(data, sd.data, sd.size);
  }
}

// The rate of a video from image files: NTSC rates (23.976, 29.97, 59.94) as their exact ratios.
AVRational RateFromFps(double fps) {
  for (int n : {24, 30, 48, 60, 120}) {
    const double ntsc = n * 1000.0 / 1001.0;
    if (std::fabs(fps - ntsc) < 0.005) return AVRational{n * 1000, 1001};
  }
  return av_d2q(fps, 1000000);
}

}  // namespace

struct VideoWriter::State {
  std::string path, tmp;
  std::vector<std::string> notes;
  AVFormatContext* output = nullptr;
  bool fileOpen = false;
  bool finished = false;

  CodecPtr encoder;
  AVStream* videoOut = nullptr;
  EncoderChoice choice;
  ImageToFrame converter;
  FramePtr frame{av_frame_alloc()};
  PacketPtr packet{av_packet_alloc()};
  int framesIn = 0;
  std::map<int64_t, int64_t> durations;  // frame durations by pts, for packets without one

  // The input's other streams, copied.
  std::string sourcePath;
  InputPtr source;
  std::vector<int> streamMap;  // input stream -> output stream, -1 when not copied
  PacketPtr pending{av_packet_alloc()};
  bool pendingHeld = false;
  bool sourceDone = true;

  ~State() {
    if (output != nullptr) {
      if (fileOpen) avio_closep(&output->pb);
      avformat_free_context(output);
    }
    if (!finished && !tmp.empty()) std::remove(tmp.c_str());
  }

  [[noreturn]] void Fail(const std::string& what, int err) {
    throw ImageError(path + ": " + what + ": " + ErrorText(err));
  }

  // Copies the other streams' packets whose time is at most `limit` seconds.
  void CopyOtherStreamsUntil(double limit) {
    while (!sourceDone) {
      if (!pendingHeld) {
        const int err = av_read_frame(source.get(), pending.get());
        if (err == AVERROR_EOF) {
          sourceDone = true;
          return;
        }
        if (err < 0)
          throw ImageError(sourcePath + ": cannot copy its other streams: " + ErrorText(err));
        if (streamMap[pending->stream_index] < 0) {
          av_packet_unref(pending.get());
          continue;
        }
        pendingHeld = true;
      }
      const AVStream* in = source->streams[pending->stream_index];
      const int64_t ts = pending->dts != AV_NOPTS_VALUE ? pending->dts : pending->pts;
      if (ts != AV_NOPTS_VALUE && Seconds(ts, in->time_base) > limit) return;
      AVStream* out = output->streams[streamMap[pending->stream_index]];
      av_packet_rescale_ts(pending.get(), in->time_base, out->time_base);
      pending->stream_index = out->index;
      pending->pos = -1;
      pendingHeld = false;
      const int err = av_interleaved_write_frame(output, pending.get());
      if (err < 0) Fail("cannot write a copied packet", err);
    }
  }

  // Writes what the encoder has ready.
  void DrainEncoder() {
    for (;;) {
      int err = avcodec_receive_packet(encoder.get(), packet.get());
      if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
      if (err < 0) Fail("cannot encode", err);
      if (packet->duration <= 0) {
        const auto it = durations.find(packet->pts);
        if (it != durations.end()) packet->duration = it->second;
      }
      durations.erase(durations.begin(), durations.upper_bound(packet->pts));
      av_packet_rescale_ts(packet.get(), encoder->time_base, videoOut->time_base);
      packet->stream_index = videoOut->index;
      const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
      CopyOtherStreamsUntil(Seconds(ts, videoOut->time_base));
      err = av_interleaved_write_frame(output, packet.get());
      if (err < 0) Fail("cannot write", err);
    }
  }

  void AddCopiedStream(const AVStream* in) {
    const AVCodecParameters* par = in->codecpar;
    if (avformat_query_codec(output->oformat, par->codec_id, FF_COMPLIANCE_NORMAL) == 0) {
      const std::string what = std::string(av_get_media_type_string(par->codec_type)
                                               ? av_get_media_type_string(par->codec_type)
                                               : "data") +
                               " stream " + std::to_string(in->index) + " (" +
                               avcodec_get_name(par->codec_id) + ")";
      // A data stream the container cannot name is left out (QuickTime's timecode track is
      // rebuilt from the video's timecode tag); audio and subtitles are never dropped quietly.
      if (par->codec_type == AVMEDIA_TYPE_DATA) {
        notes.push_back(what + " not carried over: " + output->oformat->name + " cannot hold it");
        return;
      }
      throw ImageError(path + ": " + output->oformat->name + " cannot hold the " + what +
                       ", which is copied unchanged: use a container that can (.mkv, .mov)");
    }
    AVStream* out = avformat_new_stream(output, nullptr);
    if (out == nullptr || avcodec_parameters_copy(out->codecpar, par) < 0) throw std::bad_alloc();
    // A codec tag means something only in the container family it came from.
    const unsigned tag = par->codec_tag;
    out->codecpar->codec_tag = 0;
    if (output->oformat->codec_tag != nullptr &&
        av_codec_get_id(output->oformat->codec_tag, tag) == par->codec_id)
      out->codecpar->codec_tag = tag;
    out->time_base = in->time_base;
    out->disposition = in->disposition;
    out->avg_frame_rate = in->avg_frame_rate;
    out->r_frame_rate = in->r_frame_rate;
    out->sample_aspect_ratio = in->sample_aspect_ratio;
    av_dict_copy(&out->metadata, in->metadata, 0);
    CopyStreamSideData(in, out, false);
    streamMap[in->index] = out->index;
    sourceDone = false;
  }

  void CopyChapters() {
    for (unsigned c = 0; c < source->nb_chapters; ++c) {
      const AVChapter* from = source->chapters[c];
      AVChapter* to = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
      if (to == nullptr) throw std::bad_alloc();
      to->id = from->id;
      to->time_base = from->time_base;
      to->start = from->start;
      to->end = from->end;
      av_dict_copy(&to->metadata, from->metadata, 0);
      int count = static_cast<int>(output->nb_chapters);
      av_dynarray_add(&output->chapters, &count, to);
      if (output->chapters == nullptr) throw std::bad_alloc();
      output->nb_chapters = static_cast<unsigned>(count);
    }
  }
};

VideoWriter::VideoWriter(const std::string& path, const Image& first, const VideoSource* source,
                         const VideoWriteOptions& options)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  KeepLogQuiet();
  ClearLoggedError();
  s.path = path;
  if (!s.frame || !s.packet || !s.pending) throw ImageError(path + ": not enough memory");
  const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
  if (container == nullptr || FormatForName(path) != &VideoFormat())
    throw ImageError(path + ": cannot write: not a video container name");

  const AVStream* in = nullptr;
  FramesDescription frames;
  frames.alpha = HasAlpha(first.layout);
  frames.deep = first.type != SampleType::kUInt8;
  frames.linear = first.type == SampleType::kHalf || first.type == SampleType::kFloat;
  if (source != nullptr) {
    s.sourcePath = source->path;
    s.source = OpenInput(source->path);
    if (source->streamIndex < 0 || unsigned(source->streamIndex) >= s.source->nb_streams)
      throw ImageError(source->path + ": the video stream is gone");
    in = s.source->streams[source->streamIndex];
    frames.source = in->codecpar;
  }

  try {
    s.choice = ChooseEncoder(container, frames, options.codec);
  } catch (const ImageError& e) {
    throw ImageError(path + ": " + e.what());
  }
  s.notes = s.choice.notes;
  const AVCodec* codec = s.choice.codec;
  if (options.crf >= 0 && !HasCrfOption(codec))
    s.notes.push_back(std::string("--crf left unused: ") + codec->name + " has no crf setting");

  s.tmp = TemporaryNameFor(path);
  int err = avformat_alloc_output_context2(&s.output, container, nullptr, s.tmp.c_str());
  if (err < 0) s.Fail("cannot write", err);

  // The encoder: the frames' size, the input's timeline, the chosen format and colour tags.
  s.encoder.reset(avcodec_alloc_context3(codec));
  if (!s.encoder) throw ImageError(path + ": not enough memory");
  AVCodecContext* enc = s.encoder.get();
  enc->width = first.width;
  enc->height = first.height;
  enc->pix_fmt = s.choice.format;
  if (in != nullptr) {
    enc->time_base = in->time_base;
    enc->framerate = in->avg_frame_rate.num > 0 ? in->avg_frame_rate : in->r_frame_rate;
    enc->sample_aspect_ratio = in->sample_aspect_ratio.num > 0 ? in->sample_aspect_ratio
                                                               : in->codecpar->sample_aspect_ratio;
  } else {
    enc->framerate = RateFromFps(options.fps);
    enc->time_base = av_inv_q(enc->framerate);
    enc->sample_aspect_ratio = AVRational{1, 1};
  }
  enc->color_primaries = s.choice.primaries;
  enc->color_trc = s.choice.transfer;
  enc->colorspace = s.choice.coding.matrix;
  enc->color_range = s.choice.coding.range;
  enc->chroma_sample_location = s.choice.chromaLocation;
  enc->thread_count = 0;
  if (container->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* encoderOptions = nullptr;
  SetQuality(s.choice, frames, options.crf, enc, &encoderOptions);
  // SVT-AV1 prints its settings through its own logger unless told otherwise.
  if (std::string(codec->name) == "libsvtav1") setenv("SVT_LOG", "1", 0);
  err = avcodec_open2(enc, codec, &encoderOptions);
  av_dict_free(&encoderOptions);
  if (err < 0)
    s.Fail(std::string("cannot open the ") + codec->name + " encoder for " +
               std::to_string(first.width) + " x " + std::to_string(first.height) + " " +
               av_get_pix_fmt_name(enc->pix_fmt),
           err);

  // The streams, in the input's order: the video re-encoded, the others copied.
  auto addVideo = [&] {
    s.videoOut = avformat_new_stream(s.output, nullptr);
    if (s.videoOut == nullptr || avcodec_parameters_from_context(s.videoOut->codecpar, enc) < 0)
      throw std::bad_alloc();
    const unsigned tag = s.videoOut->codecpar->codec_tag;
    if (tag != 0 && (container->codec_tag == nullptr ||
                     av_codec_get_id(container->codec_tag, tag) != codec->id))
      s.videoOut->codecpar->codec_tag = 0;
    s.videoOut->time_base = enc->time_base;
    s.videoOut->avg_frame_rate = enc->framerate;
    s.videoOut->r_frame_rate = in != nullptr ? in->r_frame_rate : enc->framerate;
    s.videoOut->sample_aspect_ratio = enc->sample_aspect_ratio;
    if (in != nullptr) {
      s.videoOut->disposition = in->disposition;
      av_dict_copy(&s.videoOut->metadata, in->metadata, 0);
      CopyStreamSideData(in, s.videoOut, true);
    }
    av_dict_set(&s.videoOut->metadata, "encoder",
                (std::string(LIBAVCODEC_IDENT) + " " + codec->name).c_str(), 0);
  };
  if (in == nullptr) {
    addVideo();
  } else {
    s.streamMap.assign(s.source->nb_streams, -1);
    for (unsigned i = 0; i < s.source->nb_streams; ++i) {
      if (static_cast<int>(i) == in->index) {
        addVideo();
        s.source->streams[i]->discard = AVDISCARD_ALL;
      } else {
        s.AddCopiedStream(s.source->streams[i]);
      }
    }
    av_dict_copy(&s.output->metadata, s.source->metadata, 0);
    s.CopyChapters();
  }

  if (!(container->flags & AVFMT_NOFILE)) {
    err = avio_open(&s.output->pb, s.tmp.c_str(), AVIO_FLAG_WRITE);
    if (err < 0) s.Fail("cannot write", err);
    s.fileOpen = true;
  }
  err = avformat_write_header(s.output, nullptr);
  if (err < 0) s.Fail("cannot start the file", err);

  s.frame->format = enc->pix_fmt;
  s.frame->width = enc->width;
  s.frame->height = enc->height;
  s.frame->sample_aspect_ratio = enc->sample_aspect_ratio;
  // Some encoders (ProRes) take the tags from each frame rather than from their settings.
  s.frame->color_primaries = enc->color_primaries;
  s.frame->color_trc = enc->color_trc;
  s.frame->colorspace = enc->colorspace;
  s.frame->color_range = enc->color_range;
  s.frame->chroma_location = enc->chroma_sample_location;
  err = av_frame_get_buffer(s.frame.get(), 0);
  if (err < 0) s.Fail("cannot hold a frame", err);
}

VideoWriter::~VideoWriter() = default;

std::string CheckVideoEncoder(const std::string& name) {
  KeepLogQuiet();
  const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
  if (codec == nullptr) return "no such encoder in this FFmpeg (\"ffmpeg -encoders\" lists them)";
  if (codec->type != AVMEDIA_TYPE_VIDEO) return "not a video encoder";
  return "";
}

const std::vector<std::string>& VideoWriter::notes() const { return state_->notes; }

void VideoWriter::Write(const Image& image, const FrameTime& time) {
  State& s = *state_;
  const int width = s.encoder->width, height = s.encoder->height;
  if (image.width != width || image.height != height)
    throw ImageError(s.path + ": frame " + std::to_string(s.framesIn + 1) + " is " +
                     std::to_string(image.width) + " x " + std::to_string(image.height) +
                     ", the video " + std::to_string(width) + " x " + std::to_string(height));
  // The encoder may still hold the previous frame's buffers; the copy keeps the frame's tags.
  int err = av_frame_make_writable(s.frame.get());
  if (err < 0) s.Fail("cannot hold a frame", err);
  s.converter.Convert(image, s.choice.coding, s.frame.get());
  s.frame->pts = time.pts;
  if (time.duration > 0) s.durations[time.pts] = time.duration;
  ++s.framesIn;
  err = avcodec_send_frame(s.encoder.get(), s.frame.get());
  if (err < 0) s.Fail("cannot encode frame " + std::to_string(s.framesIn), err);
  s.DrainEncoder();
}

void VideoWriter::Finish() {
  State& s = *state_;
  if (s.framesIn == 0) throw ImageError(s.path + ": no frames to write");
  int err = avcodec_send_frame(s.encoder.get(), nullptr);
  if (err < 0) s.Fail("cannot encode", err);
  s.DrainEncoder();
  s.CopyOtherStreamsUntil(std::numeric_limits<double>::infinity());
  err = av_write_trailer(s.output);
  if (err < 0) s.Fail("cannot finish the file", err);
  if (s.fileOpen) {
    err = avio_closep(&s.output->pb);
    s.fileOpen = false;
    if (err < 0) s.Fail("cannot write", err);
  }
  std::error_code ec;
  fs::rename(s.tmp, s.path, ec);
  if (ec) throw ImageError(s.path + ": cannot write: " + ec.message());
  s.finished = true;
}

}  // namespace fxaa_cli
