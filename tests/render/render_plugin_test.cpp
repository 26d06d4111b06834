// Smart pre-render and smart render through the built plug-in, with the host side playing host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "tests/render/render_plugin_fixture.h"
#include "tests/support/capture_stdout.h"

namespace {

using host_runtime::World;
using testimages::Argb;
using testimages::Image;

bool SameRect(const PF_LRect& a, const PF_LRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void FillBytes(World* world, uint8_t value) {
  for (int y = 0; y < world->height(); ++y)
    std::memset(world->row(y), value, size_t(world->width()) * world->bytesPerPixel());
}

bool SamePixels(const Image& a, const Image& b) { return a.argb == b.argb; }

TEST_F(RenderPluginTest, PreRenderRequestsTheInputAndReportsItsArea) {
  PF_PreRenderOutput result{};
  ASSERT_EQ(host().SmartPreRender({0, 0, 100, 100}, 64, 48, &result), PF_Err_NONE);
  EXPECT_TRUE(SameRect(result.result_rect, PF_LRect{0, 0, 64, 48}));
  EXPECT_TRUE(SameRect(result.max_result_rect, PF_LRect{0, 0, 64, 48}));
  ASSERT_EQ(host().Count("checkout_layer"), 1);
  for (const host_runtime::testing::Call& call : host().Calls())
    if (call.name == "checkout_layer") {
      EXPECT_EQ(call.detail, "index 0 id 0");
    }

  host().FailCall("checkout_layer", 1, PF_Interrupt_CANCEL);
  PF_PreRenderOutput untouched{};
  untouched.result_rect = {1, 2, 3, 4};
  CaptureStdout capture;
  EXPECT_EQ(host().SmartPreRender({0, 0, 100, 100}, 64, 48, &untouched), PF_Interrupt_CANCEL);
  EXPECT_EQ(capture.Finish(), "");
  EXPECT_TRUE(SameRect(untouched.result_rect, PF_LRect{1, 2, 3, 4}));
  EXPECT_TRUE(SameRect(untouched.max_result_rect, PF_LRect{0, 0, 0, 0}));
}

TEST_F(RenderPluginTest, LayerWithoutPixelsGivesTransparentBlackSilently) {
  for (int depth : {8, 32}) {
    World output(9, 7, depth, 8);
    FillBytes(&output, 0x9C);
    CaptureStdout capture;
    EXPECT_EQ(host().SmartRender(nullptr, &output, depth), PF_Err_NONE);
    EXPECT_EQ(capture.Finish(), "");
    EXPECT_TRUE(output.AllZero());
    EXPECT_TRUE(output.PaddingIntact());
    EXPECT_EQ(host().Count("checkout_param"), 0);
  }
}

TEST_F(RenderPluginTest, ParameterFailuresReportAndLeaveTheOutputCleared) {
  struct Case {
    const char* what;
    const char* call;
    int occurrence;
    PF_Err code;
    const char* detail;
    int checkouts;
    std::string text;
  };
  const Case cases[] = {
      {"13th checkout fails", "checkout_param", 0, PF_Err_INVALID_INDEX, "index 13", 13,
       "error on param checkout err 513 err2 0\nerror on param initialisation err 513 err2 0\n"},
      {"4th check-in fails", "checkin_param", 4, PF_Err_OUT_OF_MEMORY, "", 4,
       "error on param checkout err 4 err2 4\nerror on param initialisation err 4 err2 0\n"},
      {"a cancel from a checkout", "checkout_param", 0, PF_Interrupt_CANCEL, "index 6", 6, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    World input(8, 6, 8), output(8, 6, 8);
    FillBytes(&input, 0xFF);
    FillBytes(&output, 0x33);
    host().ClearCalls();
    host().FailCall(c.call, c.occurrence, c.code, c.detail);
    CaptureStdout capture;
    EXPECT_EQ(host().SmartRender(&input, &output, 8), c.code);
    EXPECT_EQ(capture.Finish(), c.text);
    host().ClearFailures();
    EXPECT_EQ(host().Count("checkout_param"), c.checkouts);
    EXPECT_EQ(host().Count("checkin_param"), c.checkouts);
    EXPECT_TRUE(output.AllZero()) << "cleared, and the GPU never ran";
  }
}

TEST_F(RenderPluginTest, MissingBasicSuiteFailsTheFrameWith516) {
  World input(8, 6, 8), output(8, 6, 8);
  FillBytes(&input, 0xFF);
  host().SetNullBasicSuite(true);
  EXPECT_EQ(host().SmartRender(&input, &output, 8), PF_Err_BAD_CALLBACK_PARAM);
  host().SetNullBasicSuite(false);
  EXPECT_TRUE(output.AllZero());
  EXPECT_EQ(host().SmartRender(&input, &output, 8), PF_Err_NONE) << "and the next frame renders";
  EXPECT_FALSE(output.AllZero());
}

TEST_F(RenderPluginTest, ThreadWithoutRenderDataFailsWith512UntilThereIsARootContext) {
  // A global set-up that could not reach its record leaves no root context behind.
  host_runtime::testing::InstrumentedHost noRoot(entry());
  noRoot.FailCall("host_lock_handle", 1, 0);
  ASSERT_EQ(noRoot.GlobalSetup(), PF_Err_NONE);
  noRoot.ClearFailures();
  ASSERT_EQ(noRoot.ParamsSetup(), PF_Err_NONE);

  std::thread renderThread([&] {
    World input(8, 6, 8), output(8, 6, 8);
    FillBytes(&input, 0xFF);
    FillBytes(&output, 0x71);
    CaptureStdout capture;
    EXPECT_EQ(noRoot.SmartRender(&input, &output, 8), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(capture.Finish(), "error on local_render_data.get() err 0 err2 0\n");
    EXPECT_TRUE(output.AllZero());
    // The same thread renders once a set-up with a root context exists.
    EXPECT_EQ(host().SmartRender(&input, &output, 8), PF_Err_NONE);
    EXPECT_EQ(output.channel(7, 5, 0), 255.0f);
  });
  renderThread.join();
  noRoot.GlobalSetdown();
}

TEST_F(RenderPluginTest, UnsupportedBitDepthIsRefusedWithOutputCleared) {
  World input(8, 6, 8), output(8, 6, 8);
  FillBytes(&input, 0xFF);
  FillBytes(&output, 0x71);
  CaptureStdout capture;
  EXPECT_EQ(host().SmartRender(&input, &output, 16), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(capture.Finish(), "error on unsupported bit depth err 516 err2 16\n");
  EXPECT_TRUE(output.AllZero());
}

TEST_F(RenderPluginTest, HugeOrEmptyInputDoesNotCrash) {
  // Wider than any GL_MAX_TEXTURE_SIZE: refused with the output cleared.
  World wide(65537, 1, 8), wideOut(65537, 1, 8);
  FillBytes(&wide, 0xFF);
  FillBytes(&wideOut, 0x71);
  CaptureStdout capture;
  EXPECT_EQ(host().SmartRender(&wide, &wideOut, 8), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(capture.Finish().rfind("error on frame size err 4 err2 ", 0), 0u);
  EXPECT_TRUE(wideOut.AllZero());
  EXPECT_TRUE(wideOut.GuardsIntact());

  World empty(0, 0, 32), emptyOut(0, 0, 32);
  EXPECT_EQ(host().SmartRender(&empty, &emptyOut, 32), PF_Err_NONE);
  EXPECT_TRUE(emptyOut.GuardsIntact());
}

TEST_F(RenderPluginTest, OutputOfAnotherSizeGetsTheOverlapOnly) {
  const Image image = testimages::Random(12, 9, 7, 255);
  for (int depth : {8, 32}) {
    Image same;
    ASSERT_EQ(Render(image, depth, &same), PF_Err_NONE);
    const int sizes[][2] = {{15, 11}, {7, 5}, {15, 4}, {3, 12}};
    for (const auto& size : sizes) {
      SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
      World input(image.width, image.height, depth), output(size[0], size[1], depth, 16);
      testimages::Store(image, &input);
      FillBytes(&output, 0x5E);
      ASSERT_EQ(host().SmartRender(&input, &output, depth), PF_Err_NONE);
      EXPECT_TRUE(output.GuardsIntact());
      EXPECT_TRUE(output.PaddingIntact());
      for (int y = 0; y < size[1]; ++y)
        for (int x = 0; x < size[0]; ++x)
          for (int c = 0; c < 4; ++c) {
            const bool inside = x < image.width && y < image.height;
            ASSERT_EQ(output.channel(x, y, c), inside ? same.at(x, y)[c] : 0.0f)
                << x << ", " << y << " channel " << c;
          }
    }
  }
}

TEST_F(RenderPluginTest, FlatAndStraightEdgedImagesComeBackUnchanged) {
  struct Case {
    const char* what;
    Image image;
    int source;
  };
  const Case cases[] = {
      {"opaque red", testimages::Flat(16, 12, {1, 1, 0, 0}), 1},
      {"translucent grey", testimages::Flat(16, 12, {128 / 255.f, 0.5f, 0.5f, 0.5f}), 1},
      {"transparent", testimages::Flat(16, 12, {0, 0, 0, 0}), 1},
      {"opaque teal, alpha mode", testimages::Flat(16, 12, {1, 0, 128 / 255.f, 128 / 255.f}), 2},
      {"vertical edge", testimages::Edge(16, 12, 90), 1},
      {"horizontal edge", testimages::Edge(16, 12, 0), 1},
      {"vertical edge, alpha mode", testimages::Edge(16, 12, 90), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FrameParams p;
    p.source = c.source;
    Apply(p);
    for (int depth : {8, 32}) {
      Image rendered;
      ASSERT_EQ(Render(c.image, depth, &rendered), PF_Err_NONE);
      const Image input = testimages::InWorldUnits(c.image, depth);
      for (size_t i = 0; i < input.argb.size(); ++i) {
        const float want = input.argb[i];
        // Floats sampled at texel centres may take in a trace of a neighbour (see the note in
        // render_reference_test.cpp); bytes are exact.
        ASSERT_NEAR(rendered.argb[i], want, depth == 8 ? 0.0 : 1e-5) << "channel " << i;
      }
    }
  }
}

TEST_F(RenderPluginTest, StrengthZeroReturnsTheInput) {
  FrameParams p;
  p.strength = 0;
  for (int source : {1, 2}) {
    p.source = source;
    Apply(p);
    const Image bytes = testimages::Random(16, 12, 11, 255);
    Image rendered;
    ASSERT_EQ(Render(bytes, 8, &rendered, 8), PF_Err_NONE);
    for (size_t i = 0; i < bytes.argb.size(); ++i)
      ASSERT_EQ(rendered.argb[i], std::round(bytes.argb[i] * 255)) << "source " << source;

    const Image floats = testimages::Random(16, 12, 12, 0, 3.0f);
    ASSERT_EQ(Render(floats, 32, &rendered, 16), PF_Err_NONE);
    for (size_t i = 0; i < floats.argb.size(); ++i)
      ASSERT_NEAR(rendered.argb[i], floats.argb[i], 1e-5 * 3) << "source " << source;
  }
}

TEST_F(RenderPluginTest, FloatValuesAboveOneAreNotClamped) {
  const Argb bright{2.5f, 7.0f, 1.25f, 65504.0f};
  Image rendered;
  ASSERT_EQ(Render(testimages::Flat(12, 10, bright), 32, &rendered), PF_Err_NONE);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) {
      const float* p = rendered.at(x, y);
      ASSERT_NEAR(p[0], 2.5f, 1e-5 * 2.5);
      ASSERT_NEAR(p[1], 7.0f, 1e-5 * 7);
      ASSERT_NEAR(p[2], 1.25f, 1e-5 * 1.25);
      ASSERT_NEAR(p[3], 65504.0f, 1e-5 * 65504);
    }
  // An edge between 0 and 4 keeps values above 1 on its bright side.
  const Image edge = testimages::Make(12, 10, [](int x, int) {
    return x < 6 ? Argb{1, 0, 0, 0} : Argb{4, 4, 4, 4};
  });
  ASSERT_EQ(Render(edge, 32, &rendered), PF_Err_NONE);
  EXPECT_GT(rendered.at(11, 5)[1], 3.9f);
}

TEST_F(RenderPluginTest, ZeroReduceTermsGiveFiniteResultsWithinTheInputRange) {
  FrameParams p;
  p.reduceMult = 0;
  p.reduceMin = 0;
  const Image images[] = {testimages::Edge(20, 16, 0), testimages::Edge(20, 16, 30),
                          testimages::TextLike(24, 14), testimages::AlphaDisc(20, 16)};
  for (int source : {1, 2}) {
    p.source = source;
    Apply(p);
    for (const Image& image : images) {
      Image rendered;
      ASSERT_EQ(Render(image, 32, &rendered), PF_Err_NONE);
      // Every pass is a blend of texels (and of 1 for the alpha-mode composite's alpha).
      for (float v : rendered.argb) {
        ASSERT_TRUE(std::isfinite(v)) << "source " << source;
        ASSERT_GE(v, -1e-5f);
        ASSERT_LE(v, 1.0f + 1e-5f);
      }
    }
  }
}

TEST_F(RenderPluginTest, NonFiniteFloatInputDoesNotCrash) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  Image image = testimages::Random(16, 12, 5, 0);
  image.at(3, 3)[1] = nan;
  image.at(8, 6)[0] = inf;
  image.at(12, 9)[3] = -inf;
  for (int source : {1, 2}) {
    FrameParams p;
    p.source = source;
    Apply(p);
    Image rendered;
    EXPECT_EQ(Render(image, 32, &rendered), PF_Err_NONE);
  }
}

TEST_F(RenderPluginTest, DebugSlidersNeverChangeTheImage) {
  const Image image = testimages::TextLike(24, 14);
  for (int source : {1, 2}) {
    FrameParams p;
    p.source = source;
    Apply(p);
    Image plain, withDebug;
    for (int i = 9; i <= 12; ++i) host().SetParamValue(i, 0);
    ASSERT_EQ(Render(image, 32, &plain), PF_Err_NONE);
    for (int i = 9; i <= 12; ++i) host().SetParamValue(i, 17.0 * i);
    ASSERT_EQ(Render(image, 32, &withDebug), PF_Err_NONE);
    EXPECT_TRUE(SamePixels(plain, withDebug)) << "source " << source;
  }
}

TEST_F(RenderPluginTest, FramesOnSeveralThreadsAtOnceMatchSingleThreadedOnes) {
  const Image images[3] = {testimages::Edge(20, 16, 30), testimages::ThinLines(20, 16),
                                    testimages::Random(20, 16, 9, 255)};
  Image expected[3];
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Render(images[i], 8, &expected[i]), PF_Err_NONE);

  Image got[3][2];
  PF_Err errors[3][2] = {};
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i)
    threads.emplace_back([&, i] {
      for (int frame = 0; frame < 2; ++frame) {
        World input(20, 16, 8), output(20, 16, 8);
        testimages::Store(images[i], &input);
        errors[i][frame] = host().SmartRender(&input, &output, 8);
        got[i][frame] = testimages::Read(output);
      }
    });
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < 3; ++i)
    for (int frame = 0; frame < 2; ++frame) {
      EXPECT_EQ(errors[i][frame], PF_Err_NONE);
      EXPECT_TRUE(SamePixels(got[i][frame], expected[i])) << "image " << i << " frame " << frame;
    }
}

}  // namespace
