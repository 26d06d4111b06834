// A host side around the plug-in's own entry point, linked in, so tests can also look at the
// render path's per-thread state.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "host/effect_entry.h"
#include "hostsim/host_sim.h"
#include "tests/support/fxaa_reference.h"

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.reset(new hostsim::Host(&EffectMain));
    ASSERT_EQ(host_->GlobalSetup(), PF_Err_NONE);
    ASSERT_EQ(host_->ParamsSetup(), PF_Err_NONE);
    host_->ClearCalls();
  }
  void TearDown() override {
    if (host_) host_->GlobalSetdown();
    host_.reset();
  }
  hostsim::Host& host() { return *host_; }
  std::unique_ptr<hostsim::Host> host_;
};

// The reference's view of a host world.
inline fxaa_reference::HostImage ReferenceInput(hostsim::World& world) {
  return fxaa_reference::HostImage{world.get()->data, world.width(), world.height(),
                                   world.rowbytes(), world.bitDepth()};
}

// The reference's expectation for channel c of pixel (x, y), in the world's own units.
inline std::vector<float> ReferenceOutput(hostsim::World& world,
                                          const fxaa_reference::FxaaParams& params) {
  std::vector<float> values;
  if (world.bitDepth() == 8) {
    for (uint8_t b : fxaa_reference::RenderBytes(ReferenceInput(world), params)) values.push_back(b);
  } else {
    values = fxaa_reference::RenderFloats(ReferenceInput(world), params).argb;
  }
  return values;
}
