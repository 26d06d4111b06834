// What is known of each frame of a video's main stream as it is decoded: the packets in decode
// order, the frames the decoder gives in presentation order, and from both which frames are
// whole, damaged, predicted from damaged ones, or missing. Decoders conceal damage and go on, and
// the frames predicted from a concealed one come out unmarked though they carry its errors; a
// packet lost outright leaves no trace but a gap. The ledger names each frame's fate and gives
// every frame, missing ones included, the number it has in the whole stream.
//
// A frame is judged only once every packet decoded before it has given its frame (or cannot any
// more): a B-frame shown before the damaged frame it is predicted from is held until that frame's
// damage is known. Times are in the stream's time base; kNoTime where unknown.
//
// Times that jump (two captures joined, a splice, a clock that wrapped) start a new segment: its
// frames keep their numbers and their own times, and no frame is named missing across the jump.
// Within the ledger each segment's times are moved onto one rising line, so that a segment
// whose clock went back is not taken for frames given out of their place.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fxaa_cli {

class FrameLedger {
 public:
  static constexpr int64_t kNoTime = INT64_MIN;  // FFmpeg's AV_NOPTS_VALUE

  struct Rules {
    // A frame that comes late means frames missing, not a variable rate: the codec runs at one
    // rate (MPEG-1 and MPEG-2 state theirs), or the container is a capture's (a transport stream).
    bool fixedRate = false;
    bool capture = false;
    // Packet times that jump by more than this, forward or back, are a discontinuity; 0: none.
    int64_t spliceTicks = 0;
  };

  // A frame missing from the output, in its place: never decoded, or never in the stream.
  struct Missing {
    int number = 0;
    int64_t time = kNoTime;
    std::string why;
  };

  // The fate of the oldest frame given, with the frames missing just before it.
  struct Verdict {
    std::vector<Missing> missing;
    int number = 0;
    int64_t time = kNoTime;
    // What the decoder said of its damage; empty for a whole frame.
    std::string damage;
    // Otherwise, where it may be predicted from a damaged or missing frame (none decoded whole
    // since): that frame's time, and its number where it was named already.
    int64_t inheritedFrom = kNoTime;
    int inheritedNumber = 0;
    // The decoder gave it after a frame shown later (a decoder that lost a reference may): it
    // has no place, and takes no number (`number` is 0, or the number it was named missing
    // under); `shownAfter` is that later frame's time.
    int64_t shownAfter = kNoTime;
    // It begins a new segment (it or a frame named missing just before it): the time of the
    // frame shown last before the jump.
    int64_t segmentAfter = kNoTime;
  };

  explicit FrameLedger(Rules rules) : rules_(rules) {}

  // A packet of the stream into the decoder: its time, whether it is a key frame, its place in
  // presentation order where the codec numbers its pictures (H.264's and HEVC's picture order
  // count), whether it surely holds a picture of its own (one that gives none was dropped by
  // the decoder). Returns its place in decode order.
  uint64_t Sent(int64_t time, bool key, std::optional<int64_t> order, bool picture);
  // The error the decoder logged while decoding packet `seq`: its frame is damaged, and every
  // frame decoded after it until the next whole key frame.
  void Logged(uint64_t seq, const std::string& error);
  // Packet `seq` gave no picture, for `why`: named as missing in its place.
  void Refused(uint64_t seq, const std::string& why);
  // A frame the decoder gave, at `time`, with the damage it marked ("" none). The caller keeps
  // the picture until Judge names it.
  void Received(int64_t time, const std::string& marked);
  // A frame decoded only to reach others (before a range): its damage still counts for the
  // frames predicted from it, but it takes no number.
  void Passed(int64_t time, const std::string& marked);
  // Whether the oldest frame received can be judged: every packet decoded before it that would
  // be shown after it has given its frame, or `ended` (the decoder gives no more).
  bool Ready(bool ended) const;
  bool HasFrames() const { return !frames_.empty(); }
  // Judges and forgets the oldest frame received.
  Verdict Judge();
  // At the end of the stream: the packets that never gave their frame.
  std::vector<Missing> End();
  // A frame number used for something that is no frame of the ledger's (a picture lost with no
  // time); the next frame's number follows it.
  int TakeNumber() { return ++numbered_; }
  // The number of the last frame named.
  int numbered() const { return numbered_; }
  // Decoding starts again (a seek): the next frame is number `next`, with nothing known before
  // it. Packets before `from` that never give their frame are forgotten, not named (a decoder
  // drops what it cannot decode after a seek).
  void Restart(int next);
  void ForgetBefore(int64_t from);
  // The next frame judged is number `next`, and none shown before it is its neighbour (the first
  // frame of a range, reached without a seek).
  void Renumber(int next);

 private:
  struct Packet {
    uint64_t seq = 0;
    bool key = false;
    std::optional<int64_t> order;
    bool picture = false;
    std::string logged;   // the error its decoding logged
    std::string refused;  // why it gave no picture
    bool given = false;   // its frame came
    int64_t raw = kNoTime;  // its own time
  };
  // Times below are the ledger's line (packets_ is keyed by it); `raw` is the stream's.
  struct Frame {
    int64_t time = kNoTime, raw = kNoTime;
    uint64_t seq = 0;
    std::string damage;
  };
  // Damage from packet `after` on (exclusive), until a whole key frame decoded after it.
  struct Taint {
    uint64_t after = 0;
    int64_t from = kNoTime, fromRaw = kNoTime;  // the damaged or missing frame's time
  };
  // A run of packets whose times follow on: its own times plus `offset` are the ledger's.
  struct Segment {
    int64_t offset = 0;
    int64_t lowest = 0, highest = 0;  // its own times
  };
  // A jump between segments: the last time of the one before, on the line and its own.
  struct Jump {
    int64_t after = kNoTime, afterRaw = kNoTime;
  };

  int64_t Place(int64_t raw);
  int64_t LineTime(int64_t raw) const;
  bool AcrossJump(int64_t from, int64_t to) const;
  uint64_t SeqAt(int64_t time) const;
  void TaintAfter(uint64_t seq, int64_t from, int64_t fromRaw);
  const Taint* TaintOf(uint64_t seq, int64_t time) const;
  void NameMissing(int64_t time, int64_t raw, const std::string& why,
                   std::optional<int64_t> order, std::vector<Missing>* missing);
  void NameGapBefore(int64_t time, int64_t raw, uint64_t seq, std::optional<int64_t> order,
                     std::vector<Missing>* missing);
  void Shown(int64_t time, int64_t raw, std::optional<int64_t> order, bool learn);
  void ForgetClean(uint64_t seq);

  Rules rules_;
  uint64_t nextSeq_ = 1;
  std::map<int64_t, Packet> packets_;  // by time: sent, not yet shown or named
  std::deque<Frame> frames_;           // received, not yet judged
  std::vector<Taint> taints_;
  std::vector<std::pair<uint64_t, int64_t>> cleanKeys_;  // decode place and time
  std::map<int64_t, int> numbers_;  // the numbers of recent frames, by time, to name them
  std::deque<Segment> segments_;    // the latest ones, whose frames may still come
  std::deque<Jump> jumps_;          // not yet passed by a frame judged
  int64_t lastSent_ = kNoTime, sentStep_ = 0;  // the last packet's time, the smallest step
  int numbered_ = 0;
  bool damageMet_ = false;
  // The last frame shown (or named missing), its picture order, and the smallest steps so far.
  int64_t lastTime_ = kNoTime, lastRaw_ = kNoTime, smallestStep_ = 0;
  std::optional<int64_t> lastOrder_;
  int64_t smallestOrderStep_ = 0;
};

}  // namespace fxaa_cli
