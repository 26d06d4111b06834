// A fixture that loads the built plug-in file and owns a host side for it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hostsim/host_sim.h"

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    module_ = hostsim::PluginModule::Load(FXAA_PLUGIN_PATH, &error);
    ASSERT_NE(module_, nullptr) << error;
    host_.reset(new hostsim::Host(module_->entry()));
  }
  void TearDown() override { host_.reset(); }

  hostsim::Host& host() { return *host_; }
  PF_FilterProc entry() { return module_->entry(); }

  std::unique_ptr<hostsim::PluginModule> module_;
  std::unique_ptr<hostsim::Host> host_;
};
