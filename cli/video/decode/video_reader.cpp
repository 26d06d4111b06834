// Demuxing and decoding a video's main stream into the tool's images, in presentation order.
// The other streams are skipped, or handed to a writer that copies them (ShareStreams). What is
// known of each frame's damage is kept by a ledger (video_frame_ledger.h), which names every
// frame, missing ones included, by its number in the whole stream.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "cli/video/video.h"
#include "cli/video/decode/video_frame_ledger.h"
#include "cli/libav/libav.h"
#include "cli/video/copy/video_mirror.h"
#include "cli/video/video_pixels.h"
#include "cli/param_options.h"

namespace fxaa_cli {

using namespace libav;

namespace {

constexpr int kErrorsInARowMax = 100;

// A packet's or frame's time as the demuxer gave it: its pts, else its dts.
int64_t PacketTime(int64_t pts, int64_t dts) { return pts != AV_NOPTS_VALUE ? pts : dts; }

// a + b, held within the times FFmpeg takes.
int64_t Shifted(int64_t a, int64_t b) {
  constexpr int64_t kMost = INT64_MAX / 2;
  return std::clamp(a, -kMost, kMost) + std::clamp(b, -kMost, kMost);
}

// "0.760 s", as frames are named.
std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.3f s", seconds);
  return text;
}

struct ParserCloser {
  void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};

// The decoder that sees the most damage: libvpx's for VP9, which finds a corrupt frame that
// FFmpeg's own decoder shows without a word (and decodes the alpha WebM carries beside it).
const AVCodec* DecoderFor(AVCodecID id) {
  if (id == AV_CODEC_ID_VP9)
    if (const AVCodec* libvpx = avcodec_find_decoder_by_name("libvpx-vp9")) return libvpx;
  return avcodec_find_decoder(id);
}

// Codecs whose parser tells each packet's picture: its type, and for H.264 and HEVC its place in
// presentation order.
bool ParsesPictures(AVCodecID id) {
  return id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC || id == AV_CODEC_ID_MPEG2VIDEO ||
         id == AV_CODEC_ID_MPEG1VIDEO;
}

}  // namespace

struct VideoReader::State {
  // The errors its decoder and demuxer log: first, so that it outlives them.
  LoggedErrors logged{this};
  std::string path;
  InputPtr input;
  AVStream* stream = nullptr;
  CodecPtr decoder;
  PacketPtr packet{av_packet_alloc()};
  FramePtr frame{av_frame_alloc()};
  FrameToImage converter;
  ColourCoding coding;
  int width = 0, height = 0;
  int packetsIn = 0;
  bool draining = false;      // the demuxer is done: the decoder gives what it still holds
  bool decoderEnded = false;  // the decoder gave its last frame
  bool done = false;          // every frame judged and the end checked
  int errorsInARow = 0;       // a decoder that fails on and on is given up
  int64_t nextPts = 0;
  // Damage is told and read past rather than thrown: a frame the decoder concealed is given as it
  // is, one it gave no picture for is left out.
  bool conceal = false;
  std::optional<FrameLedger> ledger;
  std::deque<FramePtr> held;  // frames received, waiting for the ledger's judgement
  // The next frame to give, judged, with its number and damage.
  FramePtr ready;
  int readyNumber = 0;
  std::string readyDamage;
  int lastNumber = 0;  // the number of the frame given last
  // Added to the frames' times for a writer: a segment whose clock went back follows on from
  // the frames given before it, so that the times written keep rising. `givenEnd`: where the
  // frame given last ends, in the writer's times.
  int64_t shift = 0, givenEnd = AV_NOPTS_VALUE;
  bool jumped = false;  // a segment began since the frame given last
  // Not concealing: damage found, thrown one a Read, in the order of the frames.
  std::deque<std::string> failures;
  // The codec's parser and its own context, for each packet's picture.
  std::unique_ptr<AVCodecParserContext, ParserCloser> parser;
  CodecPtr parserContext;
  // The demuxer marked a packet of the video corrupt: the damage is in the next video packet
  // sent after the one read with the mark (corruptMark), or after the one read next (corruptSeen).
  bool corruptMark = false, corruptSeen = false;
  // What the demuxer logged of damage it read past (a file cut short ends as if complete), for
  // the end of the stream; when concealing it is told at once instead.
  std::string containerDamage;
  std::vector<std::string> leftOut;  // told since the last TakeLeftOut
  // Packets of the other streams the demuxer marked corrupt: copied as they are, and told at the
  // end with the time of the first.
  std::map<int, std::pair<int, int64_t>> otherDamage;
  std::vector<std::string> notes;  // told since the last TakeNotes
  bool sideDataShared = false;     // the first frame's, with the mirror
  // The other streams' packets go there once a writer copies them.
  std::shared_ptr<VideoMirror> mirror;
  // Reading a span of frames (ReadSpan): the next of its frames to come from the decoder, the
  // time of the last frame decoded, and whether decoding ever restarted off the stream's start
  // (the index's packet count then says nothing of a cut-short file).
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

  // Damage that fails the frame or the stream: queued to be thrown, or told and read past when
  // concealing.
  void Damage(const std::string& message) {
    if (conceal)
      leftOut.push_back(message);
    else
      failures.push_back(message);
  }

  // Ends reading once so many reads in a row gave no frame that the decoder seems to fail on and
  // on.
  void GiveUpOnErrorsInARow() {
    if (errorsInARow < kErrorsInARowMax) return;
    done = true;
    throw ImageError(path + ": given up after " + std::to_string(kErrorsInARowMax) +
                     " failures in a row");
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

  // Frames missing before a frame, or at the end: left out in their places, or failed.
  void TellMissing(const std::vector<FrameLedger::Missing>& missing) {
    for (const FrameLedger::Missing& m : missing) {
      const std::string name = NameOf(m.number, m.time == FrameLedger::kNoTime ? AV_NOPTS_VALUE
                                                                               : m.time);
      Damage(name + (conceal ? ": left out: " : ": ") + m.why);
    }
  }

  // The oldest frame held, judged: given next, or failed, with the frames missing before it.
  void JudgeNext() {
    FramePtr f = std::move(held.front());
    held.pop_front();
    const FrameLedger::Verdict verdict = ledger->Judge();
    if (verdict.segmentAfter != FrameLedger::kNoTime) {
      jumped = true;
      notes.push_back(NameOf(verdict.number, verdict.time) +
                      ": a new segment begins (its times jump from " +
                      SecondsText(libav::Seconds(verdict.segmentAfter, stream->time_base)) + ")");
    }
    TellMissing(verdict.missing);
    if (verdict.shownAfter != FrameLedger::kNoTime) {
      if (verdict.number != 0) return;  // named missing in its place already
      const double at = libav::Seconds(verdict.time, stream->time_base);
      const double after = libav::Seconds(verdict.shownAfter, stream->time_base);
      Damage(path + ": the frame at " + SecondsText(at) + (conceal ? ": left out" : "") +
             ": the decoder gave it after the frame at " + SecondsText(after) +
             " (a picture it is predicted from is missing)");
      return;
    }
    std::string damage = verdict.damage;
    if (damage.empty() && verdict.inheritedFrom != FrameLedger::kNoTime) {
      const double seconds = libav::Seconds(verdict.inheritedFrom, stream->time_base);
      damage = "predicted from " +
               (verdict.inheritedNumber > 0
                    ? FrameName("", verdict.inheritedNumber, seconds).substr(2)
                    : "the frame at " + SecondsText(seconds)) +
               ", damaged or missing, with no whole key frame decoded since";
    }
    const int64_t pts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp
                                                                    : nextPts;
    if (!damage.empty() && !conceal) {
      failures.push_back(NameOf(verdict.number, pts) + ": damaged: " + damage);
      return;
    }
    ready = std::move(f);
    readyNumber = verdict.number;
    readyDamage = damage;
  }

  // The frame judged last into `image`; a frame whose size changed fails.
  void GiveReady(Image* image, FrameTime* time, std::string* damage) {
    FramePtr taken = std::move(ready);
    AVFrame& f = *taken;
    lastNumber = readyNumber;
    const int64_t pts = f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp
                                                                   : nextPts;
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
    const int64_t duration = f.duration;
#else
    const int64_t duration = f.pkt_duration;
#endif
    nextPts = pts + (duration > 0 ? duration : 1);
    if (std::exchange(jumped, false) && givenEnd != AV_NOPTS_VALUE &&
        Shifted(pts, shift) < givenEnd)
      shift = Shifted(givenEnd, -pts);
    givenEnd = Shifted(Shifted(pts, shift), duration > 0 ? duration : 1);
    if (damage != nullptr) *damage = readyDamage;
    if (width == 0) width = f.width, height = f.height;
    if (f.width != width || f.height != height)
      throw ImageError(NameOf(readyNumber, pts) + ": the picture size changes mid-stream (" +
                       std::to_string(width) + " x " + std::to_string(height) + " to " +
                       std::to_string(f.width) + " x " + std::to_string(f.height) + ")");
#ifdef AV_FRAME_FLAG_INTERLACED
    const bool interlaced = (f.flags & AV_FRAME_FLAG_INTERLACED) != 0;
    const bool topFirst = (f.flags & AV_FRAME_FLAG_TOP_FIELD_FIRST) != 0;
#else
    const bool interlaced = f.interlaced_frame != 0, topFirst = f.top_field_first != 0;
#endif
    const FieldOrder fields = !interlaced ? FieldOrder::kProgressive
                              : topFirst  ? FieldOrder::kTopFirst
                                          : FieldOrder::kBottomFirst;
    try {
      converter.Convert(f, coding, HasAlphaChannel(static_cast<AVPixelFormat>(f.format)),
                        fields != FieldOrder::kProgressive, image);
    } catch (const ImageError& e) {
      throw ImageError(path + ": " + e.what());
    }
    time->pts = Shifted(pts, shift);
    time->duration = duration;
    time->fields = fields;
    const AVFrameSideData* captions = av_frame_get_side_data(&f, AV_FRAME_DATA_A53_CC);
    time->captions.assign(captions ? captions->data : nullptr,
                          captions ? captions->data + captions->size : nullptr);
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

  // A frame from the decoder: dropped when it comes before the span being read (its damage still
  // counts), else held for the ledger's judgement.
  void Receive(unsigned errorsBefore) {
    AVFrame& f = *frame;
    int64_t time = PacketTime(f.pts, f.pkt_dts);
    if (time == AV_NOPTS_VALUE) time = f.best_effort_timestamp;
    const int64_t key = time == AV_NOPTS_VALUE ? FrameLedger::kNoTime : time;
    std::string marked = logged.count(Logger::kDecoder) != errorsBefore
                             ? logged.last(Logger::kDecoder)
                             : DamageMarked(f);
    if (span && DropsBeforeSpan()) {
      ledger->Passed(key, marked);
      av_frame_unref(&f);
      return;
    }
    ledger->Received(key, marked);
    FramePtr kept(av_frame_alloc());
    if (!kept) throw ImageError(path + ": not enough memory");
    av_frame_move_ref(kept.get(), &f);
    held.push_back(std::move(kept));
  }

  // At the end of the stream: packets that never gave their frame, damage that ended it early.
  void CheckEnd() {
    std::vector<FrameLedger::Missing> missing = ledger->End();
    // Reading a span, only its own frames are missed; the decoder went on past it.
    if (span)
      missing.erase(std::remove_if(missing.begin(), missing.end(),
                                   [this](const FrameLedger::Missing& m) {
                                     return m.time > span->times.back();
                                   }),
                    missing.end());
    TellMissing(missing);
    NoteOtherDamage();
    const int last = ledger->numbered();
    if (!containerDamage.empty())
      Damage(path + ": damaged or cut short after frame " + std::to_string(last) + ": " +
             containerDamage);
    // A QuickTime or MP4 file indexes every packet up front; one cut short at a packet's start
    // ends without a word.
    const int indexed = avformat_index_get_entries_count(stream);
    if (!seeked && std::string(input->iformat->name).rfind("mov,", 0) == 0 && packetsIn < indexed)
      Damage(path + ": damaged or cut short after frame " + std::to_string(last) + ": " +
             std::to_string(packetsIn) + " of its " + std::to_string(indexed) +
             " packets are there");
  }

  // Damage the demuxer logged since `errorsBefore`: the first kept for the end of the stream, or
  // each told at once when concealing.
  void NoteDemuxerDamage(unsigned errorsBefore) {
    if (logged.count(Logger::kDemuxer) == errorsBefore) return;
    if (conceal)
      leftOut.push_back(path + ": after frame " + std::to_string(ledger->numbered()) +
                        ": damaged stream: " + logged.last(Logger::kDemuxer));
    else if (containerDamage.empty())
      containerDamage = logged.last(Logger::kDemuxer);
  }

  // The next packet of the video into the decoder, the other streams' passed on; at the end of
  // the file the decoder is told to drain.
  void FeedDecoder() {
    const unsigned demuxerErrors = logged.count(Logger::kDemuxer);
    TakeCorruptPacketStreams();
    int err = av_read_frame(input.get(), packet.get());
    NoteDemuxerDamage(demuxerErrors);
    NoteCorruptPackets(err >= 0 ? packet.get() : nullptr);
    if (err < 0) {
      draining = true;
      if (mirror) mirror->Close();
      avcodec_send_packet(decoder.get(), nullptr);
      if (err == AVERROR_EOF) return;
      Damage(path + ": after frame " + std::to_string(ledger->numbered()) +
             ": cannot read further: " + ErrorText(err));
      return;
    }
    if (packet->stream_index != stream->index) {
      corruptMark = corruptMark || std::exchange(corruptSeen, false);
      PassOn(packet.get());
      return;
    }
    SendVideoPacket();
    corruptMark = std::exchange(corruptSeen, false);
  }

  // The packets the demuxer marked corrupt while reading `read` (none at the end). A mark on the
  // video is damage in the video packet after `read`: the parser that cuts the packets into
  // frames finishes the frame before the damaged data with it, and drops the packet's own mark.
  // The other streams' marks are counted for the end.
  void NoteCorruptPackets(const AVPacket* read) {
    std::vector<int> marked = TakeCorruptPacketStreams();
    if (read != nullptr && (read->flags & AV_PKT_FLAG_CORRUPT))
      marked.push_back(read->stream_index);
    std::sort(marked.begin(), marked.end());
    marked.erase(std::unique(marked.begin(), marked.end()), marked.end());
    for (const int index : marked) {
      if (index < 0 || index >= static_cast<int>(input->nb_streams)) continue;
      if (index == stream->index) {
        corruptSeen = true;
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

  // The packet's picture as its codec's parser reads it: its place in presentation order where
  // the codec counts one, and whether it is surely a picture of its own (not a field of one).
  void ParsePicture(const AVPacket& p, std::optional<int64_t>* order, bool* picture, bool* key) {
    if (!parser) return;
    uint8_t* out = nullptr;
    int outSize = 0;
    av_parser_parse2(parser.get(), parserContext.get(), &out, &outSize, p.data, p.size, p.pts,
                     p.dts, p.pos);
    const int structure = parser->picture_structure;
    *picture = parser->pict_type != AV_PICTURE_TYPE_NONE &&
               structure != AV_PICTURE_STRUCTURE_TOP_FIELD &&
               structure != AV_PICTURE_STRUCTURE_BOTTOM_FIELD;
    const AVCodecID id = stream->codecpar->codec_id;
    if (*picture && (id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC))
      *order = parser->output_picture_number;
    // An open group's I-frame with a recovery point is where decoding may start, though MP4
    // does not list it as a sync sample.
    if (parser->key_frame == 1) *key = true;
  }

  // The video packet just demuxed into the decoder, with what the ledger needs to know of it.
  void SendVideoPacket() {
    ++packetsIn;
    const int64_t time = PacketTime(packet->pts, packet->dts);
    std::optional<int64_t> order;
    bool picture = false, key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    ParsePicture(*packet, &order, &picture, &key);
    // Outside the container's edit list: decoded for the frames that refer to it, never shown.
    if (packet->flags & AV_PKT_FLAG_DISCARD) picture = false;
    const uint64_t seq =
        ledger->Sent(time == AV_NOPTS_VALUE ? FrameLedger::kNoTime : time, key, order, picture);
    const unsigned errorsBeforeSend = logged.count(Logger::kDecoder);
    const int err = avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    if (err < 0 && err != AVERROR(EAGAIN)) {
      const std::string why = "cannot decode: " + ErrorText(err);
      ++errorsInARow;
      GiveUpOnErrorsInARow();
      if (time != AV_NOPTS_VALUE) {
        ledger->Refused(seq, why);
      } else {
        const int number = ledger->TakeNumber();
        Damage(NameOf(number, AV_NOPTS_VALUE) + (conceal ? ": left out: " : ": ") + why);
      }
    } else if (logged.count(Logger::kDecoder) != errorsBeforeSend) {
      ledger->Logged(seq, logged.last(Logger::kDecoder));
    } else if (corruptMark) {
      ledger->Logged(seq, "the demuxer marked its packet corrupt");
    }
    corruptMark = false;
  }

  // Decoding restarted at the key frame of span `to`, or one before it: the decoder emptied, the
  // demuxer moved there, and the key frame sent.
  void SeekTo(const FrameSpan& to) {
    avcodec_flush_buffers(decoder.get());
    draining = decoderEnded = done = false;
    held.clear();
    ready.reset();
    ledger->Restart(to.first);
    // A span's frames keep the stream's times, which its index found.
    shift = 0, givenEnd = AV_NOPTS_VALUE, jumped = false;
    seeked = true;
    lastDecoded = AV_NOPTS_VALUE;
    const bool there = to.keyPos >= 0
                           ? SeekToKeyFrameAt(input.get(), stream, to.keyPos, to.keyPts,
                                              packet.get())
                           : SeekToKeyFrame(input.get(), stream, to.keyPts, to.keyDts,
                                            packet.get());
    if (!there)
      throw ImageError(NameOf(to.first, to.times.front()) +
                       ": cannot seek to a key frame before it");
    if (parser) {
      parser.reset(av_parser_init(stream->codecpar->codec_id));
      if (parser) parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    }
    SendVideoPacket();
  }

  // Whether the frame just decoded comes before the span's next frame, to be dropped. Otherwise
  // it is that frame, numbered as the span says; a frame at another time throws.
  bool DropsBeforeSpan() {
    const int64_t pts = frame->best_effort_timestamp;
    if (spanNext == span->times.size()) return true;  // past the span: decoded ahead, not given
    const int64_t expected = span->times[spanNext];
    lastDecoded = pts;
    if (pts != AV_NOPTS_VALUE && pts < expected) return true;
    const int number = span->first + static_cast<int>(spanNext++);
    if (number == span->first) {
      // Frames before it that the decoder never gave (it drops what it cannot decode after a
      // seek) are no frames of the span.
      ledger->ForgetBefore(expected);
      ledger->Renumber(number);
    }
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

  // DNxHD's rate, where the container does not state it (MXF): every frame of a DNxHD profile
  // has one size, so the first frame's size at the stream's rate is the rate, which a writer
  // needs to keep the profile. The file is read from its start again.
  void ReadDnxhdRate() {
    const AVRational rate = stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0 || input->pb == nullptr || !(input->pb->seekable & AVIO_SEEKABLE_NORMAL))
      return;
    int err;
    while ((err = av_read_frame(input.get(), packet.get())) >= 0 &&
           packet->stream_index != stream->index)
      av_packet_unref(packet.get());
    if (err < 0) return;
    stream->codecpar->bit_rate = static_cast<int64_t>(packet->size) * 8 * rate.num / rate.den;
    av_packet_unref(packet.get());
    const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    if (av_seek_frame(input.get(), stream->index, start, AVSEEK_FLAG_BACKWARD) < 0)
      throw ImageError(path + ": cannot go back to its start after reading its first frame");
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
  const LoggedErrors::Scope scope(s.logged);
  const unsigned demuxerErrors = s.logged.count(Logger::kDemuxer);
  s.input = OpenInput(path);
  const int index = MainVideoStream(s.input.get());
  if (index < 0) throw ImageError(path + ": no video stream");
  s.stream = s.input->streams[index];
  AVCodecParameters* par = s.stream->codecpar;
  const bool transportStream = std::string(s.input->iformat->name) == "mpegts";
  FrameLedger::Rules rules;
  rules.fixedRate =
      par->codec_id == AV_CODEC_ID_MPEG1VIDEO || par->codec_id == AV_CODEC_ID_MPEG2VIDEO;
  rules.capture = transportStream;
  rules.spliceTicks = av_rescale_q(1, AVRational{1, 1}, s.stream->time_base);
  s.ledger.emplace(rules);
  s.NoteDemuxerDamage(demuxerErrors);
  const AVCodec* codec = DecoderFor(par->codec_id);
  if (codec == nullptr)
    throw ImageError(path + ": no decoder for " + avcodec_get_name(par->codec_id) + " video");
  CheckImageSize(path, par->width, par->height);
  AVPixelFormat format = static_cast<AVPixelFormat>(par->format);
  if (format != AV_PIX_FMT_NONE && !sws_isSupportedInput(format)) {
    const char* name = av_get_pix_fmt_name(format);
    throw ImageError(path + ": unsupported pixel format " + (name ? name : "(unknown)"));
  }
  s.decoder.reset(avcodec_alloc_context3(codec));
  if (!s.decoder || !s.packet || !s.frame) throw ImageError(path + ": not enough memory");
  int err = avcodec_parameters_to_context(s.decoder.get(), par);
  if (err >= 0) {
    s.decoder->pkt_timebase = s.stream->time_base;
    s.decoder->opaque = &s;  // the key of its errors
    s.decoder->thread_count = 0;  // as many as the machine has
    // Slice threads decode each packet within the call that sends it, so that an error the
    // decoder logs belongs to that packet's frame. H.264's decoder conceals a lost slice, and
    // marks the frame, only on one thread: with slice threads it leaves the slice as it was, with
    // frame threads the frame comes out without its mark.
    s.decoder->thread_type = FF_THREAD_SLICE;
    if (par->codec_id == AV_CODEC_ID_H264) s.decoder->thread_count = 1;
    // Frames that cannot be whole (their reference pictures missing) come out marked, rather
    // than being dropped without a word; checksums the stream carries (HEVC's picture hashes)
    // are checked.
    s.decoder->flags |= AV_CODEC_FLAG_OUTPUT_CORRUPT;
    s.decoder->err_recognition |= AV_EF_CRCCHECK;
    err = avcodec_open2(s.decoder.get(), codec, nullptr);
  }
  if (err < 0)
    throw ImageError(path + ": cannot open the " + codec->name + " decoder: " + ErrorText(err));
  if (ParsesPictures(par->codec_id)) {
    s.parser.reset(av_parser_init(par->codec_id));
    s.parserContext.reset(avcodec_alloc_context3(nullptr));
    if (!s.parser || !s.parserContext ||
        avcodec_parameters_to_context(s.parserContext.get(), par) < 0)
      throw ImageError(path + ": not enough memory");
    s.parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
  }
  // libvpx decodes VP9's alpha, which WebM carries beside the picture and FFmpeg's own decoder
  // leaves out: the stream is described as the frames will come.
  const AVDictionaryEntry* alpha = av_dict_get(s.stream->metadata, "alpha_mode", nullptr, 0);
  if (std::string(codec->name) == "libvpx-vp9" && alpha != nullptr &&
      std::string(alpha->value) == "1" && format == AV_PIX_FMT_YUV420P)
    par->format = AV_PIX_FMT_YUVA420P;
  s.coding.matrix = par->color_space;
  s.coding.range = par->color_range;
  for (unsigned i = 0; i < s.input->nb_streams; ++i)
    if (static_cast<int>(i) != index) s.input->streams[i]->discard = AVDISCARD_ALL;
  if (par->codec_id == AV_CODEC_ID_DNXHD && par->bit_rate <= 0) s.ReadDnxhdRate();
}

VideoReader::~VideoReader() = default;

std::shared_ptr<VideoMirror> VideoReader::ShareStreams() {
  State& s = *state_;
  if (!s.mirror) {
    s.mirror = std::make_shared<VideoMirror>(s.path, s.input.get(), s.stream->index);
    for (unsigned i = 0; i < s.input->nb_streams; ++i)
      if (static_cast<int>(i) != s.stream->index) s.input->streams[i]->discard = AVDISCARD_DEFAULT;
  }
  return s.mirror;
}

double VideoReader::Seconds(int64_t pts) const {
  return libav::Seconds(pts, state_->stream->time_base);
}

int VideoReader::framesRead() const { return state_->lastNumber; }

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
  const LoggedErrors::Scope scope(s.logged);
  s.GiveUpOnErrorsInARow();
  auto fail = [&s] {
    std::string message = std::move(s.failures.front());
    s.failures.pop_front();
    throw ImageError(message);
  };
  if (!s.failures.empty()) fail();
  if (s.ready) {
    s.GiveReady(image, time, damage);
    return true;
  }
  if (s.done) return false;
  ++s.errorsInARow;  // until a frame or the end comes out
  for (;;) {
    if (s.ledger->Ready(s.decoderEnded)) {
      s.JudgeNext();
      if (!s.failures.empty()) fail();
      if (s.ready) {
        s.errorsInARow = 0;
        s.GiveReady(image, time, damage);
        return true;
      }
      continue;
    }
    if (s.decoderEnded || (s.span && s.spanNext == s.span->times.size() && !s.ledger->HasFrames())) {
      s.done = true;
      if (s.decoderEnded) s.CheckEnd();
      if (!s.failures.empty()) fail();
      s.SpanCutShort();
      return false;
    }
    const unsigned errorsBefore = s.logged.count(Logger::kDecoder);
    const int err = avcodec_receive_frame(s.decoder.get(), s.frame.get());
    if (err == 0) {
      s.Receive(errorsBefore);
      continue;
    }
    if (err == AVERROR_EOF) {
      s.decoderEnded = true;
      continue;
    }
    if (err != AVERROR(EAGAIN)) {
      const std::string why = "cannot decode: " + ErrorText(err);
      const int number = s.ledger->TakeNumber();
      s.Damage(s.NameOf(number, AV_NOPTS_VALUE) + (s.conceal ? ": left out: " : ": ") + why);
      ++s.errorsInARow;
      s.GiveUpOnErrorsInARow();
      if (!s.failures.empty()) fail();
      continue;
    }
    if (s.draining) {
      s.decoderEnded = true;  // a decoder that neither gives frames nor ends
      continue;
    }
    s.FeedDecoder();
  }
}

std::shared_ptr<VideoMirror> VideoReader::ShareVideoStream() {
  State& s = *state_;
  if (!s.mirror)
    s.mirror = std::make_shared<VideoMirror>(s.path, s.input.get(), s.stream->index,
                                             /*otherStreams=*/false);
  return s.mirror;
}

void VideoReader::ReadSpan(const FrameSpan& span) {
  State& s = *state_;
  const LoggedErrors::Scope scope(s.logged);
  // Decoding goes on where it has passed the span's key frame but not yet its first frame.
  // Not where times repeat: a time then tells no place.
  const bool onTheWay = !s.done && span.keyPos < 0 && s.lastDecoded != AV_NOPTS_VALUE &&
                        span.keyPts != AV_NOPTS_VALUE && span.keyPts <= s.lastDecoded &&
                        s.lastDecoded < span.times.front();
  s.span = span;
  s.spanNext = 0;
  if (!onTheWay) s.SeekTo(span);
}

}  // namespace fxaa_cli
