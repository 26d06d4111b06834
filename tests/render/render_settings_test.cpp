#include "render/render_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/capture_stdout.h"

namespace {

struct ParamValues {
  A_long source = kSourceColor;
  double strength = 100, span = 8, reduceMult = 1, reduceMin = 1;
  double left = 0, top = 0, right = 0, bottom = 0;
};

// Fills the settings of a block whose slots hold `v`, as the driver does after the checkouts.
RenderSettings Fill(const ParamValues& v, PF_RationalScale downsampleX,
                    PF_RationalScale downsampleY = {1, 1}, short bitDepth = 8) {
  RenderBlock block;
  std::memset(&block, 0, sizeof(block));
  PF_ParamDef* p = block.params;
  p[kParamSource].param_type = PF_Param_POPUP;
  p[kParamSource].u.pd.value = v.source;
  const std::pair<int, double> sliders[] = {
      {kParamStrength, v.strength}, {kParamSpan, v.span},  {kParamReduceMultiplier, v.reduceMult},
      {kParamReduceMinimum, v.reduceMin}, {kParamLeft, v.left}, {kParamTop, v.top},
      {kParamRight, v.right},       {kParamBottom, v.bottom}};
  for (const auto& s : sliders) {
    p[s.first].param_type = PF_Param_FLOAT_SLIDER;
    p[s.first].u.fs_d.value = s.second;
  }
  PF_EffectWorld input{};
  input.width = 37;
  input.height = 11;
  block.settings.inputWorld = &input;

  PF_InData in{};
  in.downsample_x = downsampleX;
  in.downsample_y = downsampleY;
  PF_SmartRenderInput renderInput{};
  renderInput.bitdepth = bitDepth;
  PF_SmartRenderExtra extra{&renderInput, nullptr};
  FillRenderSettings(&in, &extra, &block);
  block.settings.inputWorld = nullptr;  // the local world goes out of scope
  return block.settings;
}

TEST(RenderSettings, ReferenceValuesAtFullResolution) {
  const RenderSettings s = Fill(ParamValues{}, {1, 1});
  EXPECT_EQ(s.downsample, 1.0);
  EXPECT_EQ(s.strength, 1.0);
  EXPECT_EQ(s.span, 8.0);
  EXPECT_EQ(s.reduceMult, 0.125);
  EXPECT_EQ(s.reduceMin, 0.0078125);
  EXPECT_EQ(s.mode, 0);
  EXPECT_EQ(s.width, 37);
  EXPECT_EQ(s.height, 11);
  EXPECT_EQ(s.bitDepth, 8);
}

TEST(RenderSettings, HalfResolutionInXHalvesTheDistancesWhateverTheYFactor) {
  const PF_RationalScale ys[] = {{1, 1}, {1, 2}, {1, 4}};
  for (const PF_RationalScale& y : ys) {
    SCOPED_TRACE(y.den);
    const RenderSettings s = Fill(ParamValues{}, {1, 2}, y, 32);
    EXPECT_EQ(s.downsample, 0.5);
    EXPECT_EQ(s.span, 4.0);
    EXPECT_EQ(s.reduceMult, 0.0625);
    EXPECT_EQ(s.reduceMin, 0.00390625);
    EXPECT_EQ(s.strength, 1.0);
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.bitDepth, 32);
  }
}

TEST(RenderSettings, DownsampleIsDividedInSinglePrecision) {
  const RenderSettings s = Fill(ParamValues{}, {1, 3});
  EXPECT_EQ(s.downsample, static_cast<double>(1.0f / 3.0f));
  EXPECT_NE(s.downsample, 1.0 / 3.0);
  EXPECT_EQ(s.span, static_cast<double>(1.0f / 3.0f) * 8.0);
  // The numerator is signed: a negative factor stays negative instead of wrapping.
  EXPECT_EQ(Fill(ParamValues{}, {-1, 2}).downsample, -0.5);
}

TEST(RenderSettings, FormulasFollowEachParameter) {
  struct Case {
    ParamValues values;
    double strength, span, reduceMult, reduceMin;
  };
  const Case cases[] = {
      {{kSourceColor, 0, 8, 1, 1}, 0.0, 8.0, 0.125, 0.0078125},
      {{kSourceColor, 37.5, 2, 4, 16}, 0.375, 2.0, 0.5, 0.125},
      {{kSourceColor, 100, 0, 0, 0}, 1.0, 0.0, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    const RenderSettings s = Fill(c.values, {1, 1});
    EXPECT_DOUBLE_EQ(s.strength, c.strength);
    EXPECT_DOUBLE_EQ(s.span, c.span);
    EXPECT_DOUBLE_EQ(s.reduceMult, c.reduceMult);
    EXPECT_DOUBLE_EQ(s.reduceMin, c.reduceMin);
  }
}

TEST(RenderSettings, ModeIsSourceMinusOneWithoutClamping) {
  const std::pair<A_long, A_long> cases[] = {{kSourceColor, 0}, {kSourceAlpha, 1}, {3, 2}, {0, -1}};
  for (const auto& c : cases) {
    ParamValues v;
    v.source = c.first;
    EXPECT_EQ(Fill(v, {1, 1}).mode, c.second) << "Source " << c.first;
  }
}

TEST(RenderSettings, DebugSlidersOnlyFeedTheirCopies) {
  ParamValues v;
  v.left = 1.5;
  v.top = -2;
  v.right = 30;
  v.bottom = 400;
  const RenderSettings withDebug = Fill(v, {1, 1});
  const RenderSettings plain = Fill(ParamValues{}, {1, 1});
  EXPECT_EQ(withDebug.debugLeft, 1.5);
  EXPECT_EQ(withDebug.debugTop, -2);
  EXPECT_EQ(withDebug.debugRight, 30);
  EXPECT_EQ(withDebug.debugBottom, 400);
  EXPECT_EQ(withDebug.mode, plain.mode);
  EXPECT_EQ(withDebug.strength, plain.strength);
  EXPECT_EQ(withDebug.span, plain.span);
  EXPECT_EQ(withDebug.reduceMult, plain.reduceMult);
  EXPECT_EQ(withDebug.reduceMin, plain.reduceMin);
}

TEST(RenderError, ComposesMessageAndBothCodes) {
  struct Case {
    const char* message;
    PF_Err code, code2;
    const char* text;
  };
  const Case cases[] = {
      {"error on param checkout", 513, 0, "error on param checkout err 513 err2 0"},
      {"error on buffer checkout", -1, 0, "error on buffer checkout err -1 err2 0"},
      {"x", 4, -2147483647 - 1, "x err 4 err2 -2147483648"},
      {"error on local_render_data.get()", 0, 0, "error on local_render_data.get() err 0 err2 0"},
      // Only a plain cancel is silent: with a second code it is a real failure.
      {"error on param checkout", PF_Interrupt_CANCEL, 513, "error on param checkout err 517 err2 513"},
      {"error on param checkout", 513, PF_Interrupt_CANCEL, "error on param checkout err 513 err2 517"},
      {"error on param checkout", PF_Interrupt_CANCEL, 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ComposeRenderError(c.message, c.code, c.code2), c.text);
}

TEST(RenderError, ReportWritesOneLineToStandardOutputAndLeavesOutDataAlone) {
  PF_OutData out;
  std::memset(&out, 0x3C, sizeof(out));
  PF_OutData before = out;
  CaptureStdout capture;
  ReportRenderError("error on param initialisation", &out, 516, 0);
  ReportRenderError("error on param checkout", &out, PF_Interrupt_CANCEL, 0);
  ReportRenderError("error on buffer checkout", &out, -7, 3);
  EXPECT_EQ(capture.Finish(),
            "error on param initialisation err 516 err2 0\n"
            "error on buffer checkout err -7 err2 3\n");
  EXPECT_EQ(std::memcmp(&out, &before, sizeof(out)), 0);
}

}  // namespace
