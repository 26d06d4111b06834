// A loaded plug-in after global and parameter set-up, with helpers that render a test image
// through smart render and read the host's output world back.
#pragma once

#include <gtest/gtest.h>

#include "tests/render/test_images.h"
#include "tests/support/fxaa_reference.h"
#include "tests/support/plugin_host.h"

struct FrameParams {
  int source = 1;  // 1 "Color", 2 "Alpha"
  double strength = 100, span = 8, reduceMult = 1, reduceMin = 1;
  PF_RationalScale downsample{1, 1};
  PF_RationalScale downsampleY{0, 0};  // the vertical factor where it differs; {0, 0}: the same
};

class RenderPluginTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
    ASSERT_EQ(host().ParamsSetup(), PF_Err_NONE);
  }
  void TearDown() override {
    if (host_) host().GlobalSetdown();
    PluginTest::TearDown();
  }

  void Apply(const FrameParams& p) {
    host().SetParamValue(1, p.source);
    host().SetParamValue(2, p.strength);
    host().SetParamValue(4, p.span);
    host().SetParamValue(5, p.reduceMult);
    host().SetParamValue(6, p.reduceMin);
    host().SetDownsample(p.downsample, p.downsampleY.den != 0 ? p.downsampleY : p.downsample);
  }

  // The model's uniforms for `p`, in the single precision the GPU sees.
  static fxaa_reference::FxaaParams ModelParams(const FrameParams& p) {
    const double ds = static_cast<double>(static_cast<float>(p.downsample.num) /
                                          static_cast<float>(p.downsample.den));
    fxaa_reference::FxaaParams r;
    r.mode = p.source - 1;
    r.strength = static_cast<float>(p.strength * 0.01);
    r.span = static_cast<float>(ds * p.span);
    r.reduceMult = static_cast<float>(p.reduceMult * 0.125 * ds);
    r.reduceMin = static_cast<float>(p.reduceMin * 0.0078125 * ds);
    return r;
  }

  // Renders `image` at `bitDepth` with the current parameters into *rendered (world units).
  // With `model`, also runs the CPU model on the same input world with `modelParams`.
  PF_Err Render(const testimages::Image& image, int bitDepth, testimages::Image* rendered,
                int padding = 0, testimages::Image* model = nullptr,
                const FrameParams* modelParams = nullptr) {
    host_runtime::World input(image.width, image.height, bitDepth, padding);
    host_runtime::World output(image.width, image.height, bitDepth, padding);
    testimages::Store(image, &input);
    const PF_Err err = host().SmartRender(&input, &output, bitDepth);
    EXPECT_TRUE(output.GuardsIntact());
    EXPECT_TRUE(output.PaddingIntact());
    *rendered = testimages::Read(output);
    if (model != nullptr) {
      const fxaa_reference::HostImage in{input.get()->data, input.width(), input.height(),
                                         input.rowbytes(), bitDepth};
      const fxaa_reference::FxaaParams params = ModelParams(*modelParams);
      model->width = image.width;
      model->height = image.height;
      if (bitDepth == 32) {
        model->argb = fxaa_reference::RenderFloats(in, params).argb;
      } else {
        const std::vector<uint8_t> bytes = fxaa_reference::RenderBytes(in, params);
        model->argb.assign(bytes.begin(), bytes.end());
      }
    }
    return err;
  }
};
