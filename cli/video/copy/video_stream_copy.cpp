#include "cli/video/copy/video_stream_copy.h"

#include <algorithm>
#include <limits>
#include <new>

extern "C" {
#include <libavutil/opt.h>
}

#include "cli/video/video.h"
#include "cli/video/video_containers.h"
#include "cli/image.h"

namespace fxaa_cli::libav {

namespace {

// What a packet of `in`, demuxed from `from`, needs added to its times to be shown at the same
// time from a file of `to`. Matroska's demuxer shows Opus packets earlier by the stream's codec
// delay, which its muxer before FFmpeg 7 records but does not take off again: it moves every
// stream later instead, so that the first packet is not before zero, and the video with it.
// From FFmpeg 7 on the muxer takes the delay off itself, and its timing is kept.
int64_t OpusDelay(const std::string& from, const AVOutputFormat* to, const AVStream* in) {
  if (LIBAVFORMAT_VERSION_MAJOR >= 61) return 0;
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

// Whether `container` holds a stream of `par` copied unchanged. Matroska holds attachments (a
// font a subtitle track needs) as files of its own, and any video or audio its list lacks
// through the Windows codec identifiers (VfW, ACM), as FFmpeg writes them; other containers as
// ContainerHolds knows them (a muxer that keeps no list is taken at its word: writing will tell).
bool Holds(const AVOutputFormat* container, const AVCodecParameters* par) {
  const bool matroska = std::string(container->name) == "matroska";
  if (par->codec_type == AVMEDIA_TYPE_ATTACHMENT) return matroska;
  if (matroska)
    return avformat_query_codec(container, par->codec_id, FF_COMPLIANCE_UNOFFICIAL) != 0;
  return ContainerHolds(container, par->codec_id) != 0;
}

// The extensions of the containers this tool writes that hold a stream of `par`, "" when none.
std::string ContainersHolding(const AVCodecParameters* par) {
  static const std::pair<const char*, const char*> kWritten[] = {
      {"matroska", ".mkv"}, {"mov", ".mov"}, {"mp4", ".mp4"}, {"mpegts", ".ts"}};
  std::string can;
  for (const auto& [muxer, extension] : kWritten) {
    const AVOutputFormat* container = av_guess_format(muxer, nullptr, nullptr);
    if (container == nullptr || !Holds(container, par)) continue;
    if (par->codec_type != AVMEDIA_TYPE_ATTACHMENT &&
        avformat_query_codec(container, par->codec_id, FF_COMPLIANCE_NORMAL) < 0)
      continue;  // no list to say it does
    can += (can.empty() ? "" : ", ") + std::string(extension);
  }
  return can;
}

}  // namespace

StreamCopy::StreamCopy(const std::string& path, VideoMirror& source, VideoMuxer& muxer,
                       const std::function<void()>& addVideo, std::vector<std::string>* notes,
                       bool leaveOutUnfit)
    : path_(path), source_(source), muxer_(muxer), notes_(notes) {
  if (!packet_) throw std::bad_alloc();
  const AVFormatContext* in = source.streams();
  streamMap_.assign(in->nb_streams, -1);
  shift_.assign(in->nb_streams, 0);
  ends_.assign(in->nb_streams, AV_NOPTS_VALUE);
  std::vector<int> outputOf(in->nb_streams, -1);  // the video's too
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    shift_[i] = OpusDelay(source.container(), muxer.container(), in->streams[i]);
    if (in->streams[i] == source.video()) {
      addVideo();
      outputOf[i] = static_cast<int>(muxer.context()->nb_streams) - 1;
    } else {
      AddCopiedStream(in->streams[i], notes, leaveOutUnfit);
      outputOf[i] = streamMap_[i];
    }
    if (streamMap_[i] < 0) source_.Ignore(static_cast<int>(i));
  }
  if (av_dict_copy(&muxer.context()->metadata, in->metadata, 0) < 0) throw std::bad_alloc();
  CopyChapters(in, muxer.context());
  // A transport stream into a transport stream keeps its services (ids, names, provider), its
  // PIDs and its first PMT's PID, which receivers and playout systems are set up with. Blu-ray's
  // (.m2ts) have PIDs of their own.
  if (std::string(muxer.container()->name) == "mpegts" &&
      TransportStreamMuxerOptions(path) == "mpegts_m2ts_mode=0") {
    for (unsigned i = 0; i < in->nb_streams; ++i)
      if (outputOf[i] >= 0) muxer.context()->streams[outputOf[i]]->id = in->streams[i]->id;
    CopyPrograms(in, muxer.context(), outputOf);
    if (in->nb_programs > 0 && in->programs[0]->pmt_pid >= 16)
      av_opt_set_int(muxer.context()->priv_data, "mpegts_pmt_start_pid",
                     in->programs[0]->pmt_pid, 0);
  }
}

void StreamCopy::AddCopiedStream(const AVStream* in, std::vector<std::string>* notes,
                                 bool leaveOutUnfit) {
  const AVCodecParameters* par = in->codecpar;
  const AVOutputFormat* container = muxer_.container();
  if (!Holds(container, par)) {
    // QuickTime's timecode track is rebuilt by the muxer from the video's timecode tag, which is
    // copied (MXF's muxer writes its timecode from it too): it is carried, not left out.
    const std::string name = container->name;
    if (par->codec_tag == MKTAG('t', 'm', 'c', 'd') &&
        (name == "mov" || name == "mp4" || name.rfind("mxf", 0) == 0) &&
        av_dict_get(source_.video()->metadata, "timecode", nullptr, 0) != nullptr)
      return;
    // Another data stream the container cannot name is left out; audio, subtitles and
    // attachments only when asked.
    if (par->codec_type == AVMEDIA_TYPE_DATA || leaveOutUnfit) {
      notes->push_back(StreamWhat(in) + " not carried over: " + container->name +
                       " cannot hold it");
      return;
    }
    const std::string can = ContainersHolding(par);
    throw ImageError(path_ + ": " + container->name + " cannot hold the " + StreamWhat(in) +
                     ", which is copied unchanged: " +
                     (can.empty() ? std::string("no container this tool writes holds it")
                                  : "use a container that can (" + can + ")") +
                     ", or leave it out (--unfit-streams leave-out)");
  }
  streamMap_[in->index] = AddUnchangedStream(muxer_, in)->index;
}

AVStream* AddUnchangedStream(VideoMuxer& muxer, const AVStream* in) {
  const AVCodecParameters* par = in->codecpar;
  const AVOutputFormat* container = muxer.container();
  AVStream* out = muxer.AddStream();
  CopyStreamDescription(in, out);
  // A codec tag means something only in the container family it came from.
  const unsigned tag = par->codec_tag;
  out->codecpar->codec_tag = 0;
  if (container->codec_tag != nullptr && av_codec_get_id(container->codec_tag, tag) == par->codec_id)
    out->codecpar->codec_tag = tag;
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
    int64_t& shift = shift_[size_t(packet_->stream_index)];
    int64_t& end = ends_[size_t(packet_->stream_index)];
    // A clock that goes back by over a second in a whole packet (captures joined) follows on
    // from the packets before, as the video's frames do.
    if (packet_->dts != AV_NOPTS_VALUE && end != AV_NOPTS_VALUE &&
        !(packet_->flags & AV_PKT_FLAG_CORRUPT) &&
        packet_->dts + shift < end - av_rescale_q(1, AVRational{1, 1}, in->time_base))
      shift = end - packet_->dts;
    if (packet_->pts != AV_NOPTS_VALUE) packet_->pts += shift;
    if (packet_->dts != AV_NOPTS_VALUE) {
      packet_->dts += shift;
      end = packet_->dts + std::max<int64_t>(packet_->duration, 0);
    }
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
