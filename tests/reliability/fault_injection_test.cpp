// Every call the plug-in makes into the host, made to fail one at a time: each command is first
// run cleanly to learn its calls, then once per call with that call (and only that one) failing.
// Each time the command must return the code the failure calls for, hand back every suite,
// stream, effect and parameter it took, draw nothing into an output it was not given, and the
// same command must work again straight after.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/reliability/reliability_support.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/plugin_host.h"

namespace {

using host_runtime::testing::Call;
using Host = host_runtime::testing::InstrumentedHost;
using host_runtime::World;

// The code the host returns for an injected failure; the plug-in never makes it up itself.
constexpr PF_Err kInjected = PF_Err_CANNOT_PARSE_KEYFRAME_TEXT;

// What a command returns when one of its calls fails.
enum class Outcome {
  kMissingSuite,    // 516, the plug-in's code for a suite it cannot get
  kPassedThrough,   // the host's code, unchanged
  kIgnored,         // the command's clean result: the call's result is not needed
  kOutOfMemory,     // no global handle: nowhere to keep the global record
  kCannotFail,      // the call has no way to report failure
};

struct CallRule {
  const char* name;
  Outcome outcome;
};

// Every call the plug-in makes. A call missing here fails the test, so a new call cannot go
// untested.
const CallRule kRules[] = {
    {"AcquireSuite", Outcome::kMissingSuite},
    {"ReleaseSuite", Outcome::kIgnored},
    {"sprintf", Outcome::kIgnored},  // the About text is best effort; the command still answers
    {"strcpy", Outcome::kCannotFail},
    {"host_new_handle", Outcome::kOutOfMemory},
    {"host_lock_handle", Outcome::kIgnored},  // set-up and set-down end quietly without the block
    {"add_param", Outcome::kPassedThrough},
    {"AEGP_GetNewEffectForEffect", Outcome::kPassedThrough},
    {"AEGP_GetNewEffectStreamByIndex", Outcome::kPassedThrough},
    {"AEGP_SetDynamicStreamFlag", Outcome::kPassedThrough},
    {"AEGP_DisposeStream", Outcome::kPassedThrough},
    {"AEGP_DisposeEffect", Outcome::kPassedThrough},
    {"checkout_layer", Outcome::kPassedThrough},
    {"checkout_layer_pixels", Outcome::kPassedThrough},
    {"checkout_output", Outcome::kPassedThrough},
    {"fill", Outcome::kIgnored},  // the render writes every pixel of the output anyway
    {"checkout_param", Outcome::kPassedThrough},
    {"checkin_param", Outcome::kPassedThrough},
};

const CallRule* RuleFor(const std::string& name) {
  for (const CallRule& rule : kRules)
    if (name == rule.name) return &rule;
  return nullptr;
}

PF_Err ExpectedResult(Outcome outcome, PF_Err clean) {
  switch (outcome) {
    case Outcome::kMissingSuite: return PF_Err_BAD_CALLBACK_PARAM;
    case Outcome::kPassedThrough: return kInjected;
    case Outcome::kOutOfMemory: return PF_Err_OUT_OF_MEMORY;
    default: return clean;
  }
}

// One command: `before` and `after` bring the host into and out of the state the command
// needs and are never faulted; `run` is the command itself.
struct CommandCase {
  const char* name;
  std::function<void(Host&)> prepare;  // once per host
  std::function<void(Host&)> before;
  std::function<PF_Err(Host&, World* output)> run;
  std::function<void(Host&)> after;
};

void Nothing(Host&) {}
void SetUpGlobal(Host& host) { ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE); }
void SetUpAll(Host& host) {
  ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
}

// The input every render case uses: edges and partial alpha, so a drawn frame differs from a
// cleared one.
constexpr int kWidth = 13, kHeight = 9, kPadding = 20;

PF_Err RenderInto(Host& host, World* output, int bitDepth) {
  World input(kWidth, kHeight, bitDepth, kPadding);
  reliability::FillPattern(&input, 3);
  return host.SmartRender(&input, output, bitDepth);
}

std::vector<CommandCase> Commands() {
  auto render = [](int depth) {
    return [depth](Host& host, World* output) { return RenderInto(host, output, depth); };
  };
  return {
      {"About", Nothing, Nothing, [](Host& h, World*) { return h.About(nullptr); }, Nothing},
      {"GlobalSetup", Nothing, Nothing, [](Host& h, World*) { return h.GlobalSetup(); },
       [](Host& h) { h.GlobalSetdown(); }},
      {"GlobalSetdown", Nothing, SetUpGlobal, [](Host& h, World*) { return h.GlobalSetdown(); },
       Nothing},
      {"ParamsSetup", Nothing, Nothing, [](Host& h, World*) { return h.ParamsSetup(); }, Nothing},
      {"UpdateParamsUI", [](Host& h) { ASSERT_EQ(h.ParamsSetup(), PF_Err_NONE); }, Nothing,
       [](Host& h, World*) { return h.UpdateParamsUI(); }, Nothing},
      {"UserChangedParam", Nothing, Nothing, [](Host& h, World*) { return h.UserChangedParam(); },
       Nothing},
      {"SmartPreRender", SetUpAll, Nothing,
       [](Host& h, World*) {
         PF_PreRenderOutput out{};
         return h.SmartPreRender({0, 0, kWidth, kHeight}, kWidth, kHeight, &out);
       },
       Nothing},
      {"SmartRender 8 bpc", SetUpAll, Nothing, render(8), Nothing},
      {"SmartRender 32 bpc", SetUpAll, Nothing, render(32), Nothing},
  };
}

// One attempt of a command, with the output world it was offered.
struct Attempt {
  PF_Err result = 0;
  std::vector<Call> calls;
  std::vector<uint8_t> output;  // every byte of the output world, guards included
  bool guardsIntact = true, paddingIntact = true;
};

// The byte every output world starts with, so that any write shows.
constexpr uint8_t kUntouched = 0x77;

// Runs the command once; `arm` (if any) sets its fault up after `before` has run.
Attempt RunOnce(Host& host, const CommandCase& command, int bitDepth,
                const std::function<void()>& arm = nullptr) {
  command.before(host);
  if (arm) arm();
  World output(kWidth, kHeight, bitDepth, kPadding);
  reliability::FillBytes(&output, kUntouched);
  host.ClearCalls();
  Attempt attempt;
  {
    CaptureStdout quiet;  // diagnostics are expected here; other tests check their text
    attempt.result = command.run(host, &output);
    quiet.Finish();
  }
  host.ClearFailures();
  attempt.calls = host.Calls();
  attempt.output = reliability::RawBytes(output);
  attempt.guardsIntact = output.GuardsIntact();
  attempt.paddingIntact = output.PaddingIntact();
  command.after(host);
  return attempt;
}

int BitDepthOf(const CommandCase& command) {
  return std::strstr(command.name, "32 bpc") ? 32 : 8;
}

// Whether the host gave the plug-in an output world during the attempt.
bool OutputHandedOut(const std::vector<Call>& calls) {
  for (const Call& c : calls)
    if (c.name == "checkout_output" && c.result == PF_Err_NONE) return true;
  return false;
}

// Every suite taken during the attempt was given back exactly once.
void ExpectEverySuiteReleasedOnce(const std::vector<Call>& calls) {
  std::map<std::string, int> held;
  for (const Call& c : calls) {
    if (c.name == "AcquireSuite" && c.result == PF_Err_NONE && !c.injected) ++held[c.detail];
    if (c.name == "ReleaseSuite") --held[c.detail];
  }
  for (const auto& h : held) EXPECT_EQ(h.second, 0) << h.first << " acquired minus released";
}

struct Fault {
  std::string call;  // "name detail" of the failing call
  size_t position;   // its place in the clean run's calls
  int occurrence;    // among the clean run's calls of that name
  bool nullTable;
};

// The faults of a clean run: every call once, acquisitions twice (an error code, and success
// with a null table).
std::vector<Fault> FaultsOf(const std::vector<Call>& clean) {
  std::vector<Fault> faults;
  std::map<std::string, int> seen;
  for (size_t i = 0; i < clean.size(); ++i) {
    const Call& c = clean[i];
    const int occurrence = ++seen[c.name];
    const CallRule* rule = RuleFor(c.name);
    if (rule == nullptr || rule->outcome == Outcome::kCannotFail) continue;
    const std::string what = c.detail.empty() ? c.name : c.name + " " + c.detail;
    faults.push_back({what, i, occurrence, false});
    if (c.name == "AcquireSuite") faults.push_back({what + " (null table)", i, occurrence, true});
  }
  return faults;
}

class FaultInjectionTest : public PluginTest {};

TEST_F(FaultInjectionTest, EveryHostCallFailingAloneGivesItsCodeAndLeavesNothingBehind) {
  int faultsInjected = 0;
  for (const CommandCase& command : Commands()) {
    SCOPED_TRACE(command.name);
    const int depth = BitDepthOf(command);
    Host host(entry());
    command.prepare(host);
    if (HasFatalFailure()) return;
    const Attempt clean = RunOnce(host, command, depth);
    World blank(kWidth, kHeight, depth, kPadding);
    reliability::FillBytes(&blank, kUntouched);
    const std::vector<uint8_t> untouched = reliability::RawBytes(blank);
    ASSERT_EQ(host.InjectedFailures(), 0);
    ASSERT_TRUE(clean.guardsIntact && clean.paddingIntact) << "the clean run wrote outside";
    for (const Call& c : clean.calls)
      ASSERT_NE(RuleFor(c.name), nullptr) << "no rule for the plug-in's call " << c.name;

    const std::vector<Fault> faults = FaultsOf(clean.calls);
    reliability::ReportFigure(std::string("faults injected into ") + command.name,
                              static_cast<long long>(faults.size()));
    for (const Fault& fault : faults) {
      SCOPED_TRACE(fault.call);
      const Call& target = clean.calls[fault.position];
      const Outcome outcome = RuleFor(target.name)->outcome;
      const int injectedBefore = host.InjectedFailures();
      const Attempt faulted = RunOnce(host, command, depth, [&] {
        host.FailCall(target.name, fault.occurrence, kInjected, "", fault.nullTable);
      });
      ASSERT_EQ(host.InjectedFailures(), injectedBefore + 1) << "the fault never fired";
      ++faultsInjected;

      EXPECT_EQ(faulted.result, ExpectedResult(outcome, clean.result));
      ExpectEverySuiteReleasedOnce(faulted.calls);
      EXPECT_EQ(host.OutstandingSuites(), 0);
      EXPECT_EQ(host.OutstandingStreams(), 0);
      EXPECT_EQ(host.OutstandingEffects(), 0);
      EXPECT_EQ(host.OutstandingParams(), 0);
      EXPECT_EQ(host.BadCalls(), 0) << "a malformed call, such as releasing a suite not held";
      EXPECT_TRUE(host.HandleGuardsIntact());
      EXPECT_TRUE(faulted.guardsIntact);
      EXPECT_TRUE(faulted.paddingIntact);
      if (!OutputHandedOut(faulted.calls)) {
        EXPECT_EQ(faulted.output, untouched) << "an output the host never handed out was written";
      } else if (faulted.result == PF_Err_NONE) {
        EXPECT_EQ(faulted.output, clean.output) << "a frame that succeeds is the clean frame";
      }

      // The same command straight after works as it did before the fault.
      const Attempt next = RunOnce(host, command, depth);
      EXPECT_EQ(next.result, clean.result) << "the command after the fault";
      EXPECT_EQ(next.output, clean.output) << "the command after the fault";
    }
    EXPECT_EQ(host.GlobalSetdown(), PF_Err_NONE);  // hands back what set-up made, if any
  }
  // Every command of the table has calls to fail except USER_CHANGED_PARAM; far fewer would
  // mean calls went unrecorded.
  EXPECT_GE(faultsInjected, 100);
  reliability::ReportFigure("faults injected, one host call at a time", faultsInjected);
}

// A host need not clear a new handle's block. When set-up cannot lock it, the record must
// still read "no root context" to the render threads and to set-down, which reach it through
// the handle: not a pointer made of whatever bytes the block held.
TEST_F(FaultInjectionTest, SetupThatCannotLockItsHandleLeavesNoStrayRootContext) {
  Host host(entry());
  host.SetNewHandleFill(0xCD);
  host.FailCall("host_lock_handle", 1, kInjected);
  ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
  host.ClearFailures();
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
  std::thread([&] {
    World output(kWidth, kHeight, 8, kPadding);
    CaptureStdout quiet;
    EXPECT_EQ(RenderInto(host, &output, 8), PF_Err_INTERNAL_STRUCT_DAMAGED)
        << "a render thread found a root context where there is none";
    quiet.Finish();
  }).join();
  EXPECT_EQ(host.GlobalSetdown(), PF_Err_NONE);
}

}  // namespace
