// Windows: the host side finds the plug-in's entry point the way After Effects does, through
// the PIPL resource, refuses libraries whose resource is missing or unusable, and global set-up
// writes the words the resource promises.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"
#include "host_runtime/plugin_pipl.h"

namespace {

TEST(PluginLoad, FindsEffectMainThroughThePluginsResource) {
  std::string error;
  std::unique_ptr<host_runtime::PluginModule> module = host_runtime::PluginModule::Load(FXAA_PLUGIN_PATH, &error);
  ASSERT_NE(module, nullptr) << error;
  EXPECT_EQ(module->entryName(), "EffectMain");
  HMODULE library = GetModuleHandleA(FXAA_PLUGIN_PATH);
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(module->entry()),
            reinterpret_cast<void*>(GetProcAddress(library, "EffectMain")));
}

TEST(PluginLoad, GlobalSetUpWritesTheWordsThePluginsResourcePromises) {
  std::string error;
  std::unique_ptr<host_runtime::PluginModule> module = host_runtime::PluginModule::Load(FXAA_PLUGIN_PATH, &error);
  ASSERT_NE(module, nullptr) << error;
  host_runtime::PluginPipl pipl;
  ASSERT_TRUE(host_runtime::ReadPluginPipl(GetModuleHandleA(FXAA_PLUGIN_PATH), &pipl, &error)) << error;
  EXPECT_EQ(pipl.name, "FXAA");
  EXPECT_EQ(pipl.matchName, "CVFXAA");

  host_runtime::Host host(module->entry());
  ASSERT_EQ(host.GlobalSetup(), 0);
  const PF_OutData& out = host.lastOut();
  EXPECT_TRUE(host_runtime::CheckGlobalSetupWords(pipl, out.my_version, out.out_flags, out.out_flags2, &error))
      << error;
  EXPECT_EQ(host.GlobalSetdown(), 0);
}

TEST(PluginLoad, CallsTheEntryPointTheResourceNamesNotEffectMain) {
  std::string error;
  std::unique_ptr<host_runtime::PluginModule> module = host_runtime::PluginModule::Load(FIXTURE_OTHER_ENTRY, &error);
  ASSERT_NE(module, nullptr) << error;
  EXPECT_EQ(module->entryName(), "OtherMain");
  // OtherMain answers 7 to every command, EffectMain 0.
  EXPECT_EQ(module->entry()(PF_Cmd_ABOUT, nullptr, nullptr, nullptr, nullptr, nullptr), 7);
}

struct Refusal {
  const char* path;
  const char* reason;  // part of the message
};

TEST(PluginLoad, RefusesLibrariesWithoutAUsableResource) {
  const Refusal cases[] = {
      {FIXTURE_NO_PIPL, "not an After Effects plug-in: no PIPL resource 16000"},
      {FIXTURE_WRONG_ID, "not an After Effects plug-in: no PIPL resource 16000"},
      {FIXTURE_WRONG_KIND, "not an effect plug-in: its PiPL kind is 'AEgp'"},
      {FIXTURE_TRUNCATED, "malformed PiPL resource: property 2 of 3 runs past the end"},
      {FIXTURE_MISSING_ENTRY, "it has no Absent"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error;
    EXPECT_EQ(host_runtime::PluginModule::Load(c.path, &error), nullptr);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    // The message names the file it refused.
    EXPECT_EQ(error.rfind(c.path, 0), 0u) << error;
  }
}

}  // namespace
