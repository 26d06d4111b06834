// Demuxing and decoding a video's main stream into the tool's images, in presentation order.
// The other streams are skipped, or handed to a writer that copies them (ShareStreams).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "cli/formats/video.h"
#include "cli/formats/video_libav.h"
#include "cli/formats/video_mirror.h"
#include "cli/formats/video_pixels.h"
#include "cli/param_options.h"

namespace fxaa_cli {

using namespace libav;

namespace {

constexpr int kErrorsInARowMax = 100;
constexpr int64_t kEndOfStream = std::numeric_limits<int64_t>::max();

// A packet's or frame's time as the demuxer gave it: its pts, else its dts.
int64_t PacketTime(int64_t pts, int64_t dts) { return pts != AV_NOPTS_VALUE ? pts : dts; }

}  // namespace

struct VideoReader::State {
  std::string path;
  InputPtr input;
  AVStream* stream = nullptr;
  CodecPtr decoder;
  PacketPtr packet{av_packet_alloc()};
  FramePtr frame{av_frame_alloc()};
  FrameToImage converter;
  ColourCoding coding;
  int width = 0, height = 0;
  int framesOut = 0;
  int packetsIn = 0;
  bool draining = false;  // the demuxer is done: the decoder gives what it still holds
  bool done = false;
  int errorsInARow = 0;  // a decoder that fails on and on is given up
  int64_t nextPts = 0;
  // Damage is told and read past rather than thrown: a frame the decoder concealed is given as it
  // is, one it gave no picture for is left out.
  bool conceal = false;
  // Packets (by time) whose decoding logged an error, with the error: their frames are damaged
  // even when the decoder concealed it and gave a picture.
  std::map<int64_t, std::string> damaged;
  // What the demuxer logged of damage it read past (a file cut short ends as if complete), for
  // the end of the stream; when concealing it is told at once instead.
  std::string containerDamage;
  // Not concealing: the first video packet the demuxer marked corrupt, for the end of the
  // stream.
  std::string streamDamage;
  // When concealing: packets (by time) that gave no picture, with why. Each is named in its place
  // once a later frame comes out, taking the number it would have had.
  std::map<int64_t, std::string> lost;
  std::vector<std::string> leftOut;  // told since the last TakeLeftOut
  // Missing frames are found by the steps between the frames' times (FindMissingBefore).
  bool damageMet = false;
  bool transportStream = false;
  int64_t lastShown = AV_NOPTS_VALUE;  // the time of the frame given last
  int64_t smallestStep = 0;            // between two frames given in a row; 0 before two
  std::string missingFailure;          // not concealing: missing frames, failed at the next Read
  // Packets of the other streams the demuxer marked corrupt: copied as they are, and told at the
  // end with the time of the first.
  std::map<int, std::pair<int, int64_t>> otherDamage;
  std::vector<std::string> notes;  // told since the last TakeNotes
  bool sideDataShared = false;     // the first frame's, with the mirror
  // The other streams' packets go there once a writer copies them.
  std::unique_ptr<VideoMirror> mirror;
  // Reading a span of frames (ReadSpan): the next of its frames to give, the time of the last
  // frame decoded, and whether decoding ever restarted off the stream's start (the index's
  // packet count then says nothing of a cut-short file).
  std::optional<FrameSpan> span;
  size_t spanNext = 0;
  int64_t lastDecoded = AV_NOPTS_VALUE;
  bool seeked = false;

  ~State() {
    if (mirror) mirror->Close();
  }

  // "in.mp4: frame 17 (0.680 s)", for messages.
  std::string NameOf(int number, int64_t pts) const {
    if (pts == AV_NOPTS_VALUE) return FrameName(path, number);
    return FrameName(path, number, libav::Seconds(pts, stream->time_base));
  }

  // Damage that fails the frame or the stream: thrown, or told and read past when concealing.
  void Damage(const std::string& message) {
    damageMet = true;
    if (!conceal) throw ImageError(message);
    leftOut.push_back(message);
  }

  // Ends reading once so many reads in a row gave no frame that the decoder seems to fail on and
  // on.
  void GiveUpOnErrorsInARow() {
    if (errorsInARow < kErrorsInARowMax) return;
    done = true;
    throw ImageError(path + ": given up after " + std::to_string(kErrorsInARowMax) +
                     " failures in a row");
  }

  // When concealing: a packet at `time` that gave no picture is left out, named at once when it
  // has no time, else in its place among the frames (NameLostBefore).
  void LeaveOut(int64_t time, const std::string& why) {
    damageMet = true;
    ++errorsInARow;
    GiveUpOnErrorsInARow();
    if (time != AV_NOPTS_VALUE) {
      lost.emplace(time, why);
      return;
    }
    ++framesOut;
    leftOut.push_back(NameOf(framesOut, time) + ": left out: " + why);
  }

  // When concealing: names the frames lost before `time` in presentation order, packets that gave
  // no picture and damaged packets whose frame never came out, each taking its frame number.
  void NameLostBefore(int64_t time) {
    for (auto it = damaged.begin(); it != damaged.end() && it->first < time; it = damaged.erase(it))
      lost.emplace(it->first, "damaged: " + it->second + "; it gave no picture");
    for (auto it = lost.begin(); it != lost.end() && it->first < time; it = lost.erase(it)) {
      ++framesOut;
      leftOut.push_back(NameOf(framesOut, it->first) + ": left out: " + it->second);
    }
  }

  // The damage the decoder logged or flagged in frame `f`: an error logged while its packet was
  // sent or since `errorsBefore`, or a flag; empty for a whole frame.
  std::string DamageIn(const AVFrame& f, unsigned errorsBefore) {
    const auto logged = damaged.find(PacketTime(f.pts, f.pkt_dts));
    if (logged != damaged.end()) {
      const std::string damage = logged->second;
      damaged.erase(logged);
      return damage;
    }
    if (LoggedErrorCount(Logger::kDecoder) != errorsBefore)
      return LastLoggedError(Logger::kDecoder);
    return DamageMarked(f);
  }

  // What the decoder's marks on frame `f` say of its damage; empty when it marked none.
  static std::string DamageMarked(const AVFrame& f) {
    const int errors = f.decode_error_flags;
    if (errors & FF_DECODE_ERROR_MISSING_REFERENCE)
      return "a picture it is predicted from is missing";
    if (errors & (FF_DECODE_ERROR_INVALID_BITSTREAM | FF_DECODE_ERROR_DECODE_SLICES))
      return "parts of it did not decode";
    if (errors & FF_DECODE_ERROR_CONCEALMENT_ACTIVE)
      return "the decoder concealed lost parts of it";
    if (errors != 0 || (f.flags & AV_FRAME_FLAG_CORRUPT))
      return "the decoder marked it corrupt";
    return "";
  }

  // Frames missing before the frame shown at `pts`: the step from the frame before is at least
  // 1.75 times the smallest step so far (a 3:2 pulldown's steps differ by a half), and either
  // damage was met or the stream is a transport stream, which runs at one rate (a loss of its
  // packets' starts goes without a word; a jump of over a second is a splice, not a loss).
  // Elsewhere a late frame is a variable frame rate. Named in their places when concealing,
  // else failed at the next Read.
  void FindMissingBefore(int64_t pts) {
    if (pts == AV_NOPTS_VALUE) return;
    const int64_t last = std::exchange(lastShown, pts);
    if (last == AV_NOPTS_VALUE || pts <= last) return;
    const int64_t step = pts - last;
    const int64_t unit = smallestStep;
    smallestStep = unit == 0 ? step : std::min(unit, step);
    if (unit == 0 || 4 * step < 7 * unit) return;
    const bool capture = transportStream && libav::Seconds(step, stream->time_base) <= 1.0;
    if (!damageMet && !capture) return;
    damageMet = true;
    const int64_t missing = (step + unit / 2) / unit - 1;
    const std::string why = "missing from the stream";
    if (conceal) {
      for (int64_t k = 1; k <= missing; ++k) lost.emplace(last + k * unit, why);
      return;
    }
    missingFailure = NameOf(framesOut + 1, last + unit) + ": " + why +
                     (missing > 1 ? " (and " + std::to_string(missing - 1) + " after it)" : "");
    framesOut += static_cast<int>(missing);
  }

  // The decoded frame into `image`. A frame with damage in it (DamageIn) fails, unless concealing,
  // when `damage` (if given) says what it is; a frame whose size changed fails.
  void TakeFrame(unsigned errorsBefore, Image* image, FrameTime* time, std::string* damage) {
    AVFrame& f = *frame;
    // The frame's buffers go back to the decoder however this frame ends.
    struct Unref {
      AVFrame* frame;
      ~Unref() { av_frame_unref(frame); }
    } unref{&f};
    const int64_t pts = f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp
                                                                   : nextPts;
    const std::string found = DamageIn(f, errorsBefore);
    if (!found.empty()) damageMet = true;
    FindMissingBefore(f.best_effort_timestamp);
    if (conceal) NameLostBefore(PacketTime(f.pts, f.pkt_dts));
    ++framesOut;
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
    const int64_t duration = f.duration;
#else
    const int64_t duration = f.pkt_duration;
#endif
    nextPts = pts + (duration > 0 ? duration : 1);
    if (!found.empty() && !conceal)
      throw ImageError(NameOf(framesOut, pts) + ": damaged: " + found);
    if (damage != nullptr) *damage = found;
    if (width == 0) width = f.width, height = f.height;
    if (f.width != width || f.height != height)
      throw ImageError(NameOf(framesOut, pts) + ": the picture size changes mid-stream (" +
                       std::to_string(width) + " x " + std::to_string(height) + " to " +
                       std::to_string(f.width) + " x " + std::to_string(f.height) + ")");
    const FieldOrder fields = !f.interlaced_frame ? FieldOrder::kProgressive
                              : f.top_field_first ? FieldOrder::kTopFirst
                                                  : FieldOrder::kBottomFirst;
    try {
      converter.Convert(f, coding, HasAlphaChannel(static_cast<AVPixelFormat>(f.format)),
                        fields != FieldOrder::kProgressive, image);
    } catch (const ImageError& e) {
      throw ImageError(path + ": " + e.what());
    }
    time->pts = pts;
    time->duration = duration;
    time->fields = fields;
    if (!sideDataShared && mirror) ShareFrameSideData(f);
    sideDataShared = true;
  }

  // The HDR10 metadata the first frame carries, for the writer's encoder and container.
  void ShareFrameSideData(const AVFrame& f) {
    static const std::pair<AVFrameSideDataType, AVPacketSideDataType> kCarried[] = {
        {AV_FRAME_DATA_MASTERING_DISPLAY_METADATA, AV_PKT_DATA_MASTERING_DISPLAY_METADATA},
        {AV_FRAME_DATA_CONTENT_LIGHT_LEVEL, AV_PKT_DATA_CONTENT_LIGHT_LEVEL}};
    for (const auto& [frameType, streamType] : kCarried)
      if (const AVFrameSideData* sd = av_frame_get_side_data(&f, frameType))
        mirror->AddVideoSideData(streamType, sd->data, sd->size);
  }

  // At the end of the stream: damage that ended it early, or frames that never came out; thrown,
  // or told when concealing.
  void CheckEnd() {
    if (conceal) NameLostBefore(kEndOfStream);
    NoteOtherDamage();
    if (!containerDamage.empty())
      Damage(path + ": damaged or cut short after frame " + std::to_string(framesOut) + ": " +
             containerDamage);
    if (!streamDamage.empty()) Damage(streamDamage);
    // A QuickTime or MP4 file indexes every packet up front; one cut short at a packet's start
    // ends without a word.
    const int indexed = avformat_index_get_entries_count(stream);
    if (!seeked && std::string(input->iformat->name).rfind("mov,", 0) == 0 && packetsIn < indexed)
      Damage(path + ": damaged or cut short after frame " + std::to_string(framesOut) + ": " +
             std::to_string(packetsIn) + " of its " + std::to_string(indexed) +
             " packets are there");
    if (!damaged.empty())
      throw ImageError(path + ": " + std::to_string(damaged.size()) + " damaged frame(s) from " +
                       std::to_string(libav::Seconds(damaged.begin()->first, stream->time_base)) +
                       " s on gave no picture: " + damaged.begin()->second);
  }

  // Damage the demuxer logged since `errorsBefore`: the first kept for the end of the stream, or
  // each told at once when concealing.
  void NoteDemuxerDamage(unsigned errorsBefore) {
    if (LoggedErrorCount(Logger::kDemuxer) == errorsBefore) return;
    if (conceal)
      leftOut.push_back(path + ": after frame " + std::to_string(framesOut) +
                        ": damaged stream: " + LastLoggedError(Logger::kDemuxer));
    else if (containerDamage.empty())
      containerDamage = LastLoggedError(Logger::kDemuxer);
  }

  // The next packet of the video into the decoder, the other streams' passed on; at the end of
  // the file the decoder is told to drain.
  void FeedDecoder() {
    const unsigned demuxerErrors = LoggedErrorCount(Logger::kDemuxer);
    TakeCorruptPacketStreams();
    int err = av_read_frame(input.get(), packet.get());
    NoteDemuxerDamage(demuxerErrors);
    NoteCorruptPackets(err >= 0 ? packet.get() : nullptr);
    if (err < 0) {
      draining = true;
      if (mirror) mirror->Close();
      avcodec_send_packet(decoder.get(), nullptr);
      if (err == AVERROR_EOF) return;
      Damage(path + ": after frame " + std::to_string(framesOut) + ": cannot read further: " +
             ErrorText(err));
      return;
    }
    if (packet->stream_index != stream->index) {
      PassOn(packet.get());
      return;
    }
    SendVideoPacket();
  }

  // The packets the demuxer marked corrupt while reading `read` (none at the end). A mark on the
  // video is the stream's damage, named where it was met: the parser that cuts the packets into
  // frames puts a mark on the frame it finishes, the one before the damaged packet. The other
  // streams' marks are counted for the end.
  void NoteCorruptPackets(const AVPacket* read) {
    std::vector<int> marked = TakeCorruptPacketStreams();
    if (read != nullptr && (read->flags & AV_PKT_FLAG_CORRUPT))
      marked.push_back(read->stream_index);
    std::sort(marked.begin(), marked.end());
    marked.erase(std::unique(marked.begin(), marked.end()), marked.end());
    for (const int index : marked) {
      if (index < 0 || index >= static_cast<int>(input->nb_streams)) continue;
      if (index == stream->index) {
        damageMet = true;
        const std::string message = path + ": after frame " + std::to_string(framesOut) +
                                    ": damaged stream: the demuxer marked a video packet corrupt";
        if (conceal)
          leftOut.push_back(message);
        else if (streamDamage.empty())
          streamDamage = message;
        continue;
      }
      const int64_t at = read != nullptr && read->stream_index == index
                             ? PacketTime(read->pts, read->dts)
                             : AV_NOPTS_VALUE;
      auto& [count, first] = otherDamage.try_emplace(index, 0, AV_NOPTS_VALUE).first->second;
      ++count;
      if (first == AV_NOPTS_VALUE) first = at;
    }
  }

  // The other streams' packets the demuxer marked corrupt, one note a stream.
  void NoteOtherDamage() {
    for (const auto& [index, marks] : otherDamage) {
      const AVStream* other = input->streams[index];
      const char* type = av_get_media_type_string(other->codecpar->codec_type);
      std::string note = path + ": " + (type ? type : "data") + " stream " +
                         std::to_string(index) + " (" +
                         avcodec_get_name(other->codecpar->codec_id) + "): the demuxer marked " +
                         std::to_string(marks.first) + " packet(s) corrupt";
      if (marks.second != AV_NOPTS_VALUE)
        note += ", the first at " +
                FormatNumber(libav::Seconds(marks.second, other->time_base), 3) + " s";
      notes.push_back(note + " (the stream is copied, not decoded)");
    }
    otherDamage.clear();
  }

  // The video packet just demuxed into the decoder, the damage it logs noted.
  void SendVideoPacket() {
    ++packetsIn;
    const int64_t pts = packet->pts;
    const int64_t time = PacketTime(packet->pts, packet->dts);
    const unsigned errorsBeforeSend = LoggedErrorCount(Logger::kDecoder);
    const int err = avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    if (err < 0 && err != AVERROR(EAGAIN)) {
      const std::string why = "cannot decode: " + ErrorText(err);
      if (!conceal) throw ImageError(NameOf(framesOut + 1, pts) + ": " + why);
      LeaveOut(time, why);
      return;
    }
    if (LoggedErrorCount(Logger::kDecoder) != errorsBeforeSend)
      damaged[time] = LastLoggedError(Logger::kDecoder);
  }

  // Decoding restarted at the key frame of span `to`, or one before it: the decoder emptied, the
  // demuxer moved there, and the key frame sent.
  void SeekTo(const FrameSpan& to) {
    avcodec_flush_buffers(decoder.get());
    draining = done = false;
    damaged.clear();
    seeked = true;
    lastDecoded = AV_NOPTS_VALUE;
    if (!SeekToKeyFrame(input.get(), stream, to.keyPts, to.keyDts, packet.get()))
      throw ImageError(NameOf(to.first, to.times.front()) +
                       ": cannot seek to a key frame before it");
    SendVideoPacket();
  }

  // Whether the frame just decoded comes before the span's next frame, and is dropped with the
  // damage its packet logged. Otherwise it is that frame, numbered for TakeFrame; a frame at
  // another time throws.
  bool DropsBeforeSpan() {
    const int64_t pts = frame->best_effort_timestamp;
    const int64_t expected = span->times[spanNext];
    lastDecoded = pts;
    if (pts != AV_NOPTS_VALUE && pts < expected) {
      damaged.erase(PacketTime(frame->pts, frame->pkt_dts));
      av_frame_unref(frame.get());
      return true;
    }
    const int number = span->first + static_cast<int>(spanNext++);
    framesOut = number - 1;
    // Frames before it that the decoder never gave (it drops what it cannot decode after a
    // seek) leave no damage behind.
    damaged.erase(damaged.begin(), damaged.lower_bound(expected));
    if (pts != expected) {
      av_frame_unref(frame.get());
      throw ImageError(NameOf(number, expected) + ": the decoder gave the frame at " +
                       std::to_string(libav::Seconds(pts, stream->time_base)) +
                       " s in its place: this stream's frames cannot be found without decoding "
                       "from the start (render it whole)");
    }
    return false;
  }

  // At the end of the stream or of the decoder's frames, with frames of the span not given.
  void SpanCutShort() const {
    if (!span || spanNext == span->times.size()) return;
    const int number = span->first + static_cast<int>(spanNext);
    throw ImageError(NameOf(number, span->times[spanNext]) + ": the video ends before it");
  }

  // A packet of a stream other than the main video: to the writer that copies it, if any.
  void PassOn(AVPacket* other) {
    if (mirror && input->streams[other->stream_index]->discard != AVDISCARD_ALL)
      mirror->Push(other);
    av_packet_unref(other);
  }
};

bool VideoSupported() { return true; }

bool DetectVideo(const uint8_t* head, size_t size) {
  KeepLogQuiet();
  // The probe reads past the end of its buffer by up to the padding, which must be zero.
  std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  std::copy(head, head + size, padded.begin());
  AVProbeData probe{};
  probe.filename = "";  // by content only
  probe.buf = padded.data();
  probe.buf_size = static_cast<int>(size);
  int score = 0;
  const AVInputFormat* format = av_probe_input_format3(&probe, 1, &score);
  if (format == nullptr || score < AVPROBE_SCORE_MAX / 4) return false;
  // Still images are formats of the library too ("png_pipe", "image2"); they are not videos.
  const std::string name = format->name;
  return name.find("_pipe") == std::string::npos && name != "image2" && name != "gif" &&
         name != "apng" && name.find("tiff") == std::string::npos;
}

VideoReader::VideoReader(const std::string& path, DamagedFrames damaged)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  s.conceal = damaged == DamagedFrames::kConceal;
  // Reading the stream information reads packets ahead: damage may show there already.
  const unsigned demuxerErrors = LoggedErrorCount(Logger::kDemuxer);
  s.input = OpenInput(path);
  s.NoteDemuxerDamage(demuxerErrors);
  const int index = MainVideoStream(s.input.get());
  if (index < 0) throw ImageError(path + ": no video stream");
  s.stream = s.input->streams[index];
  const AVCodecParameters* par = s.stream->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (codec == nullptr)
    throw ImageError(path + ": no decoder for " + avcodec_get_name(par->codec_id) + " video");
  CheckImageSize(path, par->width, par->height);
  const AVPixelFormat format = static_cast<AVPixelFormat>(par->format);
  if (format != AV_PIX_FMT_NONE && !sws_isSupportedInput(format)) {
    const char* name = av_get_pix_fmt_name(format);
    throw ImageError(path + ": unsupported pixel format " + (name ? name : "(unknown)"));
  }
  s.decoder.reset(avcodec_alloc_context3(codec));
  if (!s.decoder || !s.packet || !s.frame) throw ImageError(path + ": not enough memory");
  int err = avcodec_parameters_to_context(s.decoder.get(), par);
  if (err >= 0) {
    s.decoder->pkt_timebase = s.stream->time_base;
    s.decoder->thread_count = 0;  // as many as the machine has
    // Slice threads decode each packet within the call that sends it, so that an error the
    // decoder logs belongs to that packet's frame. H.264's decoder conceals a lost slice, and
    // marks the frame, only on one thread: with slice threads it leaves the slice as it was, with
    // frame threads the frame comes out without its mark.
    s.decoder->thread_type = FF_THREAD_SLICE;
    if (par->codec_id == AV_CODEC_ID_H264) s.decoder->thread_count = 1;
    // Frames that cannot be whole (their reference pictures missing) come out marked, rather
    // than being dropped without a word.
    s.decoder->flags |= AV_CODEC_FLAG_OUTPUT_CORRUPT;
    err = avcodec_open2(s.decoder.get(), codec, nullptr);
  }
  if (err < 0)
    throw ImageError(path + ": cannot open the " + codec->name + " decoder: " + ErrorText(err));
  s.transportStream = std::string(s.input->iformat->name) == "mpegts";
  s.coding.matrix = par->color_space;
  s.coding.range = par->color_range;
  for (unsigned i = 0; i < s.input->nb_streams; ++i)
    if (static_cast<int>(i) != index) s.input->streams[i]->discard = AVDISCARD_ALL;
}

VideoReader::~VideoReader() = default;

VideoMirror& VideoReader::ShareStreams() {
  State& s = *state_;
  if (!s.mirror) {
    s.mirror = std::make_unique<VideoMirror>(s.path, s.input.get(), s.stream->index);
    for (unsigned i = 0; i < s.input->nb_streams; ++i)
      if (static_cast<int>(i) != s.stream->index) s.input->streams[i]->discard = AVDISCARD_DEFAULT;
  }
  return *s.mirror;
}

double VideoReader::Seconds(int64_t pts) const {
  return libav::Seconds(pts, state_->stream->time_base);
}

int VideoReader::framesRead() const { return state_->framesOut; }

std::vector<std::string> VideoReader::TakeLeftOut() { return std::exchange(state_->leftOut, {}); }

std::vector<std::string> VideoReader::TakeNotes() { return std::exchange(state_->notes, {}); }

int VideoReader::expectedFrames() const {
  const AVStream* st = state_->stream;
  if (st->nb_frames > 0) return static_cast<int>(st->nb_frames);
  const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) return 0;
  double seconds = 0;
  if (st->duration != AV_NOPTS_VALUE)
    seconds = libav::Seconds(st->duration, st->time_base);
  else if (state_->input->duration != AV_NOPTS_VALUE)
    seconds = double(state_->input->duration) / AV_TIME_BASE;
  return static_cast<int>(std::lround(seconds * av_q2d(rate)));
}

bool VideoReader::Read(Image* image, FrameTime* time, std::string* damage) {
  State& s = *state_;
  s.GiveUpOnErrorsInARow();
  if (!s.missingFailure.empty()) throw ImageError(std::exchange(s.missingFailure, ""));
  if (s.span && s.spanNext == s.span->times.size()) return false;
  ++s.errorsInARow;  // until a frame or the end comes out
  while (!s.done) {
    const unsigned errorsBefore = LoggedErrorCount(Logger::kDecoder);
    const int err = avcodec_receive_frame(s.decoder.get(), s.frame.get());
    if (err == 0) {
      if (s.span && s.DropsBeforeSpan()) continue;
      s.TakeFrame(errorsBefore, image, time, damage);
      s.errorsInARow = 0;
      return true;
    }
    if (err == AVERROR_EOF) {
      s.done = true;
      s.CheckEnd();
      s.SpanCutShort();
      return false;
    }
    if (err != AVERROR(EAGAIN)) {
      const std::string why = "cannot decode: " + ErrorText(err);
      if (!s.conceal) throw ImageError(s.NameOf(s.framesOut + 1, AV_NOPTS_VALUE) + ": " + why);
      s.LeaveOut(AV_NOPTS_VALUE, why);
      continue;
    }
    if (s.draining) {
      s.done = true;  // a decoder that neither gives frames nor ends
      if (s.conceal) s.NameLostBefore(kEndOfStream);
      s.SpanCutShort();
      return false;
    }
    s.FeedDecoder();
  }
  return false;
}

VideoMirror& VideoReader::ShareVideoStream() {
  State& s = *state_;
  if (!s.mirror)
    s.mirror = std::make_unique<VideoMirror>(s.path, s.input.get(), s.stream->index,
                                             /*otherStreams=*/false);
  return *s.mirror;
}

void VideoReader::ReadSpan(const FrameSpan& span) {
  State& s = *state_;
  // Decoding goes on where it has passed the span's key frame but not yet its first frame.
  const bool onTheWay = !s.done && s.lastDecoded != AV_NOPTS_VALUE &&
                        span.keyPts != AV_NOPTS_VALUE && span.keyPts <= s.lastDecoded &&
                        s.lastDecoded < span.times.front();
  s.span = span;
  s.spanNext = 0;
  s.lastShown = AV_NOPTS_VALUE;  // the frames before the span are not its frames' neighbours
  if (!onTheWay) s.SeekTo(span);
}

}  // namespace fxaa_cli
