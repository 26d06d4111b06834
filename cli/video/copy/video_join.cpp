// Joining the parts that range runs wrote of a video (fxaa in.mp4 --frames A-B -o part.mkv). A
// part holds frames A to B of the source's main video stream at the source's own times, and
// nothing else. The join checks that the parts are alike and hold every frame of the source once,
// then copies their packets as they are, in time order: they are timed already, so nothing is
// shifted or re-encoded, as FFmpeg's concat demuxer with stream copy would join them. The
// source's other streams, metadata and chapters are copied around them whole, as a whole run
// copies them; the output is written to a temporary file and put in place only when complete.
#include <algorithm>
#include <cstring>
#include <limits>

#include "cli/formats/format.h"
#include "cli/video/video.h"
#include "cli/libav/libav.h"
#include "cli/video/copy/video_mirror.h"
#include "cli/video/video_muxer.h"
#include "cli/video/copy/video_stream_copy.h"

namespace fxaa_cli {

using namespace libav;

namespace {

// One part: its file, its video stream, and its frames' times in that stream's time base.
struct Part {
  std::string path;
  InputPtr input;
  AVStream* video = nullptr;
  std::vector<int64_t> times;
};

// Opens a part and reads its frames' times.
Part OpenPart(const std::string& path) {
  Part part;
  part.path = path;
  {
    VideoFrameIndex index(path);
    if (index.count() == 0) throw ImageError(path + ": no frames in its video stream");
    part.times = index.Span(1, index.count()).times;
  }
  part.input = OpenInput(path);
  const int video = MainVideoStream(part.input.get());
  part.video = part.input->streams[video];
  for (unsigned i = 0; i < part.input->nb_streams; ++i)
    if (static_cast<int>(i) != video) part.input->streams[i]->discard = AVDISCARD_ALL;
  return part;
}

// What keeps `part`'s packets from following `first`'s in one stream: another codec, codec
// set-up, size, pixel format or clock; "" when nothing does.
std::string Difference(const AVStream* part, const AVStream* first) {
  const AVCodecParameters *p = part->codecpar, *f = first->codecpar;
  const auto size = [](const AVCodecParameters* c) {
    return std::to_string(c->width) + " x " + std::to_string(c->height);
  };
  const auto format = [](const AVCodecParameters* c) {
    const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(c->format));
    return std::string(name ? name : "unknown");
  };
  const auto clock = [](AVRational base) {
    return std::to_string(base.num) + "/" + std::to_string(base.den) + " s";
  };
  if (p->codec_id != f->codec_id)
    return std::string("codec ") + avcodec_get_name(p->codec_id) + ", not " +
           avcodec_get_name(f->codec_id);
  if (p->width != f->width || p->height != f->height) return "size " + size(p) + ", not " + size(f);
  if (p->format != f->format) return "pixel format " + format(p) + ", not " + format(f);
  if (av_cmp_q(part->time_base, first->time_base) != 0)
    return "timed in steps of " + clock(part->time_base) + ", not " + clock(first->time_base);
  if (p->extradata_size != f->extradata_size ||
      (p->extradata_size > 0 && std::memcmp(p->extradata, f->extradata, p->extradata_size) != 0))
    return "encoded with other settings (its codec set-up differs)";
  return "";
}

// The index of the first of `times` (ascending, in `base`) at or after `t` (in `tBase`), as
// the writer rescaled them.
size_t FirstAtOrAfter(const std::vector<int64_t>& times, AVRational base, int64_t t,
                      AVRational tBase) {
  return static_cast<size_t>(
      std::partition_point(times.begin(), times.end(),
                           [&](int64_t s) { return av_rescale_q(s, base, tBase) < t; }) -
      times.begin());
}

// Sorts the parts by their first frame and checks that one after another they hold each frame of
// the source once, at the source's times. Throws ImageError naming the part and the frames.
void CheckCoverage(std::vector<Part>& parts, const std::string& source,
                   const std::vector<int64_t>& frames, AVRational base) {
  std::sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
    return av_compare_ts(a.times[0], a.video->time_base, b.times[0], b.video->time_base) < 0;
  });
  const auto range = [](size_t from, size_t to) {  // frames from + 1 to `to`, numbered from 1
    return from + 1 == to ? "frame " + std::to_string(to)
                          : "frames " + std::to_string(from + 1) + "-" + std::to_string(to);
  };
  size_t next = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    const Part& part = parts[i];
    const AVRational partBase = part.video->time_base;
    const size_t first = FirstAtOrAfter(frames, base, part.times[0], partBase);
    if (first == frames.size() || av_rescale_q(frames[first], base, partBase) != part.times[0])
      throw ImageError(part.path + ": starts at " +
                       std::to_string(Seconds(part.times[0], partBase)) + " s, where " + source +
                       " has no frame: not a part of it");
    if (first > next)
      throw ImageError(part.path + ": " + range(next, first) + " of " + source +
                       " missing before it");
    if (first < next)
      throw ImageError(part.path + ": overlaps " + parts[i - 1].path + " (" +
                       range(first, std::min(next, first + part.times.size())) +
                       " in both)");
    for (size_t j = 0; j < part.times.size(); ++j)
      if (next + j == frames.size() ||
          av_rescale_q(frames[next + j], base, partBase) != part.times[j])
        throw ImageError(part.path + ": its frame " + std::to_string(j + 1) + " is not at the time of " +
                         source + "'s frame " + std::to_string(next + j + 1) +
                         ": rendered from another source or at another rate");
    next += part.times.size();
  }
  if (next < frames.size())
    throw ImageError(parts.back().path + ": " + range(next, frames.size()) + " of " + source +
                     " missing after it");
}

// The source's packets of its other streams, read into the mirror up to the time the parts'
// video has reached.
class SourceFeed {
 public:
  SourceFeed(const std::string& path, AVFormatContext* input, VideoMirror& mirror)
      : path_(path), input_(input), mirror_(mirror) {
    if (!packet_) throw std::bad_alloc();
  }

  void ReadUntil(double seconds) {
    while (!ended_ && readTo_ <= seconds) {
      const int err = av_read_frame(input_, packet_.get());
      if (err < 0) {
        ended_ = true;
        mirror_.Close();
        if (err != AVERROR_EOF)
          throw ImageError(path_ + ": cannot read further: " + ErrorText(err));
        return;
      }
      const AVStream* stream = input_->streams[packet_->stream_index];
      const int64_t ts = packet_->dts != AV_NOPTS_VALUE ? packet_->dts : packet_->pts;
      if (stream->discard != AVDISCARD_ALL) {
        if (ts != AV_NOPTS_VALUE) readTo_ = Seconds(ts, stream->time_base);
        mirror_.Push(packet_.get());
      }
      av_packet_unref(packet_.get());
    }
  }

 private:
  std::string path_;
  AVFormatContext* input_;
  VideoMirror& mirror_;
  PacketPtr packet_{av_packet_alloc()};
  bool ended_ = false;
  double readTo_ = -std::numeric_limits<double>::infinity();
};

// The output's video stream, for the first part's packets; refused where the container cannot
// hold its codec.
AVStream* AddPartStream(VideoMuxer& muxer, const Part& part, const std::string& output) {
  const AVCodecID codec = part.video->codecpar->codec_id;
  if (avformat_query_codec(muxer.container(), codec, FF_COMPLIANCE_NORMAL) == 0)
    throw ImageError(output + ": " + muxer.container()->name + " cannot hold the parts' " +
                     avcodec_get_name(codec) + " video: name it as the parts are (" +
                     part.path + ")");
  return AddUnchangedStream(muxer, part.video);
}

// A part's encoder starts its decode times a little before its first frame, and some containers
// (Matroska) store none for the first packets; where the frames before the part came closer
// together than its own, its first decode times may reach back into the part before. Set just
// after it, they keep the decode order; the pictures are unchanged.
void KeepDecodeOrder(AVPacket* packet, int64_t* lastDts, const Part& part, const Part* previous) {
  if (*lastDts != AV_NOPTS_VALUE && (packet->dts == AV_NOPTS_VALUE || packet->dts <= *lastDts)) {
    if (packet->pts != AV_NOPTS_VALUE && packet->pts <= *lastDts)
      throw ImageError(part.path + ": its decode times run back into " +
                       (previous ? previous->path : std::string("the part before")) + "'s");
    packet->dts = *lastDts + 1;
  }
  if (packet->dts != AV_NOPTS_VALUE) *lastDts = packet->dts;
}

// The parts' video packets in order, each after the source's other packets up to its time.
void CopyParts(std::vector<Part>& parts, AVStream* video, SourceFeed& feed, StreamCopy& copy,
               VideoMuxer& muxer) {
  PacketPtr packet(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  int64_t lastDts = AV_NOPTS_VALUE;
  for (size_t i = 0; i < parts.size(); ++i) {
    Part& part = parts[i];
    int err;
    while ((err = av_read_frame(part.input.get(), packet.get())) >= 0) {
      if (packet->stream_index != part.video->index) {
        av_packet_unref(packet.get());
        continue;
      }
      av_packet_rescale_ts(packet.get(), part.video->time_base, video->time_base);
      KeepDecodeOrder(packet.get(), &lastDts, part, i > 0 ? &parts[i - 1] : nullptr);
      const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
      const double seconds = Seconds(ts, video->time_base);
      feed.ReadUntil(seconds);
      copy.CopyUntil(seconds);
      packet->stream_index = video->index;
      packet->pos = -1;
      muxer.Write(packet.get(), "cannot write");
    }
    if (err != AVERROR_EOF) throw ImageError(part.path + ": cannot read further: " + ErrorText(err));
  }
}

}  // namespace

void JoinVideoParts(const std::vector<std::string>& parts, const std::string& source,
                    const std::string& output, std::vector<std::string>* notes) {
  KeepLogQuiet();
  const AVOutputFormat* container = av_guess_format(nullptr, output.c_str(), nullptr);
  const Format* format = FormatForName(output);
  if (container == nullptr || format == nullptr || !format->holdsFrames())
    throw ImageError(output + ": cannot write: not a video container name");
  std::vector<int64_t> frames;
  {
    VideoFrameIndex index(source);
    // Its times repeat, and a whole run moves the later segment on: no time tells a part's place.
    if (const int back = index.clockBackAt(); back > 0)
      throw ImageError(source + ": its clock goes back at frame " + std::to_string(back) +
                       " (captures joined): parts of it cannot be placed by their times; render "
                       "it whole into a video, or its ranges as files");
    if (index.count() > 0) frames = index.Span(1, index.count()).times;
  }
  std::vector<Part> opened;
  for (const std::string& path : parts) opened.push_back(OpenPart(path));
  for (size_t i = 1; i < opened.size(); ++i) {
    const std::string difference = Difference(opened[i].video, opened[0].video);
    if (!difference.empty())
      throw ImageError(opened[i].path + ": " + difference + " as in " + opened[0].path);
  }
  InputPtr input = OpenInput(source);
  const int video = MainVideoStream(input.get());
  CheckCoverage(opened, source, frames, input->streams[video]->time_base);

  input->streams[video]->discard = AVDISCARD_ALL;
  VideoMirror mirror(source, input.get(), video);
  VideoMuxer muxer(output, container);
  AVStream* out = nullptr;
  StreamCopy copy(output, mirror, muxer, [&] { out = AddPartStream(muxer, opened[0], output); },
                  notes);
  muxer.Start(TransportStreamMuxerOptions(output));
  SourceFeed feed(source, input.get(), mirror);
  CopyParts(opened, out, feed, copy, muxer);
  feed.ReadUntil(std::numeric_limits<double>::infinity());
  copy.CopyRest();
  muxer.Finish();
}

}  // namespace fxaa_cli
