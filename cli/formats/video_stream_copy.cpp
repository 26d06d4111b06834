#include "cli/formats/video_stream_copy.h"

#include <limits>
#include <new>

#include "cli/formats/video_containers.h"
#include "cli/image.h"

namespace fxaa_cli::libav {

namespace {

// What a packet of `in`, demuxed from `from`, needs added to its times to be shown at the same
// time from a file of `to`. Matroska's demuxer shows Opus packets earlier by the stream's codec
// delay, which its muxer records but does not take off again: the muxer moves every stream
// later instead, so that the first packet is not before zero, and the video with it.
int64_t OpusDelay(const std::string& from, const AVOutputFormat* to, const AVStream* in) {
  const AVCodecParameters* par = in->codecpar;
  const std::string muxer = to->name;
  if (par->codec_id != AV_CODEC_ID_OPUS || par->initial_padding <= 0 ||
      from.rfind("matroska", 0) != 0 || (muxer != "matroska" && muxer != "webm"))
    return 0;
  // As the demuxer reckons it: the padding in nanoseconds, in the stream's time base.
  const int64_t nanoseconds =
      av_rescale_q(par->initial_padding, AVRational{1, 48000}, AVRational{1, 1000000000});
  return av_rescale_q(nanoseconds, AVRational{1, 1000000000}, in->time_base);
}

// "audio stream 1 (aac)", for messages.
std::string StreamWhat(const AVStream* in) {
  const char* type = av_get_media_type_string(in->codecpar->codec_type);
  return std::string(type ? type : "data") + " stream " + std::to_string(in->index) + " (" +
         avcodec_get_name(in->codecpar->codec_id) + ")";
}

}  // namespace

StreamCopy::StreamCopy(const std::string& path, VideoMirror& source, VideoMuxer& muxer,
                       const std::function<void()>& addVideo, std::vector<std::string>* notes)
    : path_(path), source_(source), muxer_(muxer), notes_(notes) {
  if (!packet_) throw std::bad_alloc();
  const AVFormatContext* in = source.streams();
  streamMap_.assign(in->nb_streams, -1);
  shift_.assign(in->nb_streams, 0);
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    shift_[i] = OpusDelay(source.container(), muxer.container(), in->streams[i]);
    if (in->streams[i] == source.video())
      addVideo();
    else
      AddCopiedStream(in->streams[i], notes);
    if (streamMap_[i] < 0) source_.Ignore(static_cast<int>(i));
  }
  if (av_dict_copy(&muxer.context()->metadata, in->metadata, 0) < 0) throw std::bad_alloc();
  CopyChapters(in, muxer.context());
}

void StreamCopy::AddCopiedStream(const AVStream* in, std::vector<std::string>* notes) {
  const AVCodecParameters* par = in->codecpar;
  const AVOutputFormat* container = muxer_.container();
  if (ContainerHolds(container, par->codec_id) == 0) {
    // A data stream the container cannot name is left out (QuickTime's timecode track is
    // rebuilt from the video's timecode tag); audio and subtitles are never dropped quietly.
    if (par->codec_type == AVMEDIA_TYPE_DATA) {
      notes->push_back(StreamWhat(in) + " not carried over: " + container->name +
                       " cannot hold it");
      return;
    }
    throw ImageError(path_ + ": " + container->name + " cannot hold the " + StreamWhat(in) +
                     ", which is copied unchanged: use a container that can (.mkv, .mov)");
  }
  streamMap_[in->index] = AddUnchangedStream(muxer_, in)->index;
}

AVStream* AddUnchangedStream(VideoMuxer& muxer, const AVStream* in) {
  const AVCodecParameters* par = in->codecpar;
  const AVOutputFormat* container = muxer.container();
  AVStream* out = muxer.AddStream();
  if (avcodec_parameters_copy(out->codecpar, par) < 0) throw std::bad_alloc();
  // A codec tag means something only in the container family it came from.
  const unsigned tag = par->codec_tag;
  out->codecpar->codec_tag = 0;
  if (container->codec_tag != nullptr && av_codec_get_id(container->codec_tag, tag) == par->codec_id)
    out->codecpar->codec_tag = tag;
  out->time_base = in->time_base;
  out->disposition = in->disposition;
  out->avg_frame_rate = in->avg_frame_rate;
  out->r_frame_rate = in->r_frame_rate;
  out->sample_aspect_ratio = in->sample_aspect_ratio;
  if (av_dict_copy(&out->metadata, in->metadata, 0) < 0) throw std::bad_alloc();
  CopyStreamSideData(in, out, false);
  return out;
}

void StreamCopy::CopyUntil(double seconds) { Copy(seconds, false); }

void StreamCopy::CopyRest() {
  Copy(std::numeric_limits<double>::infinity(), true);
  for (size_t i = 0; i < dropped_.size(); ++i) {
    if (dropped_[i] == 0) continue;
    const AVStream* out = muxer_.context()->streams[i];
    const char* type = av_get_media_type_string(out->codecpar->codec_type);
    notes_->push_back(std::string(type ? type : "data") + " stream " + std::to_string(i) + " (" +
                      avcodec_get_name(out->codecpar->codec_id) + "): " +
                      std::to_string(dropped_[i]) +
                      " damaged packet(s) left out: their times went back");
  }
}

// Whether the muxer takes `packet` after the last packet of its stream: decode times rise,
// strictly for audio and video in containers that ask for it.
bool StreamCopy::InOrder(const AVPacket& packet, const AVStream& out) const {
  const int64_t last = lastDts_[size_t(out.index)];
  if (packet.dts == AV_NOPTS_VALUE || last == AV_NOPTS_VALUE) return true;
  const AVMediaType type = out.codecpar->codec_type;
  const bool strict = !(muxer_.container()->flags & AVFMT_TS_NONSTRICT) &&
                      (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO);
  return strict ? packet.dts > last : packet.dts >= last;
}

void StreamCopy::Copy(double seconds, bool toTheEnd) {
  while (source_.Pop(seconds, toTheEnd, packet_.get())) {
    const AVStream* in = source_.streams()->streams[packet_->stream_index];
    AVStream* out = muxer_.context()->streams[streamMap_[packet_->stream_index]];
    const int64_t shift = shift_[size_t(packet_->stream_index)];
    if (packet_->pts != AV_NOPTS_VALUE) packet_->pts += shift;
    if (packet_->dts != AV_NOPTS_VALUE) packet_->dts += shift;
    av_packet_rescale_ts(packet_.get(), in->time_base, out->time_base);
    packet_->stream_index = out->index;
    packet_->pos = -1;
    if (lastDts_.size() < muxer_.context()->nb_streams) {
      lastDts_.resize(muxer_.context()->nb_streams, AV_NOPTS_VALUE);
      dropped_.resize(muxer_.context()->nb_streams, 0);
    }
    if (!InOrder(*packet_, *out)) {
      ++dropped_[size_t(out->index)];
      av_packet_unref(packet_.get());
      continue;
    }
    if (packet_->dts != AV_NOPTS_VALUE) lastDts_[size_t(out->index)] = packet_->dts;
    muxer_.Write(packet_.get(), "cannot write a copied packet");
  }
}

}  // namespace fxaa_cli::libav
