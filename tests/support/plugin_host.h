// A fixture that loads the built plug-in file and owns the tests' host for it, which records
// the calls and injects faults (link fxaa_hostsim_testing).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hostsim/host.h"
#include "hostsim/plugin_module.h"
#include "hostsim/testing/instrumented_host.h"

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    module_ = hostsim::PluginModule::Load(FXAA_PLUGIN_PATH, &error);
    ASSERT_NE(module_, nullptr) << error;
    host_.reset(new hostsim::testing::InstrumentedHost(module_->entry()));
  }
  void TearDown() override { host_.reset(); }

  hostsim::testing::InstrumentedHost& host() { return *host_; }
  PF_FilterProc entry() { return module_->entry(); }

  std::unique_ptr<hostsim::PluginModule> module_;
  std::unique_ptr<hostsim::testing::InstrumentedHost> host_;
};
