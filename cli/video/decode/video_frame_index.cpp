// Where each frame of a video's main stream lies, by number, found without decoding:
// - MP4 and MOV list every frame in their sample tables, which FFmpeg reads whole when the file
//   is opened. Its index of them holds each frame's decode time and key flag, not its
//   presentation time (the composition offsets are applied only as a packet is read). A key
//   frame's number is then its place in decode order: everything decoded before a key frame is
//   shown before it, which is what lets decoding start there. Frames decoded after a key frame
//   but shown before it (the leading frames of an open group) would break that numbering, so the
//   packets of the groups a span covers, and of the group after them, are read first (demuxed,
//   not decoded) to check that there are none; they also give the span's times. A file that has
//   them is scanned as below.
// - Other containers (Matroska, transport streams, AVI) index some key frames or none: the video
//   packets' headers are demuxed from the start, once, which is cheap next to decoding, and
//   sorted by presentation time. Variable frame rates need nothing more: frames are counted, not
//   timed.
// Where the times jump (two captures joined, a splice), a new segment begins, as the reader's
// ledger sees it: each segment is sorted on its own and numbered after the one before. Once a
// clock went back, times repeat, so a time no longer tells a place: decoding then starts from the
// key frame's byte position, and a span starts at a key frame of its own first frame's segment.
// A key frame is where decoding may start, not always where it can start without a word: after
// an I-frame that is no IDR frame (x264's open groups), frames may still name frames decoded
// before it in their reference bookkeeping ("mmco: unref short failure"), and leading pictures
// are predicted from them. A span's decoding therefore starts at the key frame before the one
// its first frame follows: a group more is decoded and dropped, and every frame of the span
// decodes as in a whole run.
#include <algorithm>

#include "cli/video/video.h"
#include "cli/libav/libav.h"

namespace fxaa_cli {

using namespace libav;

namespace {

// A video packet as the index keeps it.
struct IndexedPacket {
  int64_t pts, dts;
  bool key;
  int64_t pos = -1;  // scanned: where its packet starts in the file
  int segment = 0;   // scanned: its segment, from 0
};

// Steps beyond any frame's, as the ledger takes them (video_frame_ledger.cpp).
constexpr uint64_t kStepMost = uint64_t(INT64_MAX) / 16;

// Packets in file order split into segments where the times jump by over `limit` and by over 16
// of the smallest steps between packets, back or on, as the reader's ledger splits them. True
// when a segment's clock went back.
bool Segment(std::vector<IndexedPacket>* packets, int64_t limit) {
  int64_t highest = 0, previous = 0;
  uint64_t step = 0;
  int segment = 0;
  bool back = false;
  for (size_t i = 0; i < packets->size(); ++i) {
    IndexedPacket& p = (*packets)[i];
    if (i > 0) {
      const uint64_t room = std::max(uint64_t(std::max<int64_t>(limit, 0)),
                                     std::min(step, kStepMost) * 16);
      const bool wentBack = p.pts < highest && uint64_t(highest) - uint64_t(p.pts) > room;
      const bool wentOn =
          p.pts > highest && step > 0 && uint64_t(p.pts) - uint64_t(highest) > room;
      if (limit > 0 && (wentBack || wentOn)) {
        ++segment;
        back = back || wentBack;
        highest = p.pts;
      } else {
        highest = std::max(highest, p.pts);
        if (p.pts > previous && uint64_t(p.pts) - uint64_t(previous) <= kStepMost)
          step = step == 0 ? uint64_t(p.pts - previous) : std::min(step, uint64_t(p.pts - previous));
      }
    } else {
      highest = p.pts;
    }
    previous = p.pts;
    p.segment = segment;
  }
  return back;
}

// A packet's presentation time as the demuxer gave it: its pts, else its dts.
int64_t ShownAt(const AVPacket& packet) {
  return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
}

// Whether the demuxer's index lists every frame of `stream`, none of them dropped: an edit list
// that drops frames, or a fragmented file whose fragments are indexed as they are read, is
// scanned instead.
bool IndexListsEveryFrame(const AVFormatContext* input, AVStream* stream) {
  if (std::string(input->iformat->name).rfind("mov,", 0) != 0) return false;
  const int entries = avformat_index_get_entries_count(stream);
  if (entries <= 0 || entries != stream->nb_frames) return false;
  for (int i = 0; i < entries; ++i)
    if (avformat_index_get_entry(stream, i)->flags & AVINDEX_DISCARD_FRAME) return false;
  return true;
}

// Whether packets in decode order, from a key frame on, show each key frame after every frame
// decoded before it, and no frame before the key frame it follows.
bool GroupsAreClosed(const std::vector<IndexedPacket>& packets) {
  int64_t key = INT64_MIN, latest = INT64_MIN;
  for (const IndexedPacket& p : packets) {
    if (p.pts == AV_NOPTS_VALUE) return false;
    if (p.key) {
      if (p.pts <= latest) return false;
      key = p.pts;
    }
    if (p.pts < key) return false;
    latest = std::max(latest, p.pts);
  }
  return true;
}

}  // namespace

struct VideoFrameIndex::State {
  std::string path;
  InputPtr input;
  AVStream* stream = nullptr;
  PacketPtr packet{av_packet_alloc()};
  int count = 0;
  std::vector<int> keys;  // from the container's index: the key frames' places in decode order
  bool scanned = false;
  std::vector<IndexedPacket> frames;  // scanned: every frame, in presentation order
  bool clockBack = false;             // scanned: a segment's clock went back, its times repeat

  // Every video packet's times from the start, sorted into presentation order.
  void Scan() {
    if (!keys.empty() &&
        av_seek_frame(input.get(), stream->index,
                      stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0,
                      AVSEEK_FLAG_BACKWARD) < 0)
      throw ImageError(path + ": cannot go back to its start to read its frames' times");
    frames.clear();
    int err;
    while ((err = av_read_frame(input.get(), packet.get())) >= 0) {
      const int64_t time = ShownAt(*packet);
      const bool frame = packet->stream_index == stream->index &&
                         !(packet->flags & AV_PKT_FLAG_DISCARD);
      if (frame)
        frames.push_back({time, packet->dts, (packet->flags & AV_PKT_FLAG_KEY) != 0, packet->pos});
      av_packet_unref(packet.get());
      if (frame && time == AV_NOPTS_VALUE)
        throw ImageError(path + ": frame " + std::to_string(frames.size()) +
                         " has no time: its frames cannot be numbered without decoding them");
    }
    if (err != AVERROR_EOF)
      throw ImageError(path + ": cannot read its frames' times: " + ErrorText(err));
    clockBack = Segment(&frames, av_rescale_q(1, AVRational{1, 1}, stream->time_base));
    std::stable_sort(frames.begin(), frames.end(),
                     [](const IndexedPacket& a, const IndexedPacket& b) {
                       return a.segment != b.segment ? a.segment < b.segment : a.pts < b.pts;
                     });
    for (size_t i = 1; i < frames.size(); ++i)
      if (frames[i].pts == frames[i - 1].pts && frames[i].segment == frames[i - 1].segment)
        throw ImageError(path + ": frames " + std::to_string(i) + " and " +
                         std::to_string(i + 1) + " have the same time: its frames cannot be "
                         "numbered without decoding them");
    count = static_cast<int>(frames.size());
    scanned = true;
  }

  // The span from the scanned frames: decoding starts at the key frame before the last one shown
  // at or before its first frame.
  FrameSpan ScannedSpan(int first, int last) const {
    FrameSpan span;
    span.first = first;
    // Decoding stays within the first frame's segment: the frames before it are another
    // capture's, and after a jump back their times are this one's too.
    const int segment = frames[size_t(first - 1)].segment;
    int begins = first - 1;
    while (begins > 0 && frames[size_t(begins - 1)].segment == segment) --begins;
    int key = first - 1;
    while (key >= begins && !frames[size_t(key)].key) --key;
    // Decoding starts a group earlier (see the top of this file).
    if (key > begins) {
      const int found = key;
      do --key;
      while (key >= begins && !frames[size_t(key)].key);
      if (key < begins) key = found;
    }
    // No key frame before it (a capture begun mid-group): decoding starts at the start.
    if (key < begins && begins > 0)
      throw ImageError(path + ": frame " + std::to_string(first) + ": no key frame before it in "
                       "its segment (from frame " + std::to_string(begins + 1) + "): it cannot be "
                       "found without decoding from the start (render it whole)");
    span.keyPts = key >= 0 ? frames[size_t(key)].pts : AV_NOPTS_VALUE;
    span.keyDts = key >= 0 ? frames[size_t(key)].dts : AV_NOPTS_VALUE;
    if (clockBack) span.keyPos = key >= 0 ? frames[size_t(key)].pos : 0;
    for (int n = first; n <= last; ++n) span.times.push_back(frames[size_t(n - 1)].pts);
    return span;
  }

  // The span from the container's index, its times read from the packets of the groups it
  // covers; false when they, or the group after them, are not closed.
  bool ContainerSpan(int first, int last, FrameSpan* span) {
    const auto nextKey = [this](int place) {
      const auto it = std::upper_bound(keys.begin(), keys.end(), place);
      return it == keys.end() ? count : *it;
    };
    const int from = *(std::upper_bound(keys.begin(), keys.end(), first - 1) - 1);
    const int to = nextKey(last - 1);
    const int ahead = to == count ? count : nextKey(to);
    const std::vector<IndexedPacket> packets = ReadFrom(from, ahead);
    if (int(packets.size()) != ahead - from || !GroupsAreClosed(packets)) return false;
    std::vector<int64_t> times;
    for (int i = 0; i < to - from; ++i) times.push_back(packets[size_t(i)].pts);
    std::sort(times.begin(), times.end());
    span->first = first;
    span->keyPts = packets[0].pts;
    span->keyDts = packets[0].dts;
    // Decoding starts a group earlier (see the top of this file): the index has that key
    // frame's decode time only.
    const auto earlier = std::lower_bound(keys.begin(), keys.end(), from);
    if (earlier != keys.begin()) {
      span->keyPts = AV_NOPTS_VALUE;
      span->keyDts = avformat_index_get_entry(stream, *(earlier - 1))->timestamp;
    }
    span->times.assign(times.begin() + (first - 1 - from), times.begin() + (last - from));
    return true;
  }

  // The video packets at decode places [from, end) of the container's index, from the key frame
  // at `from`; fewer when the file ends before, none when it cannot be reached.
  std::vector<IndexedPacket> ReadFrom(int from, int end) {
    std::vector<IndexedPacket> packets;
    const int64_t dts = avformat_index_get_entry(stream, from)->timestamp;
    if (!SeekToKeyFrame(input.get(), stream, AV_NOPTS_VALUE, dts, packet.get())) return packets;
    bool more = true;
    while (more && int(packets.size()) < end - from) {
      if (packet->stream_index == stream->index && packet->dts >= dts)
        packets.push_back({packet->pts, packet->dts, (packet->flags & AV_PKT_FLAG_KEY) != 0});
      av_packet_unref(packet.get());
      more = av_read_frame(input.get(), packet.get()) >= 0;
    }
    av_packet_unref(packet.get());
    if (!packets.empty() && (packets[0].dts != dts || !packets[0].key)) packets.clear();
    return packets;
  }
};

VideoFrameIndex::VideoFrameIndex(const std::string& path) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  if (!s.packet) throw ImageError(path + ": not enough memory");
  s.input = OpenInput(path);
  const int index = MainVideoStream(s.input.get());
  if (index < 0) throw ImageError(path + ": no video stream");
  s.stream = s.input->streams[index];
  for (unsigned i = 0; i < s.input->nb_streams; ++i)
    if (static_cast<int>(i) != index) s.input->streams[i]->discard = AVDISCARD_ALL;
  if (IndexListsEveryFrame(s.input.get(), s.stream)) {
    s.count = avformat_index_get_entries_count(s.stream);
    for (int i = 0; i < s.count; ++i)
      if (avformat_index_get_entry(s.stream, i)->flags & AVINDEX_KEYFRAME) s.keys.push_back(i);
  }
  // Decoding can start only at a key frame: a stream that starts otherwise is scanned.
  if (s.keys.empty() || s.keys[0] != 0) s.Scan();
}

VideoFrameIndex::~VideoFrameIndex() = default;

int VideoFrameIndex::count() const { return state_->count; }

int VideoFrameIndex::clockBackAt() const {
  const State& s = *state_;
  if (!s.clockBack) return 0;
  for (size_t i = 1; i < s.frames.size(); ++i)
    if (s.frames[i].segment != s.frames[i - 1].segment && s.frames[i].pts < s.frames[i - 1].pts)
      return int(i) + 1;
  return 0;
}

FrameSpan VideoFrameIndex::Span(int first, int last) {
  State& s = *state_;
  if (first < 1 || last < first || last > s.count)
    throw ImageError(s.path + ": no frames " + std::to_string(first) + " to " +
                     std::to_string(last) + " (it has " + std::to_string(s.count) + ")");
  FrameSpan span;
  if (!s.scanned && s.ContainerSpan(first, last, &span)) return span;
  if (!s.scanned) s.Scan();
  if (last > s.count)
    throw ImageError(s.path + ": its index lists more frames than it holds (" +
                     std::to_string(s.count) + ")");
  return s.ScannedSpan(first, last);
}

}  // namespace fxaa_cli
