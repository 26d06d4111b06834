// The entry point, global set-up and set-down, About and the parameters, driven through the
// built plug-in file exactly as the host drives it.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/plugin_host.h"

namespace {

using EntryTest = PluginTest;

std::vector<std::string> Names(const std::vector<host_runtime::testing::Call>& calls,
                               const std::string& only = "") {
  std::vector<std::string> names;
  for (const host_runtime::testing::Call& c : calls)
    if (only.empty() || c.name == only) names.push_back(c.name + (c.detail.empty() ? "" : " " + c.detail));
  return names;
}

TEST_F(EntryTest, UnknownCommandsReturnZeroAndTouchNothing) {
  for (PF_Cmd cmd : {2, 5, 9, 11, 12, 15, 22, 25, 31, 1000, -1}) {
    SCOPED_TRACE(cmd);
    PF_InData in;
    PF_OutData out;
    std::memset(&in, 0xCD, sizeof(in));
    std::memset(&out, 0xCD, sizeof(out));
    PF_InData inCopy = in;
    PF_OutData outCopy = out;
    EXPECT_EQ(entry()(cmd, &in, &out, nullptr, nullptr, nullptr), PF_Err_NONE);
    EXPECT_EQ(std::memcmp(&in, &inCopy, sizeof(in)), 0);
    EXPECT_EQ(std::memcmp(&out, &outCopy, sizeof(out)), 0);
  }
}

TEST_F(EntryTest, AboutWritesTheSevenLineText) {
  std::string text;
  ASSERT_EQ(host().About(&text), PF_Err_NONE);
  EXPECT_EQ(text,
            "FXAA v1.1.0\n"
            "\n"
            "Reduces aliasing (aka jaggies, stairstepping, grumpkins) using FXAA.\n"
            "Algorithm by Vantrel.\n"
            "\n"
            "Copyright (c) 2026 Corvella. All rights reserved.\n"
            "https://corvella.example/fxaa");
  EXPECT_LT(text.size(), 200u);
  EXPECT_EQ(host().OutstandingSuites(), 0);
}

TEST_F(EntryTest, GlobalSetupWritesVersionFlagsAndA16ByteHandle) {
  ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
  const PF_OutData& out = host().lastOut();
  EXPECT_EQ(out.my_version, 0x00088001u);
  EXPECT_EQ(out.out_flags, 0x04000000);
  EXPECT_EQ(out.out_flags2, 0x08001408);
  ASSERT_NE(out.global_data, nullptr);
  EXPECT_EQ(Names(host().Calls(), "host_new_handle"), std::vector<std::string>{"host_new_handle 16"});
  EXPECT_EQ(host().OutstandingSuites(), 0);
  EXPECT_EQ(host().GlobalSetdown(), PF_Err_NONE);
  EXPECT_EQ(host().OutstandingSuites(), 0);
}

TEST_F(EntryTest, SetupEndsQuietlyWhenTheHandleCannotBeLocked) {
  host().FailCall("host_lock_handle", 1, 0);
  EXPECT_EQ(host().GlobalSetup(), PF_Err_NONE);
  EXPECT_EQ(host().Count("AcquireSuite"), 1);
  EXPECT_EQ(host().OutstandingSuites(), 0);
}

TEST_F(EntryTest, SetupReportsAHandleTheHostCouldNotAllocate) {
  host().FailCall("host_new_handle", 1, 0);
  EXPECT_EQ(host().GlobalSetup(), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(host().lastOut().global_data, nullptr);
  EXPECT_EQ(host().OutstandingSuites(), 0);
}

TEST_F(EntryTest, EveryCommandThatHoldsSuitesReturns516WithoutABasicSuite) {
  ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
  host().SetNullBasicSuite(true);
  for (PF_Cmd cmd : {PF_Cmd_ABOUT, PF_Cmd_GLOBAL_SETUP, PF_Cmd_GLOBAL_SETDOWN,
                     PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI}) {
    SCOPED_TRACE(cmd);
    EXPECT_EQ(host().Send(cmd), PF_Err_BAD_CALLBACK_PARAM);
  }
  EXPECT_EQ(host().ParamsSetup(), PF_Err_NONE);
  EXPECT_EQ(host().Count("AcquireSuite") - host().Count("ReleaseSuite"), 0);
  host().SetNullBasicSuite(false);
  EXPECT_EQ(host().GlobalSetdown(), PF_Err_NONE);
}

TEST_F(EntryTest, MissingSuiteReleasesWhatWasAcquiredAndReturns516) {
  // The Effect Suite gives the effect reference back: when it is missing, no reference may be
  // taken, or it would stay with the host for good.
  for (const char* suite : {"AEGP PF Interface Suite 1", "AEGP Stream Suite 7",
                            "AEGP Dynamic Stream Suite 2", "AEGP Effect Suite 2"}) {
    for (bool nullTable : {false, true}) {
      SCOPED_TRACE(std::string(suite) + (nullTable ? ", null table" : ""));
      host().FailCall("AcquireSuite", 1, 1, suite, nullTable);
      EXPECT_EQ(host().UpdateParamsUI(), PF_Err_BAD_CALLBACK_PARAM);
      host().ClearFailures();
      EXPECT_EQ(host().OutstandingSuites(), 0);
      EXPECT_EQ(host().OutstandingStreams(), 0);
      EXPECT_EQ(host().OutstandingEffects(), 0);
    }
  }
}

TEST_F(EntryTest, UserChangedParamAcquiresNothing) {
  EXPECT_EQ(host().UserChangedParam(), PF_Err_NONE);
  EXPECT_TRUE(host().Calls().empty());
}

struct ExpectedParam {
  PF_ParamType type;
  A_long id;
  const char* name;
  float validMin, validMax, sliderMin, sliderMax, dephault;
  PF_ValueDisplayFlags display;
  PF_ParamFlags flags;
};

TEST_F(EntryTest, ParamsSetupDeclaresThe13ParametersInOrder) {
  ASSERT_EQ(host().ParamsSetup(), PF_Err_NONE);
  EXPECT_EQ(host().lastOut().num_params, 14);
  const ExpectedParam expected[] = {
      {PF_Param_POPUP, 1, "Source", 0, 0, 0, 0, 1, 0, 0},
      {PF_Param_FLOAT_SLIDER, 2, "Strength", 0, 100, 0, 100, 100, 1, 0},
      {PF_Param_GROUP_START, 7, "Advanced", 0, 0, 0, 0, 0, 0, 0x20},
      {PF_Param_FLOAT_SLIDER, 8, "FXAA Span", 0, 100, 0, 16, 8, 0, 0},
      {PF_Param_FLOAT_SLIDER, 9, "FXAA Reduce Multiplier", 0, 100, 0, 4, 1, 0, 0},
      {PF_Param_FLOAT_SLIDER, 10, "FXAA Reduce Minimum", 0, 100, 0, 4, 1, 0, 0},
      {PF_Param_GROUP_END, 11, "", 0, 0, 0, 0, 0, 0, 0},
      {PF_Param_GROUP_START, 12, "Debug", 0, 0, 0, 0, 0, 0, 0},
      {PF_Param_FLOAT_SLIDER, 3, "Left", -1000, 1000, 0, 5, 0, 0, 0},
      {PF_Param_FLOAT_SLIDER, 4, "Top", -1000, 1000, 0, 5, 0, 0, 0},
      {PF_Param_FLOAT_SLIDER, 5, "Right", -1000, 1000, 0, 5, 0, 0, 0},
      {PF_Param_FLOAT_SLIDER, 6, "Bottom", -1000, 1000, 0, 5, 0, 0, 0},
      {PF_Param_GROUP_END, 13, "", 0, 0, 0, 0, 0, 0, 0},
  };
  const std::vector<PF_ParamDef> declared = host().DeclaredParams();
  ASSERT_EQ(declared.size(), 13u);
  for (size_t i = 0; i < declared.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    const PF_ParamDef& d = declared[i];
    const ExpectedParam& e = expected[i];
    EXPECT_EQ(d.param_type, e.type);
    EXPECT_EQ(d.uu.id, e.id);
    EXPECT_STREQ(d.name, e.name);
    EXPECT_EQ(d.flags, e.flags);
    EXPECT_EQ(d.ui_flags, 0);
    EXPECT_EQ(d.ui_width, 0);
    EXPECT_EQ(d.ui_height, 0);
    if (e.type == PF_Param_POPUP) {
      EXPECT_EQ(d.u.pd.value, 1);
      EXPECT_EQ(d.u.pd.dephault, 1);
      EXPECT_EQ(d.u.pd.num_choices, 2);
      EXPECT_STREQ(d.u.pd.u.namesptr, "Color|Alpha");
    } else if (e.type == PF_Param_FLOAT_SLIDER) {
      const PF_FloatSliderDef& s = d.u.fs_d;
      EXPECT_EQ(s.value, double(e.dephault));
      EXPECT_EQ(s.dephault, e.dephault);
      EXPECT_EQ(s.valid_min, e.validMin);
      EXPECT_EQ(s.valid_max, e.validMax);
      EXPECT_EQ(s.slider_min, e.sliderMin);
      EXPECT_EQ(s.slider_max, e.sliderMax);
      EXPECT_EQ(s.precision, 2);
      EXPECT_EQ(s.display_flags, e.display);
      EXPECT_EQ(s.fs_flags, 0u);
      EXPECT_EQ(s.phase, 0.0);
      EXPECT_EQ(s.useExponent, 0);
      EXPECT_EQ(s.exponent, 0.0f);
      uint32_t bits;
      std::memcpy(&bits, &s.curve_tolerance, sizeof(bits));
      EXPECT_EQ(bits, 0x3D4CCCCDu);
    } else {
      // Group starts and ends carry nothing in their value fields.
      const unsigned char* raw = reinterpret_cast<const unsigned char*>(&d.u);
      EXPECT_EQ(std::count(raw, raw + sizeof(d.u), 0), static_cast<long>(sizeof(d.u)));
    }
  }
}

TEST_F(EntryTest, RefusedFifthParameterStopsSetupWithItsCode) {
  host().FailCall("add_param", 5, PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(host().ParamsSetup(), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(host().Count("add_param"), 5);
  EXPECT_EQ(host().DeclaredParams().size(), 4u);
  EXPECT_EQ(host().lastOut().num_params, 0);
}

TEST_F(EntryTest, UpdateParamsUIHidesTheDebugGroupAndDisposesEveryReference) {
  for (int round = 0; round < 2; ++round) {
    host().ClearCalls();
    ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
    std::vector<std::string> expected = {"AEGP_GetNewEffectForEffect"};
    for (int index = 8; index <= 13; ++index) {
      const std::string i = "index " + std::to_string(index);
      expected.push_back("AEGP_GetNewEffectStreamByIndex " + i);
      expected.push_back("AEGP_SetDynamicStreamFlag " + i + " flag 2 undoable 0 set 1");
      expected.push_back("AEGP_DisposeStream " + i);
    }
    expected.push_back("AEGP_DisposeEffect");
    std::vector<std::string> aegp;
    for (const std::string& n : Names(host().Calls()))
      if (n.rfind("AEGP_", 0) == 0) aegp.push_back(n);
    EXPECT_EQ(aegp, expected);
    // Each suite once, released in table order.
    std::vector<std::string> releases = Names(host().Calls(), "ReleaseSuite");
    EXPECT_EQ(releases, (std::vector<std::string>{
                            "ReleaseSuite AEGP Stream Suite 7",
                            "ReleaseSuite AEGP Dynamic Stream Suite 2",
                            "ReleaseSuite AEGP PF Interface Suite 1",
                            "ReleaseSuite AEGP Effect Suite 2",
                        }));
    EXPECT_EQ(host().OutstandingSuites(), 0);
    EXPECT_EQ(host().OutstandingStreams(), 0);
    EXPECT_EQ(host().OutstandingEffects(), 0);
  }
}

TEST_F(EntryTest, StreamFailureStopsHidingButStillDisposesTheEffect) {
  host().FailCall("AEGP_GetNewEffectStreamByIndex", 1, 513, "index 10");
  host().FailCall("AEGP_DisposeEffect", 1, 514);
  EXPECT_EQ(host().UpdateParamsUI(), 513);
  EXPECT_EQ(host().Count("AEGP_GetNewEffectStreamByIndex"), 3);
  EXPECT_EQ(host().Count("AEGP_SetDynamicStreamFlag"), 2);
  EXPECT_EQ(host().Count("AEGP_DisposeEffect"), 1);
  EXPECT_EQ(host().OutstandingEffects(), 0);
  EXPECT_EQ(host().OutstandingSuites(), 0);
}

TEST_F(EntryTest, FailedHideStillDisposesItsStream) {
  host().FailCall("AEGP_SetDynamicStreamFlag", 1, 515, "index 9");
  EXPECT_EQ(host().UpdateParamsUI(), 515);
  EXPECT_EQ(host().Count("AEGP_GetNewEffectStreamByIndex"), 2);
  EXPECT_EQ(host().OutstandingStreams(), 0);
  EXPECT_EQ(host().OutstandingEffects(), 0);
}

TEST_F(EntryTest, DisposalErrorIsReturnedWhenNothingFailedBefore) {
  host().FailCall("AEGP_DisposeEffect", 1, 514);
  EXPECT_EQ(host().UpdateParamsUI(), 514);
  EXPECT_EQ(host().Count("AEGP_SetDynamicStreamFlag"), 6);
}

}  // namespace
