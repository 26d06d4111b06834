#include "render/smart_pre_render.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool SameRect(const PF_LRect& a, const PF_LRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(RectUnion, MergesByTheEmptinessOfEitherSide) {
  struct Case {
    const char* what;
    PF_LRect destination, source, expected;
  };
  const Case cases[] = {
      {"empty destination copies the source", {0, 0, 0, 0}, {3, 4, 50, 60}, {3, 4, 50, 60}},
      {"empty destination copies even an empty source", {5, 5, 5, 9}, {7, 8, 2, 1}, {7, 8, 2, 1}},
      {"zero-height destination counts as empty", {0, 10, 100, 10}, {1, 2, 3, 4}, {1, 2, 3, 4}},
      {"empty source leaves the destination", {0, 0, 100, 100}, {20, 20, 20, 40}, {0, 0, 100, 100}},
      {"inverted source is empty", {0, 0, 100, 100}, {50, 50, 10, 10}, {0, 0, 100, 100}},
      {"both non-empty grow to the bounding box", {0, 0, 100, 100}, {-10, 20, 50, 120},
       {-10, 0, 100, 120}},
      {"source inside destination changes nothing", {0, 0, 100, 100}, {10, 10, 20, 20},
       {0, 0, 100, 100}},
      {"disjoint rectangles", {0, 0, 10, 10}, {20, 30, 40, 50}, {0, 0, 40, 50}},
  };
  for (const Case& c : cases) {
    PF_LRect destination = c.destination;
    UnionRect(c.source, &destination);
    EXPECT_TRUE(SameRect(destination, c.expected)) << c.what;
  }
}

// The pre-render host side: records the checkout_layer call and answers with fixed rectangles.
struct PreRenderHost {
  PF_Err answer = 0;
  PF_CheckoutResult result{};
  int calls = 0;
  PF_ParamIndex index = -1;
  A_long checkoutId = -1, time = 0, step = 0;
  A_u_long scale = 0;
  PF_RenderRequest request{};

  static PF_Err CheckoutLayer(PF_ProgPtr ref, PF_ParamIndex index, A_long id,
                              const PF_RenderRequest* req, A_long time, A_long step, A_u_long scale,
                              PF_CheckoutResult* out) {
    PreRenderHost* host = reinterpret_cast<PreRenderHost*>(ref);
    ++host->calls;
    host->index = index;
    host->checkoutId = id;
    host->request = *req;
    host->time = time;
    host->step = step;
    host->scale = scale;
    if (host->answer != 0) return host->answer;
    *out = host->result;
    return 0;
  }

  PF_Err Run(PF_PreRenderOutput* output) {
    PF_InData in{};
    in.effect_ref = reinterpret_cast<PF_ProgPtr>(this);
    in.current_time = 48;
    in.time_step = 2;
    in.time_scale = 24;
    PF_PreRenderInput input{};
    input.output_request.rect = {1, 2, 300, 200};
    input.output_request.field = 2;
    input.output_request.channel_mask = 9;
    input.output_request.preserve_rgb_of_zero_alpha = 1;
    input.output_request.reserved[2] = 77;
    PF_PreRenderCallbacks callbacks{};
    callbacks.checkout_layer = CheckoutLayer;
    PF_PreRenderExtra extra{&input, output, &callbacks};
    PF_OutData out{};
    const PF_Err err = SmartPreRender(&in, &out, &extra);
    sent = input.output_request;
    return err;
  }
  PF_RenderRequest sent{};
};

TEST(SmartPreRender, AsksForTheInputLayerOverTheRequestUnchanged) {
  PreRenderHost host;
  host.result.result_rect = {0, 0, 64, 48};
  host.result.max_result_rect = {0, 0, 64, 48};
  PF_PreRenderOutput output{};
  ASSERT_EQ(host.Run(&output), PF_Err_NONE);
  EXPECT_EQ(host.calls, 1);
  EXPECT_EQ(host.index, 0);
  EXPECT_EQ(host.checkoutId, 0);
  EXPECT_EQ(host.time, 48);
  EXPECT_EQ(host.step, 2);
  EXPECT_EQ(host.scale, 24u);
  // Not enlarged: border taps come from the textures' mirrored repeat.
  EXPECT_EQ(std::memcmp(&host.request, &host.sent, sizeof(PF_RenderRequest)), 0);
}

TEST(SmartPreRender, MergesBothResultRectanglesIntoTheOutput) {
  PreRenderHost host;
  host.result.result_rect = {-10, 20, 50, 120};
  host.result.max_result_rect = {0, 0, 0, 0};
  PF_PreRenderOutput output{};
  output.result_rect = {0, 0, 100, 100};
  output.max_result_rect = {0, 0, 0, 0};
  output.flags = 5;
  int marker = 0;
  output.pre_render_data = &marker;
  ASSERT_EQ(host.Run(&output), PF_Err_NONE);
  EXPECT_TRUE(SameRect(output.result_rect, PF_LRect{-10, 0, 100, 120}));
  EXPECT_TRUE(SameRect(output.max_result_rect, PF_LRect{0, 0, 0, 0}));
  EXPECT_EQ(output.flags, 5);
  EXPECT_EQ(output.pre_render_data, &marker);

  // Empty output rectangles take the input's.
  host.result.max_result_rect = {0, 0, 64, 48};
  PF_PreRenderOutput fresh{};
  ASSERT_EQ(host.Run(&fresh), PF_Err_NONE);
  EXPECT_TRUE(SameRect(fresh.result_rect, host.result.result_rect));
  EXPECT_TRUE(SameRect(fresh.max_result_rect, PF_LRect{0, 0, 64, 48}));
}

TEST(SmartPreRender, CheckoutErrorIsReturnedAndLeavesTheOutputAlone) {
  const PF_Err codes[] = {PF_Interrupt_CANCEL, PF_Err_OUT_OF_MEMORY, -3};
  for (PF_Err code : codes) {
    PreRenderHost host;
    host.answer = code;
    host.result.result_rect = {0, 0, 64, 48};
    PF_PreRenderOutput output{};
    output.result_rect = {5, 6, 7, 8};
    output.max_result_rect = {0, 0, 0, 0};
    EXPECT_EQ(host.Run(&output), code);
    EXPECT_TRUE(SameRect(output.result_rect, PF_LRect{5, 6, 7, 8}));
    EXPECT_TRUE(SameRect(output.max_result_rect, PF_LRect{0, 0, 0, 0}));
  }
}

}  // namespace
