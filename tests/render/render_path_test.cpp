// Frames through the whole render path: checkout, settings, the GPU passes, the read-back.
#include <cmath>
#include <functional>
#include <string>
#include <thread>

#include "render/render_settings.h"
#include "render/smart_pre_render.h"
#include "render/thread_render_data.h"
#include "tests/render/render_test_support.h"
#include "tests/support/capture_stdout.h"

namespace {

using hostsim::World;

// Fills a world from f(x, y, channel) -> value (bytes 0..255 or floats).
void Paint(World& w, const std::function<float(int, int, int)>& f) {
  for (int y = 0; y < w.height(); ++y)
    for (int x = 0; x < w.width(); ++x)
      for (int c = 0; c < 4; ++c) w.setChannel(x, y, c, f(x, y, c));
}

bool SamePixels(const World& a, const World& b) {
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      for (int c = 0; c < 4; ++c)
        if (a.channel(x, y, c) != b.channel(x, y, c)) return false;
  return true;
}

// A test scene with edges at several angles, a thin line and a soft alpha edge.
float Scene(int x, int y, int c, float one) {
  const bool wedge = y > x / 2 + 3;
  const bool line = std::abs(x - 2 * y + 20) <= 0 || x == 27;
  const bool disc = (x - 22) * (x - 22) + (y - 14) * (y - 14) < 40;
  if (c == 0) return (x < 3 ? one * x / 3.0f : one);
  const float base = wedge ? 0.9f : 0.1f;
  const float v = line ? 1.0f - base : disc ? 0.5f : base;
  return one * (c == 1 ? v : c == 2 ? 1.0f - v : v * 0.5f);
}

TEST(RenderSettings, FormulasMatchTheReferenceValues) {
  RenderBlock block{};
  PF_EffectWorld input{};
  input.width = 40;
  input.height = 30;
  block.settings.inputWorld = &input;
  block.params[kParamSource].u.pd.value = 2;
  block.params[kParamStrength].u.fs_d.value = 100;
  block.params[kParamSpan].u.fs_d.value = 8;
  block.params[kParamReduceMultiplier].u.fs_d.value = 1;
  block.params[kParamReduceMinimum].u.fs_d.value = 1;
  block.params[kParamLeft].u.fs_d.value = -3;
  block.params[kParamBottom].u.fs_d.value = 7.5;
  PF_SmartRenderInput smartInput{};
  smartInput.bitdepth = 32;
  PF_SmartRenderExtra extra{&smartInput, nullptr};
  PF_InData in{};
  for (PF_RationalScale scale : {PF_RationalScale{1, 1}, PF_RationalScale{1, 2}}) {
    in.downsample_x = scale;
    FillRenderSettings(&in, &extra, &block);
    const RenderSettings& s = block.settings;
    const double d = scale.den == 1 ? 1.0 : 0.5;
    EXPECT_EQ(s.bitDepth, 32);
    EXPECT_EQ(s.downsample, d);
    EXPECT_EQ(s.width, 40);
    EXPECT_EQ(s.height, 30);
    EXPECT_EQ(s.mode, 1);
    EXPECT_EQ(s.strength, 1.0);
    EXPECT_EQ(s.span, 8.0 * d);
    EXPECT_EQ(s.reduceMult, 0.125 * d);
    EXPECT_EQ(s.reduceMin, 0.0078125 * d);
    EXPECT_EQ(s.debugLeft, -3);
    EXPECT_EQ(s.debugBottom, 7.5);
  }
  // The factor is divided in single precision, as the host's effects see it.
  in.downsample_x = {1, 3};
  FillRenderSettings(&in, &extra, &block);
  EXPECT_EQ(block.settings.downsample, static_cast<double>(1.0f / 3.0f));
}

TEST(RenderSettings, DiagnosticTextAndTheCancelRule) {
  EXPECT_EQ(ComposeRenderError("error on param checkout", 513, 0),
            "error on param checkout err 513 err2 0");
  EXPECT_EQ(ComposeRenderError("x", -4, -1), "x err -4 err2 -1");
  EXPECT_EQ(ComposeRenderError("x", PF_Interrupt_CANCEL, 0), "");
  EXPECT_EQ(ComposeRenderError("x", PF_Interrupt_CANCEL, 3), "x err 517 err2 3");
  CaptureStdout capture;
  ReportRenderError("error on buffer checkout", nullptr, 514, 0);
  ReportRenderError("dropped", nullptr, PF_Interrupt_CANCEL, 0);
  EXPECT_EQ(capture.Finish(), "error on buffer checkout err 514 err2 0\n");
}

TEST(SmartPreRender, RectangleUnion) {
  struct Case {
    PF_LRect destination, source, expected;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, {5, 6, 20, 30}, {5, 6, 20, 30}},
      {{0, 0, 0, 0}, {3, 3, 3, 9}, {3, 3, 3, 9}},  // an empty destination copies even an empty source
      {{0, 0, 100, 100}, {7, 7, 7, 7}, {0, 0, 100, 100}},
      {{0, 0, 100, 100}, {-10, 20, 50, 120}, {-10, 0, 100, 120}},
  };
  for (const Case& c : cases) {
    PF_LRect d = c.destination;
    UnionRect(c.source, &d);
    EXPECT_EQ(d.left, c.expected.left);
    EXPECT_EQ(d.top, c.expected.top);
    EXPECT_EQ(d.right, c.expected.right);
    EXPECT_EQ(d.bottom, c.expected.bottom);
  }
}

TEST_F(RenderTest, PreRenderAsksForTheRequestedAreaUnderId0) {
  PF_PreRenderOutput out{};
  ASSERT_EQ(host().SmartPreRender({0, 0, 32, 16}, 64, 48, &out), PF_Err_NONE);
  EXPECT_EQ(host().Calls().at(0).detail, "index 0 id 0");
  EXPECT_EQ(out.result_rect.right, 32);
  EXPECT_EQ(out.max_result_rect.right, 64);
  EXPECT_EQ(out.max_result_rect.bottom, 48);
  host().FailCall("checkout_layer", 1, PF_Interrupt_CANCEL);
  PF_PreRenderOutput untouched{};
  untouched.result_rect = {1, 2, 3, 4};
  EXPECT_EQ(host().SmartPreRender({0, 0, 32, 16}, 64, 48, &untouched), PF_Interrupt_CANCEL);
  EXPECT_EQ(untouched.result_rect.right, 3);
}

TEST_F(RenderTest, FlatImageComesBackUnchangedInBothDepths) {
  for (int depth : {8, 32}) {
    SCOPED_TRACE(depth);
    const float one = depth == 8 ? 255.0f : 1.0f;
    World in(17, 11, depth, 16), out(17, 11, depth, 32);
    Paint(in, [&](int, int, int c) { return c == 0 ? one : c == 1 ? one : depth == 8 ? 0 : 2.5f * (c == 3); });
    ASSERT_EQ(host().SmartRender(&in, &out, depth), PF_Err_NONE);
    EXPECT_TRUE(SamePixels(in, out));
    EXPECT_TRUE(out.PaddingIntact());
    EXPECT_TRUE(out.GuardsIntact());
  }
}

TEST_F(RenderTest, StrengthZeroReturnsTheInputExactly) {
  std::mt19937 random(7);
  host().SetParamValue(kParamStrength, 0);
  for (int mode : {1, 2}) {
    host().SetParamValue(kParamSource, mode);
    for (int depth : {8, 32}) {
      SCOPED_TRACE(depth);
      World in(23, 19, depth, 16), out(23, 19, depth);
      Paint(in, [&](int, int, int) {
        return depth == 8 ? float(random() % 256) : float(random() % 4096) / 1024.0f - 1.0f;
      });
      ASSERT_EQ(host().SmartRender(&in, &out, depth), PF_Err_NONE);
      EXPECT_TRUE(SamePixels(in, out));
    }
  }
}

// GPU against the CPU model. 8-bit: both sides round the same float, but GL_LINEAR's fixed-point
// weights may move a value across a rounding boundary, so one step is allowed. Float: the
// filtering weights are quantised (8 bits on llvmpipe), which moves a blended value by at most
// a few thousandths of the local contrast (at most 1 here).
void CompareWithReference(hostsim::Host& host, World& in, int depth, int mode, float strength,
                          float span) {
  host.SetParamValue(kParamSource, mode + 1);
  host.SetParamValue(kParamStrength, strength * 100);
  host.SetParamValue(kParamSpan, span);
  World out(in.width(), in.height(), depth, 8);
  ASSERT_EQ(host.SmartRender(&in, &out, depth), PF_Err_NONE);
  fxaa_reference::FxaaParams params;
  params.mode = mode;
  params.strength = strength;
  params.span = span;
  const std::vector<float> expected = ReferenceOutput(in, params);
  const float tolerance = depth == 8 ? 1.0f : 4e-3f;
  float worst = 0;
  for (int y = 0; y < in.height(); ++y)
    for (int x = 0; x < in.width(); ++x)
      for (int c = 0; c < 4; ++c) {
        const float want = expected[(size_t(y) * in.width() + x) * 4 + c];
        worst = std::max(worst, std::fabs(out.channel(x, y, c) - want));
      }
  EXPECT_LE(worst, tolerance) << "mode " << mode << " strength " << strength << " span " << span;
}

TEST_F(RenderTest, StructuredSceneMatchesTheReferenceInBothModesAndDepths) {
  for (int depth : {8, 32}) {
    const float one = depth == 8 ? 255.0f : 1.0f;
    World in(36, 28, depth, 4);
    Paint(in, [&](int x, int y, int c) { return Scene(x, y, c, one); });
    for (int mode : {0, 1})
      for (float strength : {1.0f, 0.4f})
        for (float span : {8.0f, 2.0f}) CompareWithReference(host(), in, depth, mode, strength, span);
  }
}

TEST_F(RenderTest, RandomImagesMatchTheReference) {
  std::mt19937 random(11);
  for (int depth : {8, 32}) {
    World in(21, 17, depth);
    Paint(in, [&](int, int, int) {
      return depth == 8 ? float(random() % 256) : float(random() % 1000) / 1000.0f;
    });
    CompareWithReference(host(), in, depth, 0, 1.0f, 8.0f);
    CompareWithReference(host(), in, depth, 1, 0.7f, 4.0f);
  }
}

TEST_F(RenderTest, AliasedEdgeIsSmoothedAndStraightEdgesAreLeftAlone) {
  World diagonal(24, 24, 8), straight(24, 24, 8), out(24, 24, 8), out2(24, 24, 8);
  Paint(diagonal, [](int x, int y, int c) { return c == 0 ? 255.f : (x > y ? 255.f : 0.f); });
  Paint(straight, [](int x, int, int c) { return c == 0 ? 255.f : (x > 11 ? 255.f : 0.f); });
  ASSERT_EQ(host().SmartRender(&diagonal, &out, 8), PF_Err_NONE);
  int blended = 0;
  for (int i = 2; i < 22; ++i) {
    const float v = out.channel(i + 1, i, 1);
    blended += v > 0 && v < 255;
  }
  EXPECT_GT(blended, 10);
  ASSERT_EQ(host().SmartRender(&straight, &out2, 8), PF_Err_NONE);
  EXPECT_TRUE(SamePixels(straight, out2));
}

TEST_F(RenderTest, HalfResolutionScalesTheTuningValues) {
  host().SetDownsample({1, 2}, {1, 2});
  World in(20, 14, 32);
  Paint(in, [](int x, int y, int c) { return Scene(x, y, c, 1.0f); });
  World out(20, 14, 32);
  ASSERT_EQ(host().SmartRender(&in, &out, 32), PF_Err_NONE);
  fxaa_reference::FxaaParams params;
  params.span = 4.0f;
  params.reduceMult = 0.0625f;
  params.reduceMin = 0.00390625f;
  const std::vector<float> expected = ReferenceOutput(in, params);
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 20; ++x)
      for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(out.channel(x, y, c), expected[(size_t(y) * 20 + x) * 4 + c], 4e-3f);
}

TEST_F(RenderTest, DebugSlidersNeverChangeTheImage) {
  World in(16, 16, 8), a(16, 16, 8), b(16, 16, 8);
  Paint(in, [](int x, int y, int c) { return Scene(x, y, c, 255.0f); });
  ASSERT_EQ(host().SmartRender(&in, &a, 8), PF_Err_NONE);
  for (int index = kParamLeft; index <= kParamBottom; ++index) host().SetParamValue(index, 321.5);
  ASSERT_EQ(host().SmartRender(&in, &b, 8), PF_Err_NONE);
  EXPECT_TRUE(SamePixels(a, b));
}

TEST_F(RenderTest, LayerWithoutPixelsGivesTransparentBlackAndNoDiagnostic) {
  World out(8, 8, 8);
  Paint(out, [](int, int, int) { return 200.f; });
  CaptureStdout capture;
  EXPECT_EQ(host().SmartRender(nullptr, &out, 8), PF_Err_NONE);
  EXPECT_EQ(capture.Finish(), "");
  EXPECT_TRUE(out.AllZero());
  EXPECT_EQ(host().Count("checkout_param"), 0);
}

TEST_F(RenderTest, ParameterCheckoutFailuresAreReportedAndStopTheFrame) {
  struct Case {
    const char* call;
    int occurrence;
    PF_Err code;
    const char* expected;
  };
  const Case cases[] = {
      {"checkout_param", 13, 513,
       "error on param checkout err 513 err2 0\nerror on param initialisation err 513 err2 0\n"},
      {"checkin_param", 4, 514,
       "error on param checkout err 514 err2 514\nerror on param initialisation err 514 err2 0\n"},
      {"checkout_param", 2, PF_Interrupt_CANCEL, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    host().ClearFailures();
    host().ClearCalls();
    host().FailCall(c.call, c.occurrence, c.code);
    World in(8, 8, 8), out(8, 8, 8);
    Paint(in, [](int, int, int) { return 255.f; });
    CaptureStdout capture;
    EXPECT_EQ(host().SmartRender(&in, &out, 8), c.code);
    EXPECT_EQ(capture.Finish(), c.expected);
    EXPECT_TRUE(out.AllZero());
    EXPECT_EQ(host().Count("checkout_param"), host().Count("checkin_param"));
    EXPECT_EQ(host().Count("AcquireSuite"), 0);  // the GPU half never started
  }
  EXPECT_EQ(host().Count("checkout_param"), 2);
}

TEST_F(RenderTest, BufferCheckoutFailuresFollowTheFailureTable) {
  World in(8, 8, 8), out(8, 8, 8);
  Paint(out, [](int, int, int) { return 9.f; });
  host().FailCall("checkout_layer_pixels", 1, 517);
  EXPECT_EQ(host().SmartRender(&in, &out, 8), 517);
  EXPECT_EQ(host().Count("checkout_output"), 0);
  EXPECT_EQ(out.channel(0, 0, 0), 9.f);
}

TEST_F(RenderTest, UnsupportedBitDepthIsRefusedBeforeAnyTransfer) {
  World in(8, 8, 16), out(8, 8, 16);
  Paint(in, [](int, int, int) { return 7.f; });
  CaptureStdout capture;
  EXPECT_EQ(host().SmartRender(&in, &out, 16), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(capture.Finish(), "error on unsupported bit depth err 516 err2 16\n");
  EXPECT_TRUE(out.GuardsIntact());
  EXPECT_EQ(host().OutstandingSuites(), 0);
}

TEST_F(RenderTest, OutputLargerOrSmallerThanInputStaysInsideBothBuffers) {
  for (auto size : {std::pair<int, int>{30, 20}, std::pair<int, int>{5, 3}}) {
    World in(12, 9, 32, 0, 256), out(size.first, size.second, 32, 48, 256);
    Paint(in, [](int, int, int) { return 0.75f; });
    ASSERT_EQ(host().SmartRender(&in, &out, 32), PF_Err_NONE);
    EXPECT_TRUE(in.GuardsIntact());
    EXPECT_TRUE(out.GuardsIntact());
    EXPECT_TRUE(out.PaddingIntact());
    EXPECT_EQ(out.channel(std::min(11, size.first - 1), std::min(8, size.second - 1), 2), 0.75f);
    if (size.first > 12) {
      EXPECT_EQ(out.channel(20, 10, 2), 0.f);
    }
  }
}

TEST_F(RenderTest, MissingSuiteInTheGpuHalfReturns516) {
  host().SetNullBasicSuite(true);
  World in(8, 8, 8), out(8, 8, 8);
  EXPECT_EQ(host().SmartRender(&in, &out, 8), PF_Err_BAD_CALLBACK_PARAM);
  host().SetNullBasicSuite(false);
}

TEST(RenderThreads, ThreadWithoutRootContextGets512AndRetries) {
  hostsim::Host host(&EffectMain);
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);  // no global set-up: no root context
  const int before = LiveThreadRenderData();
  std::thread([&] {
    World in(8, 8, 8), out(8, 8, 8);
    CaptureStdout capture;
    EXPECT_EQ(host.SmartRender(&in, &out, 8), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(capture.Finish(), "error on local_render_data.get() err 0 err2 0\n");
    EXPECT_EQ(LiveThreadRenderData(), before);
    ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(host.SmartRender(&in, &out, 8), PF_Err_NONE);
    EXPECT_EQ(LiveThreadRenderData(), before + 1);
  }).join();
  EXPECT_EQ(LiveThreadRenderData(), before);
  host.GlobalSetdown();
}

TEST_F(RenderTest, EachRenderThreadOwnsOneContextReleasedWhenItEnds) {
  const int before = LiveThreadRenderData();
  std::vector<std::thread> threads;
  std::vector<std::unique_ptr<World>> inputs, outputs;
  for (int t = 0; t < 2; ++t) {
    inputs.emplace_back(new World(24, 16, 8));
    outputs.emplace_back(new World(24, 16, 8));
    Paint(*inputs.back(), [t](int x, int y, int c) { return Scene(x + t, y, c, 255.0f); });
  }
  std::vector<int> liveDuring(2);
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      for (int frame = 0; frame < 3; ++frame)
        EXPECT_EQ(host().SmartRender(inputs[t].get(), outputs[t].get(), 8), PF_Err_NONE);
      liveDuring[t] = LiveThreadRenderData();
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_GE(std::max(liveDuring[0], liveDuring[1]), before + 1);
  EXPECT_EQ(LiveThreadRenderData(), before);
  // Same frames on this thread alone give the same bytes.
  for (int t = 0; t < 2; ++t) {
    World single(24, 16, 8);
    ASSERT_EQ(host().SmartRender(inputs[t].get(), &single, 8), PF_Err_NONE);
    EXPECT_TRUE(SamePixels(single, *outputs[t]));
  }
}

TEST_F(RenderTest, SecondFrameOnAThreadCreatesNothing) {
  std::thread([&] {
    World in(8, 8, 8), out(8, 8, 8);
    ASSERT_EQ(host().SmartRender(&in, &out, 8), PF_Err_NONE);
    const int live = LiveThreadRenderData();
    CaptureStdout capture;
    ASSERT_EQ(host().SmartRender(&in, &out, 8), PF_Err_NONE);
    EXPECT_EQ(capture.Finish(), "");
    EXPECT_EQ(LiveThreadRenderData(), live);
  }).join();
}

}  // namespace
