// A fixture that loads the built plug-in file and owns the tests' host for it, which records
// the calls and injects faults (link fxaa_host_runtime_testing).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"
#include "host_runtime/testing/instrumented_host.h"

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    module_ = host_runtime::PluginModule::Load(FXAA_PLUGIN_PATH, &error);
    ASSERT_NE(module_, nullptr) << error;
    host_.reset(new host_runtime::testing::InstrumentedHost(module_->entry()));
  }
  void TearDown() override { host_.reset(); }

  host_runtime::testing::InstrumentedHost& host() { return *host_; }
  PF_FilterProc entry() { return module_->entry(); }

  std::unique_ptr<host_runtime::PluginModule> module_;
  std::unique_ptr<host_runtime::testing::InstrumentedHost> host_;
};
