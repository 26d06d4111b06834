// The ledger that names each decoded frame's fate: scripts of packets sent and frames received,
// as decoders give them, against the verdicts a whole run must give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/video/decode/video_frame_ledger.h"

namespace {

using fxaa_cli::FrameLedger;

// One step of a decoder's work: a packet sent (`S`), its decoding logging an error (`L`) or
// refused (`F`), a frame received (`R`, damage marked in `text`).
struct Step {
  char what;
  int64_t time;
  bool key = false;
  int order = -1;  // picture order count; -1: none
  std::string text = "";
};

struct LedgerCase {
  const char* name;
  FrameLedger::Rules rules;
  std::vector<Step> steps;
  // One line a frame, in order: "3 whole", "4 damaged: ...", "5 from 3", "6 missing: ...".
  std::vector<std::string> verdicts;
};

std::ostream& operator<<(std::ostream& out, const LedgerCase& c) { return out << c.name; }

class FrameLedgerScript : public ::testing::TestWithParam<LedgerCase> {};

TEST_P(FrameLedgerScript, NamesEveryFrameInItsPlace) {
  const LedgerCase& c = GetParam();
  FrameLedger ledger(c.rules);
  std::vector<std::string> verdicts;
  auto tell = [&](const std::vector<FrameLedger::Missing>& missing) {
    for (const auto& m : missing) verdicts.push_back(std::to_string(m.number) + " missing: " + m.why);
  };
  auto judge = [&](bool ended) {
    while (ledger.Ready(ended)) {
      const FrameLedger::Verdict v = ledger.Judge();
      tell(v.missing);
      const std::string number = std::to_string(v.number);
      if (v.segmentAfter != FrameLedger::kNoTime)
        verdicts.push_back(number + " begins a segment at " + std::to_string(v.time) +
                           " after " + std::to_string(v.segmentAfter));
      if (!v.damage.empty())
        verdicts.push_back(number + " damaged: " + v.damage);
      else if (v.inheritedFrom != FrameLedger::kNoTime)
        verdicts.push_back(number + " from " + std::to_string(v.inheritedNumber));
      else
        verdicts.push_back(number + " whole");
    }
  };
  uint64_t last = 0;
  for (const Step& s : c.steps) {
    if (s.what == 'S')
      last = ledger.Sent(s.time, s.key, s.order >= 0 ? std::optional<int64_t>(s.order)
                                                     : std::nullopt, true);
    if (s.what == 'L') ledger.Logged(last, s.text);
    if (s.what == 'F') ledger.Refused(last, s.text);
    if (s.what == 'R') ledger.Received(s.time, s.text);
    judge(false);
  }
  judge(true);
  tell(ledger.End());
  EXPECT_EQ(verdicts, c.verdicts);
}

FrameLedger::Rules FixedRate() {
  FrameLedger::Rules rules;
  rules.fixedRate = true;
  return rules;
}

// A capture's: a late frame is a loss, a jump of over `ticks` a discontinuity.
FrameLedger::Rules Capture(int64_t ticks) { return {true, true, ticks}; }

INSTANTIATE_TEST_SUITE_P(
    Scripts, FrameLedgerScript,
    ::testing::Values(
        // I0 P3 B1 B2 in decode order: B1 is shown first but predicted from P3, whose damage
        // the decoder logs; B1 waits for it (named by its time: it has no number yet). The
        // next key frame ends the damage.
        LedgerCase{"b_frame_waits_for_its_damaged_reference",
                   {},
                   {{'S', 0, true}, {'R', 0}, {'S', 3}, {'L', 3, false, -1, "bad slice"},
                    {'S', 1}, {'R', 1}, {'S', 2}, {'R', 2}, {'R', 3}, {'S', 4, true}, {'R', 4}},
                   {"1 whole", "2 from 0", "3 from 0", "4 damaged: bad slice", "5 whole"}},
        // A damaged leading picture of an open group's key frame (decoded after it, shown
        // before it) spoils nothing shown after the key frame.
        LedgerCase{"leading_picture_damage_stays_before_its_key_frame",
                   {},
                   {{'S', 0, true}, {'R', 0}, {'S', 3, true}, {'S', 2},
                    {'R', 2, false, -1, "missing reference"}, {'R', 3}, {'S', 4}, {'R', 4}},
                   {"1 whole", "2 damaged: missing reference", "3 whole", "4 whole"}},
        // A picture the decoder drops without a word, and one it refuses: both keep their
        // numbers, and what follows them until a key frame is predicted from them.
        LedgerCase{"dropped_and_refused_pictures_keep_their_numbers",
                   {},
                   {{'S', 0, true}, {'R', 0}, {'S', 1}, {'S', 2}, {'R', 2}, {'S', 3},
                    {'F', 3, false, -1, "cannot decode"}, {'S', 4}, {'R', 4}, {'S', 5, true},
                    {'R', 5}},
                   {"1 whole", "2 missing: the decoder gave no picture for it", "3 from 2",
                    "4 missing: cannot decode", "5 from 4", "6 whole"}},
        // A gap in the picture order count is frames missing; a late frame whose count does
        // not skip is a variable frame rate.
        LedgerCase{"picture_order_gap_is_a_loss_a_late_frame_is_not",
                   {},
                   {{'S', 0, true, 0}, {'R', 0}, {'S', 1, false, 2}, {'R', 1},
                    {'S', 5, false, 4}, {'R', 5}, {'S', 7, false, 8}, {'R', 7}},
                   {"1 whole", "2 whole", "3 whole", "4 missing: missing from the stream",
                    "5 from 4"}},
        // Without a count, a late frame is a loss only at a fixed rate.
        LedgerCase{"late_frame_at_a_fixed_rate_is_a_loss",
                   FixedRate(),
                   {{'S', 0, true}, {'R', 0}, {'S', 1}, {'R', 1}, {'S', 4}, {'R', 4}},
                   {"1 whole", "2 whole", "3 missing: missing from the stream",
                    "4 missing: missing from the stream", "5 from 3"}},
        LedgerCase{"late_frame_at_a_variable_rate_is_not",
                   {},
                   {{'S', 0, true}, {'R', 0}, {'S', 1}, {'R', 1}, {'S', 4}, {'R', 4}},
                   {"1 whole", "2 whole", "3 whole"}},
        // Captures joined, the clock going back: the frames keep their times, none is out of
        // its place.
        LedgerCase{"joined_capture_whose_clock_goes_back_is_a_new_segment",
                   Capture(2),
                   {{'S', 40, true}, {'R', 40}, {'S', 42}, {'S', 41}, {'R', 41}, {'R', 42},
                    {'S', 43}, {'R', 43}, {'S', 10, true}, {'R', 10}, {'S', 12}, {'S', 11},
                    {'R', 11}, {'R', 12}},
                   {"1 whole", "2 whole", "3 whole", "4 whole",
                    "5 begins a segment at 10 after 43", "5 whole", "6 whole", "7 whole"}}),
    [](const ::testing::TestParamInfo<LedgerCase>& info) { return info.param.name; });

}  // namespace
