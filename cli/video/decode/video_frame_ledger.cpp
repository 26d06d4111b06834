#include "cli/video/decode/video_frame_ledger.h"

#include <algorithm>
#include <utility>

namespace fxaa_cli {

namespace {

constexpr size_t kHeldMost = 32;        // frames held for judging, whatever blocks them
constexpr uint64_t kReorderMost = 64;   // packets a decoder may decode ahead of showing them
constexpr size_t kNumbersKept = 64;     // recent frames' numbers, to name a damaged one
constexpr size_t kSegmentsKept = 8;     // segments whose frames may still come from the decoder
// Steps beyond any frame's (a hostile stream's times): no frame is named missing in them, and
// the arithmetic on smaller ones cannot overflow.
constexpr uint64_t kStepMost = uint64_t(INT64_MAX) / 16;
constexpr int64_t kGapMost = 1024;  // frames named missing in one gap, at most

// a + b, held within int64_t (times are the stream's, whatever it says).
int64_t AddClamped(int64_t a, int64_t b) {
  if (b > 0 && a > INT64_MAX - b) return INT64_MAX;
  if (b < 0 && a < INT64_MIN + 1 - b) return INT64_MIN + 1;
  return a + b;
}

// to - from where from <= to, exact whatever the values.
uint64_t Distance(int64_t from, int64_t to) { return uint64_t(to) - uint64_t(from); }

}  // namespace

uint64_t FrameLedger::Sent(int64_t time, bool key, std::optional<int64_t> order, bool picture) {
  const uint64_t seq = nextSeq_++;
  if (time == kNoTime) return seq;
  const int64_t at = Place(time);
  if (packets_.count(at) != 0) return seq;
  Packet& packet = packets_[at];
  packet.seq = seq;
  packet.key = key;
  packet.order = order;
  packet.picture = picture;
  packet.raw = time;
  if (key) cleanKeys_.push_back({seq, at});
  return seq;
}

// The line's time of a packet sent at `raw`: in the latest segment, or the first of a new one
// where the time jumps from that segment's by over the splice limit and over what frames
// reordered or slow frames (a slide show's) span: 16 of the smallest steps between packets.
// A segment whose clock went back is placed past the last one's end, with room for leading
// pictures shown before its first packet; one whose clock went on keeps its place.
int64_t FrameLedger::Place(int64_t raw) {
  const int64_t previous = std::exchange(lastSent_, raw);
  if (segments_.empty()) {
    segments_.push_back({0, raw, raw});
    return raw;
  }
  Segment& latest = segments_.back();
  const uint64_t limit = uint64_t(std::max<int64_t>(rules_.spliceTicks, 0));
  const uint64_t room = std::max(limit, std::min<uint64_t>(sentStep_, kStepMost) * 16);
  const bool back = raw < latest.highest && Distance(raw, latest.highest) > room;
  const bool forward =
      raw > latest.highest && sentStep_ > 0 && Distance(latest.highest, raw) > room;
  if (limit == 0 || (!back && !forward)) {
    latest.lowest = std::min(latest.lowest, raw);
    latest.highest = std::max(latest.highest, raw);
    if (raw > previous && Distance(previous, raw) <= kStepMost)
      sentStep_ = sentStep_ == 0 ? raw - previous : std::min(sentStep_, raw - previous);
    return AddClamped(raw, latest.offset);
  }
  const int64_t end = AddClamped(latest.highest, latest.offset);
  jumps_.push_back({end, latest.highest});
  const int64_t offset =
      back ? AddClamped(AddClamped(end, int64_t(std::min(room, kStepMost))), -raw) : latest.offset;
  segments_.push_back({offset, raw, raw});
  if (segments_.size() > kSegmentsKept) segments_.pop_front();
  if (jumps_.size() > kSegmentsKept) jumps_.pop_front();
  return AddClamped(raw, offset);
}

// The line's time of a frame the decoder gave at `raw`: that of the oldest segment still
// waiting for a packet at that time (times repeat across a jump back), else of the latest
// segment whose times span it.
int64_t FrameLedger::LineTime(int64_t raw) const {
  if (raw == kNoTime || segments_.empty()) return raw;
  for (const Segment& segment : segments_) {
    const auto it = packets_.find(AddClamped(raw, segment.offset));
    if (it != packets_.end() && !it->second.given && it->second.raw == raw) return it->first;
  }
  for (auto segment = segments_.rbegin(); segment != segments_.rend(); ++segment)
    if (raw >= segment->lowest && raw <= segment->highest) return AddClamped(raw, segment->offset);
  return AddClamped(raw, segments_.back().offset);
}

// Whether a jump lies between two times of the line.
bool FrameLedger::AcrossJump(int64_t from, int64_t to) const {
  return std::any_of(jumps_.begin(), jumps_.end(),
                     [&](const Jump& jump) { return jump.after >= from && jump.after < to; });
}

void FrameLedger::Logged(uint64_t seq, const std::string& error) {
  damageMet_ = true;
  int64_t time = kNoTime, raw = kNoTime;
  for (auto& [at, packet] : packets_)
    if (packet.seq == seq) {
      if (packet.logged.empty()) packet.logged = error;
      time = at;
      raw = packet.raw;
    }
  ForgetClean(seq);
  TaintAfter(seq, time, raw);
}

void FrameLedger::Refused(uint64_t seq, const std::string& why) {
  damageMet_ = true;
  int64_t time = kNoTime, raw = kNoTime;
  for (auto& [at, packet] : packets_)
    if (packet.seq == seq) {
      packet.refused = why;
      time = at;
      raw = packet.raw;
    }
  ForgetClean(seq);
  TaintAfter(seq, time, raw);
}

// The decode place of the packet shown at `time`; a frame of no known packet counts as decoded
// last.
uint64_t FrameLedger::SeqAt(int64_t time) const {
  const auto it = packets_.find(time);
  return it != packets_.end() ? it->second.seq : nextSeq_ - 1;
}

void FrameLedger::Received(int64_t raw, const std::string& marked) {
  const int64_t time = LineTime(raw);
  Frame frame{time, raw, SeqAt(time), marked};
  const auto it = packets_.find(time);
  if (it != packets_.end()) {
    it->second.given = true;
    if (!it->second.logged.empty()) frame.damage = it->second.logged;
  }
  if (!frame.damage.empty()) {
    damageMet_ = true;
    ForgetClean(frame.seq);
    TaintAfter(frame.seq, time, raw);
  }
  frames_.push_back(frame);
}

void FrameLedger::Passed(int64_t raw, const std::string& marked) {
  const int64_t time = LineTime(raw);
  const uint64_t seq = SeqAt(time);
  const auto it = packets_.find(time);
  const bool logged = it != packets_.end() && !it->second.logged.empty();
  if (it != packets_.end()) packets_.erase(it);
  if (!marked.empty() || logged) {
    ForgetClean(seq);
    TaintAfter(seq, time, raw);
  }
}

bool FrameLedger::Ready(bool ended) const {
  if (frames_.empty()) return false;
  if (ended || frames_.size() >= kHeldMost) return true;
  // A packet decoded before the oldest frame, to be shown after it and after every frame given
  // so far, may still come: its damage may be the oldest frame's.
  const Frame& oldest = frames_.front();
  const int64_t latest = frames_.back().time;
  for (const auto& [time, packet] : packets_)
    if (!packet.given && packet.refused.empty() && packet.seq < oldest.seq && time > oldest.time &&
        time > latest)
      return false;
  return true;
}

FrameLedger::Verdict FrameLedger::Judge() {
  Verdict verdict;
  const Frame frame = frames_.front();
  frames_.pop_front();
  // Packets shown before it whose frame never came: the decoder refused them, logged their
  // damage, or dropped a picture without a word.
  while (!packets_.empty() && packets_.begin()->first < frame.time) {
    const auto [time, packet] = *packets_.begin();
    packets_.erase(packets_.begin());
    if (packet.given) continue;
    // Its place was named already, in a gap before a frame shown after it.
    if (lastTime_ != kNoTime && time <= lastTime_) continue;
    // Before the first frame, a picture dropped without a word is a leading picture of a stream
    // begun mid-group (an HEVC capture starting at a CRA picture): not a loss.
    if (lastTime_ == kNoTime && numbered_ == 0 && packet.refused.empty() && packet.logged.empty())
      continue;
    if (!packet.refused.empty() || !packet.logged.empty() || packet.picture)
      NameGapBefore(time, packet.raw, packet.seq, packet.order, &verdict.missing);
    if (!packet.refused.empty())
      NameMissing(time, packet.raw, packet.refused, packet.order, &verdict.missing);
    else if (!packet.logged.empty())
      NameMissing(time, packet.raw, "damaged: " + packet.logged + "; it gave no picture",
                  packet.order, &verdict.missing);
    else if (packet.picture) {
      NameMissing(time, packet.raw, "the decoder gave no picture for it", packet.order,
                  &verdict.missing);
      TaintAfter(packet.seq, time, packet.raw);
    }
  }
  std::optional<int64_t> order;
  if (const auto it = packets_.find(frame.time); it != packets_.end()) {
    order = it->second.order;
    packets_.erase(it);
  }
  if (frame.time != kNoTime && lastTime_ != kNoTime && frame.time <= lastTime_) {
    verdict.time = frame.raw;
    verdict.shownAfter = lastRaw_;
    // Named already where it was missed.
    if (const auto named = numbers_.find(frame.time); named != numbers_.end())
      verdict.number = named->second;
    return verdict;
  }
  // The first frame past a jump, or past frames named missing past it, begins a segment.
  bool jumped = false;
  while (!jumps_.empty() && frame.time != kNoTime && frame.time > jumps_.front().after) {
    jumped = lastTime_ == kNoTime || lastTime_ <= jumps_.front().after;
    if (numbered_ > 0) verdict.segmentAfter = jumps_.front().afterRaw;
    jumps_.pop_front();
  }
  if (!jumped) NameGapBefore(frame.time, frame.raw, frame.seq, order, &verdict.missing);
  verdict.number = ++numbered_;
  verdict.time = frame.raw;
  numbers_[frame.time] = verdict.number;
  Shown(frame.time, frame.raw, order, !jumped);
  verdict.damage = frame.damage;
  if (verdict.damage.empty())
    if (const Taint* taint = TaintOf(frame.seq, frame.time)) {
      verdict.inheritedFrom = taint->fromRaw;
      const auto named = numbers_.find(taint->from);
      if (named != numbers_.end()) verdict.inheritedNumber = named->second;
    }
  while (numbers_.size() > kNumbersKept) numbers_.erase(numbers_.begin());
  // Damage that a whole key frame has long ended.
  const uint64_t settled = nextSeq_ > kReorderMost ? nextSeq_ - kReorderMost : 0;
  taints_.erase(std::remove_if(taints_.begin(), taints_.end(),
                               [&](const Taint& t) {
                                 return std::any_of(cleanKeys_.begin(), cleanKeys_.end(),
                                                    [&](const auto& key) {
                                                      return key.first > t.after &&
                                                             key.first < settled;
                                                    });
                               }),
                taints_.end());
  while (cleanKeys_.size() > 1 && cleanKeys_[1].first < settled)
    cleanKeys_.erase(cleanKeys_.begin());
  return verdict;
}

std::vector<FrameLedger::Missing> FrameLedger::End() {
  std::vector<Missing> missing;
  for (const auto& [time, packet] : packets_) {
    if (packet.given) continue;
    if (!packet.refused.empty())
      NameMissing(time, packet.raw, packet.refused, packet.order, &missing);
    else if (!packet.logged.empty())
      NameMissing(time, packet.raw, "damaged: " + packet.logged + "; it gave no picture",
                  packet.order, &missing);
    else if (packet.picture)
      NameMissing(time, packet.raw, "the decoder gave no picture for it", packet.order,
                  &missing);
  }
  packets_.clear();
  return missing;
}

void FrameLedger::Restart(int next) {
  packets_.clear();
  frames_.clear();
  taints_.clear();
  cleanKeys_.clear();
  numbers_.clear();
  segments_.clear();
  jumps_.clear();
  lastSent_ = kNoTime;
  sentStep_ = 0;
  numbered_ = next - 1;
  damageMet_ = false;
  lastTime_ = lastRaw_ = kNoTime;
  lastOrder_.reset();
}

void FrameLedger::Renumber(int next) {
  numbered_ = next - 1;
  lastTime_ = lastRaw_ = kNoTime;
  lastOrder_.reset();
}

void FrameLedger::ForgetBefore(int64_t from) {
  packets_.erase(packets_.begin(), packets_.lower_bound(LineTime(from)));
}

void FrameLedger::NameMissing(int64_t time, int64_t raw, const std::string& why,
                              std::optional<int64_t> order, std::vector<Missing>* missing) {
  damageMet_ = true;
  const int number = ++numbered_;
  if (time != kNoTime) numbers_[time] = number;
  missing->push_back({number, raw, why});
  Shown(time, raw, order, false);
}

// Frames missing between the last frame shown and the one shown at `time`, decoded at `seq`: its
// picture order count skips some, where the codec counts them and the time leaves room for them
// (a count that jumps within a frame's step is another coded sequence, as a splice leaves);
// else it comes at least 1.75 times the smallest step after the last (a 3:2 pulldown's steps
// differ by a half), where the rules say a late frame is a loss. Each frame decoded from then on
// may be predicted from a missing one. Nothing is missing across a jump of the times, nor in a
// step of over a second (a splice) or of more frames than a loss leaves.
void FrameLedger::NameGapBefore(int64_t time, int64_t raw, uint64_t seq,
                                std::optional<int64_t> order, std::vector<Missing>* missing) {
  const int64_t last = lastTime_;
  if (time == kNoTime || last == kNoTime || time <= last || AcrossJump(last, time)) return;
  if (Distance(last, time) > kStepMost) return;
  const int64_t step = time - last, unit = smallestStep_;
  if (rules_.spliceTicks > 0 && step > rules_.spliceTicks) return;
  int64_t count = 0;
  bool counted = false;
  if (order && lastOrder_ && *order > *lastOrder_ && Distance(*lastOrder_, *order) <= kStepMost) {
    const int64_t orderUnit = smallestOrderStep_, skipped = *order - *lastOrder_;
    if (orderUnit > 0 && skipped >= 2 * orderUnit) count = (skipped + orderUnit / 2) / orderUnit - 1;
    counted = unit == 0 || 4.0 * double(step) >= 3.0 * double(count + 1) * double(unit);
    if (!counted) count = 0;
  }
  if (!counted) {
    if (unit == 0 || 4 * step < 7 * unit) return;
    if (!damageMet_ && !rules_.capture && !rules_.fixedRate) return;
    count = (step + unit / 2) / unit - 1;
  }
  if (count <= 0 || count > kGapMost) return;
  // The k-th of count + 1 equal parts of the step, without k * step.
  const int64_t part = step / (count + 1), rest = step % (count + 1);
  auto at = [&](int64_t k) { return last + part * k + rest * k / (count + 1); };
  for (int64_t k = 1; k <= count; ++k)
    NameMissing(at(k), AddClamped(raw, at(k) - time), "missing from the stream", std::nullopt,
                missing);
  TaintAfter(seq - 1, at(1), AddClamped(raw, at(1) - time));
}

void FrameLedger::Shown(int64_t time, int64_t raw, std::optional<int64_t> order, bool learn) {
  if (learn && time != kNoTime && lastTime_ != kNoTime && time > lastTime_ &&
      Distance(lastTime_, time) <= kStepMost)
    smallestStep_ = smallestStep_ == 0 ? time - lastTime_ : std::min(smallestStep_, time - lastTime_);
  if (learn && order && lastOrder_ && *order > *lastOrder_ &&
      Distance(*lastOrder_, *order) <= kStepMost)
    smallestOrderStep_ = smallestOrderStep_ == 0 ? *order - *lastOrder_
                                                 : std::min(smallestOrderStep_, *order - *lastOrder_);
  if (time != kNoTime) lastTime_ = time, lastRaw_ = raw;
  // A picture order count that goes back starts a new coded sequence.
  lastOrder_ = order;
}

void FrameLedger::TaintAfter(uint64_t seq, int64_t from, int64_t fromRaw) {
  taints_.push_back({seq, from, fromRaw});
}

void FrameLedger::ForgetClean(uint64_t seq) {
  cleanKeys_.erase(std::remove_if(cleanKeys_.begin(), cleanKeys_.end(),
                                  [seq](const auto& key) { return key.first == seq; }),
                   cleanKeys_.end());
}

// The damage the frame decoded at `seq` and shown at `time` may carry: the latest damage decoded
// before it with no whole key frame decoded between. A key frame's leading pictures (decoded
// after it, shown before it) are predicted from what came before it, and nothing shown after
// the key frame is predicted from them.
const FrameLedger::Taint* FrameLedger::TaintOf(uint64_t seq, int64_t time) const {
  for (auto t = taints_.rbegin(); t != taints_.rend(); ++t) {
    if (seq <= t->after) continue;
    const bool ended = std::any_of(cleanKeys_.begin(), cleanKeys_.end(), [&](const auto& key) {
      if (key.first > seq || time < key.second) return false;
      const bool after = key.first > t->after;
      const bool leading = t->from != kNoTime && t->from < key.second;
      return after || leading;
    });
    if (!ended) return &*t;
  }
  return nullptr;
}

}  // namespace fxaa_cli
