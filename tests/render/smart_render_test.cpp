#include "render/smart_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>
#include <string>
#include <vector>

#include "host/effect_params.h"
#include "tests/support/capture_stdout.h"

namespace {

// A smart-render host side with one failure of each kind on request. Nothing here reaches the
// GPU: every case ends before the frame render.
struct RenderHost {
  std::vector<std::string> calls;
  PF_Err inputErr = 0, outputErr = 0;
  bool giveInput = true, giveOutput = true;
  int failCheckout = 0, failCheckin = 0;  // parameter index whose call fails
  PF_Err checkoutErr = 0, checkinErr = 0;
  bool renderLockFreeDuringCheckouts = true;

  std::vector<uint8_t> inputPixels = std::vector<uint8_t>(4 * 3 * 2, 0xFF);
  std::vector<uint8_t> outputPixels = std::vector<uint8_t>(4 * 3 * 2, 0xEE);
  PF_EffectWorld input{}, output{};
  PF_ParamIndex lastCheckedOut = 0;

  RenderHost() {
    input.data = inputPixels.data();
    output.data = outputPixels.data();
    input.width = output.width = 3;
    input.height = output.height = 2;
    input.rowbytes = output.rowbytes = 12;
  }

  static RenderHost* Of(PF_ProgPtr ref) { return reinterpret_cast<RenderHost*>(ref); }

  // Whether another thread could take RenderMutex right now.
  static bool RenderLockFree() {
    return std::async(std::launch::async, [] {
             if (!RenderMutex.try_lock()) return false;
             RenderMutex.unlock();
             return true;
           }).get();
  }

  static PF_Err CheckoutPixels(PF_ProgPtr ref, A_long id, PF_EffectWorld** world) {
    RenderHost* h = Of(ref);
    h->calls.push_back("checkout_layer_pixels " + std::to_string(id));
    if (h->giveInput) *world = &h->input;
    return h->inputErr;
  }
  static PF_Err CheckinPixels(PF_ProgPtr ref, A_long) {
    Of(ref)->calls.push_back("checkin_layer_pixels");
    return 0;
  }
  static PF_Err CheckoutOutput(PF_ProgPtr ref, PF_EffectWorld** world) {
    RenderHost* h = Of(ref);
    h->calls.push_back("checkout_output");
    if (h->giveOutput) *world = &h->output;
    return h->outputErr;
  }
  static PF_Err Fill(PF_ProgPtr ref, const PF_Pixel* colour, const PF_Rect* rect,
                     PF_EffectWorld* world) {
    RenderHost* h = Of(ref);
    h->calls.push_back(std::string("fill") + (colour || rect ? " with colour or rect" : "") +
                       (world == &h->output ? " output" : " other"));
    std::fill(h->outputPixels.begin(), h->outputPixels.end(), 0);
    return PF_Err_OUT_OF_MEMORY;  // ignored by the driver
  }
  static PF_Err CheckoutParam(PF_ProgPtr ref, PF_ParamIndex index, A_long, A_long, A_u_long,
                              PF_ParamDef* def) {
    RenderHost* h = Of(ref);
    h->calls.push_back("checkout_param " + std::to_string(index));
    h->lastCheckedOut = index;
    h->renderLockFreeDuringCheckouts = h->renderLockFreeDuringCheckouts && RenderLockFree();
    if (index == h->failCheckout) return h->checkoutErr;
    def->param_type = index == kParamSource ? PF_Param_POPUP : PF_Param_FLOAT_SLIDER;
    return 0;
  }
  static PF_Err CheckinParam(PF_ProgPtr ref, PF_ParamDef*) {
    RenderHost* h = Of(ref);
    h->calls.push_back("checkin_param " + std::to_string(h->lastCheckedOut));
    return h->lastCheckedOut == h->failCheckin ? h->checkinErr : 0;
  }

  // Sends one smart render; *text receives what the effect printed.
  PF_Err Run(std::string* text, bool withBasicSuite = true) {
    PF_UtilCallbacks utils{};
    utils.fill = Fill;
    SPBasicSuite basic{};
    PF_InData in{};
    in.effect_ref = reinterpret_cast<PF_ProgPtr>(this);
    in.utils = &utils;
    in.inter.checkout_param = CheckoutParam;
    in.inter.checkin_param = CheckinParam;
    in.downsample_x = in.downsample_y = {1, 1};
    in.pica_basicP = withBasicSuite ? &basic : nullptr;
    PF_OutData out{};
    PF_SmartRenderInput renderInput{};
    renderInput.bitdepth = 8;
    PF_SmartRenderCallbacks callbacks{CheckoutPixels, CheckinPixels, CheckoutOutput};
    PF_SmartRenderExtra extra{&renderInput, &callbacks};
    CaptureStdout capture;
    PF_Err err;
    try {
      err = SmartRender(&in, &out, &extra);
    } catch (PF_Err thrown) {
      err = -100000 - thrown;  // marks a thrown code apart from a returned one
    }
    *text = capture.Finish();
    return err;
  }

  std::vector<std::string> ParamCalls() const {
    std::vector<std::string> params;
    for (const std::string& c : calls)
      if (c.rfind("check", 0) == 0 && c.find("_param") != std::string::npos) params.push_back(c);
    return params;
  }
  // checkout_param i, checkin_param i for i = 1..last.
  static std::vector<std::string> ParamPairs(int last) {
    std::vector<std::string> pairs;
    for (int i = 1; i <= last; ++i) {
      pairs.push_back("checkout_param " + std::to_string(i));
      pairs.push_back("checkin_param " + std::to_string(i));
    }
    return pairs;
  }
  bool OutputCleared() const {
    for (uint8_t b : outputPixels)
      if (b != 0) return false;
    return true;
  }
};

TEST(SmartRender, BufferCheckoutFailuresFollowTheTable) {
  struct Case {
    const char* what;
    PF_Err inputErr;
    bool giveInput;
    PF_Err outputErr;
    bool giveOutput;
    std::vector<std::string> calls;
    std::string text;
    PF_Err result;
  };
  const Case cases[] = {
      {"input checkout fails: output never asked for", 513, false, 0, true,
       {"checkout_layer_pixels 0"}, "", 513},
      {"input error with a world still stops before the output", 513, true, 0, true,
       {"checkout_layer_pixels 0"}, "", 513},
      {"no output world and success", 0, true, 0, false,
       {"checkout_layer_pixels 0", "checkout_output"}, "", 0},
      {"no output world and an error", 0, true, 4, false,
       {"checkout_layer_pixels 0", "checkout_output"}, "", 4},
      {"no input pixels: transparent black and success", 0, false, 0, true,
       {"checkout_layer_pixels 0", "checkout_output", "fill output"}, "", 0},
      {"error with both worlds present", 0, true, 4, true,
       {"checkout_layer_pixels 0", "checkout_output", "fill output"},
       "error on buffer checkout err 4 err2 0\n", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RenderHost host;
    host.inputErr = c.inputErr;
    host.giveInput = c.giveInput;
    host.outputErr = c.outputErr;
    host.giveOutput = c.giveOutput;
    std::string text;
    EXPECT_EQ(host.Run(&text), c.result);
    EXPECT_EQ(host.calls, c.calls);
    EXPECT_EQ(text, c.text);
    const bool filled = c.calls.size() == 3;
    EXPECT_EQ(host.OutputCleared(), filled);
  }
}

TEST(SmartRender, ParameterFailuresCheckEverythingInAndReportTwice) {
  struct Case {
    const char* what;
    int failCheckout;
    PF_Err checkoutErr;
    int failCheckin;
    PF_Err checkinErr;
    int lastIndex;
    std::string text;
    PF_Err result;
  };
  const Case cases[] = {
      {"13th checkout fails after 1..12 went out and in", 13, 513, 0, 0, 13,
       "error on param checkout err 513 err2 0\nerror on param initialisation err 513 err2 0\n",
       513},
      {"first checkout fails", 1, 4, 0, 0, 1,
       "error on param checkout err 4 err2 0\nerror on param initialisation err 4 err2 0\n", 4},
      {"check-in fails after a good checkout", 0, 0, 5, 516, 5,
       "error on param checkout err 516 err2 516\nerror on param initialisation err 516 err2 0\n",
       516},
      {"checkout and check-in fail: the checkout's code wins", 7, 513, 7, 4, 7,
       "error on param checkout err 513 err2 4\nerror on param initialisation err 513 err2 0\n",
       513},
      {"a cancel is silent", 9, PF_Interrupt_CANCEL, 0, 0, 9, "", PF_Interrupt_CANCEL},
      {"a cancel with a failed check-in is reported once", 9, PF_Interrupt_CANCEL, 9, 4, 9,
       "error on param checkout err 517 err2 4\n", PF_Interrupt_CANCEL},
      {"a negative code", 0, 0, 13, -2, 13,
       "error on param checkout err -2 err2 -2\nerror on param initialisation err -2 err2 0\n",
       -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RenderHost host;
    host.failCheckout = c.failCheckout;
    host.checkoutErr = c.checkoutErr;
    host.failCheckin = c.failCheckin;
    host.checkinErr = c.checkinErr;
    std::string text;
    EXPECT_EQ(host.Run(&text), c.result);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(host.ParamCalls(), RenderHost::ParamPairs(c.lastIndex));
    EXPECT_TRUE(host.OutputCleared());
    EXPECT_EQ(host.calls.back(), "checkin_param " + std::to_string(c.lastIndex));
  }
}

TEST(SmartRender, CheckoutsRunWithoutTheRenderLock) {
  RenderHost host;
  host.failCheckout = 13;
  host.checkoutErr = PF_Interrupt_CANCEL;
  std::string text;
  ASSERT_EQ(host.Run(&text), PF_Interrupt_CANCEL);
  EXPECT_TRUE(host.renderLockFreeDuringCheckouts);

  // And they do not wait for a frame that holds it on another thread.
  std::promise<void> release;
  std::promise<void> locked;
  std::thread holder([&] {
    std::lock_guard<std::recursive_mutex> lock(RenderMutex);
    locked.set_value();
    release.get_future().wait();
  });
  locked.get_future().wait();
  RenderHost blocked;
  blocked.failCheckout = 13;
  blocked.checkoutErr = 513;
  EXPECT_EQ(blocked.Run(&text), 513);
  EXPECT_EQ(blocked.ParamCalls(), RenderHost::ParamPairs(13));
  release.set_value();
  holder.join();
}

TEST(SmartRender, MissingBasicSuiteRaises516AfterTheCheckouts) {
  RenderHost host;
  std::string text;
  EXPECT_EQ(host.Run(&text, false), -100000 - PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.ParamCalls(), RenderHost::ParamPairs(13));
  EXPECT_TRUE(host.OutputCleared());
  EXPECT_EQ(text, "");
  // The raise must not leave the render lock held.
  EXPECT_TRUE(RenderHost::RenderLockFree());
}

}  // namespace
