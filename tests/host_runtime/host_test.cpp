// The Host as the plug-in sees it: suites, callbacks, handles, parameters, smart rendering, and
// the tests' call record and fault injection over them, driven through the stand-in plug-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"
#include "host_runtime/testing/instrumented_host.h"
#include "tests/host_runtime/fake_effect.h"

namespace {

using host_runtime::Host;
using host_runtime::testing::InstrumentedHost;
using host_runtime::World;
using Body = std::function<void(PF_InData*)>;

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    module_ = host_runtime::PluginModule::Load(FAKE_EFFECT_PATH, &error);
    ASSERT_NE(module_, nullptr) << error;
    host_.reset(new InstrumentedHost(module_->entry()));
  }
  InstrumentedHost& host() { return *host_; }

  // Runs `body` inside a command, with the PF_InData the host sent.
  void InCommand(Body body) {
    fake::Probe probe{[](PF_InData* in, PF_OutData*, void* context) {
                        (*static_cast<Body*>(context))(in);
                      },
                      &body};
    ASSERT_EQ(host().Send(fake::kProbeCmd, &probe), PF_Err_NONE);
  }

  std::unique_ptr<host_runtime::PluginModule> module_;
  std::unique_ptr<InstrumentedHost> host_;
};

SPErr Acquire(PF_InData* in, const char* name, int version, const void** table) {
  return in->pica_basicP->AcquireSuite(name, version, table);
}

TEST_F(HostTest, ServesTheSixSuitesWithTheirTablesAndRefusesOthers) {
  InCommand([&](PF_InData* in) {
    const void* t[6] = {};
    ASSERT_EQ(Acquire(in, "PF ANSI Suite", 1, &t[0]), 0);
    ASSERT_EQ(Acquire(in, "PF Handle Suite", 2, &t[1]), 0);
    ASSERT_EQ(Acquire(in, "AEGP PF Interface Suite", 1, &t[2]), 0);
    ASSERT_EQ(Acquire(in, "AEGP Stream Suite", 7, &t[3]), 0);
    ASSERT_EQ(Acquire(in, "AEGP Dynamic Stream Suite", 2, &t[4]), 0);
    ASSERT_EQ(Acquire(in, "AEGP Effect Suite", 2, &t[5]), 0);
    auto ansi = static_cast<const PF_ANSICallbacksSuite1*>(t[0]);
    EXPECT_TRUE(ansi->sprintf && ansi->strcpy);
    auto handles = static_cast<const PF_HandleSuite1*>(t[1]);
    EXPECT_TRUE(handles->host_new_handle && handles->host_lock_handle &&
                handles->host_unlock_handle && handles->host_dispose_handle &&
                handles->host_get_handle_size && handles->host_resize_handle);
    EXPECT_NE(static_cast<const AEGP_PFInterfaceSuite1*>(t[2])->AEGP_GetNewEffectForEffect, nullptr);
    auto streams = static_cast<const AEGP_StreamSuite2*>(t[3]);
    EXPECT_TRUE(streams->AEGP_GetNewEffectStreamByIndex && streams->AEGP_DisposeStream);
    EXPECT_NE(static_cast<const AEGP_DynamicStreamSuite2*>(t[4])->AEGP_SetDynamicStreamFlag, nullptr);
    EXPECT_NE(static_cast<const AEGP_EffectSuite2*>(t[5])->AEGP_DisposeEffect, nullptr);
    EXPECT_EQ(host().OutstandingSuites(), 6);

    for (auto unknown : {std::make_pair("PF ANSI Suite", 2), std::make_pair("AEGP Stream Suite", 10),
                         std::make_pair("No Such Suite", 1)}) {
      const void* table = &t;
      EXPECT_EQ(Acquire(in, unknown.first, unknown.second, &table), host_runtime::kSuiteNotFoundError);
      EXPECT_EQ(table, nullptr);
    }
    in->pica_basicP->ReleaseSuite("AEGP Stream Suite", 7);
    EXPECT_EQ(host().OutstandingSuites("AEGP Stream Suite 7"), 0);
    EXPECT_EQ(host().OutstandingSuites(), 5);
    EXPECT_EQ(host().BadCalls(), 0);
    in->pica_basicP->ReleaseSuite("AEGP Stream Suite", 7);  // not held any more
    EXPECT_EQ(host().BadCalls(), 1);
  });
}

TEST_F(HostTest, AcquisitionFaultsHitOnlyTheChosenAcquisition) {
  const struct {
    const char* what;
    int occurrence;
    const char* detail;
    bool nullTable;
    SPErr expected[3];  // for ANSI, Handle, ANSI in that order
  } cases[] = {
      {"second acquisition", 2, "", false, {0, 77, 0}},
      {"handle suite, null table", 1, "PF Handle Suite 2", true, {0, 0, 0}},
      {"every ANSI acquisition", 0, "PF ANSI Suite 1", false, {77, 0, 77}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    host().FailCall("AcquireSuite", c.occurrence, 77, c.detail, c.nullTable);
    InCommand([&](PF_InData* in) {
      const char* names[3] = {"PF ANSI Suite", "PF Handle Suite", "PF ANSI Suite"};
      const int versions[3] = {1, 2, 1};
      int held = 0;
      for (int i = 0; i < 3; ++i) {
        const void* table = nullptr;
        EXPECT_EQ(Acquire(in, names[i], versions[i], &table), c.expected[i]) << i;
        const bool failed = c.expected[i] != 0 || (c.nullTable && i == 1);
        EXPECT_EQ(table == nullptr, failed) << i;
        held += !failed;
      }
      EXPECT_EQ(host().OutstandingSuites(), held);
    });
    EXPECT_EQ(host().InjectedFailures(), c.occurrence == 0 ? 2 : 1);
  }
}

TEST_F(HostTest, CallbackFaultsFireExactlyOnceOnTheChosenCall) {
  ASSERT_EQ(host().ParamsSetup(), PF_Err_NONE);
  using Attempt = std::function<PF_Err(PF_InData*)>;
  const struct {
    const char* name;
    Attempt attempt;
  } cases[] = {
      {"add_param", [](PF_InData* in) {
         PF_ParamDef def{};
         def.param_type = PF_Param_GROUP_END;
         return in->inter.add_param(in->effect_ref, -1, &def);
       }},
      {"checkout_param", [](PF_InData* in) {
         PF_ParamDef def{};
         PF_Err err = in->inter.checkout_param(in->effect_ref, 1, 0, 1, 24, &def);
         in->inter.checkin_param(in->effect_ref, &def);
         return err;
       }},
      {"checkin_param", [](PF_InData* in) {
         PF_ParamDef def{};
         in->inter.checkout_param(in->effect_ref, 2, 0, 1, 24, &def);
         return in->inter.checkin_param(in->effect_ref, &def);
       }},
      {"host_new_handle", [](PF_InData* in) {
         PF_Handle h = in->utils->host_new_handle(8);
         in->utils->host_dispose_handle(h);
         return h ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY;
       }},
      {"host_lock_handle", [](PF_InData* in) {
         PF_Handle h = in->utils->host_new_handle(8);
         void* block = in->utils->host_lock_handle(h);
         in->utils->host_dispose_handle(h);
         return block ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY;
       }},
      {"fill", [](PF_InData* in) {
         World w(2, 2, 8);
         return in->utils->fill(in->effect_ref, nullptr, nullptr, w.get());
       }},
      {"AEGP_GetNewEffectForEffect", [](PF_InData* in) {
         const void* t = nullptr;
         Acquire(in, "AEGP PF Interface Suite", 1, &t);
         AEGP_EffectRefH effect = nullptr;
         PF_Err err = static_cast<const AEGP_PFInterfaceSuite1*>(t)->AEGP_GetNewEffectForEffect(
             0, in->effect_ref, &effect);
         Acquire(in, "AEGP Effect Suite", 2, &t);
         if (effect) static_cast<const AEGP_EffectSuite2*>(t)->AEGP_DisposeEffect(effect);
         return err;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = host().InjectedFailures();
    const bool nullResult = std::strncmp(c.name, "host_", 5) == 0;
    host().FailCall(c.name, 3, 599);
    InCommand([&](PF_InData* in) {
      for (int call = 1; call <= 4; ++call) {
        const PF_Err expected = call != 3 ? 0 : nullResult ? PF_Err_OUT_OF_MEMORY : 599;
        EXPECT_EQ(c.attempt(in), expected) << "call " << call;
      }
    });
    EXPECT_EQ(host().InjectedFailures(), before + 1);
    EXPECT_EQ(host().OutstandingParams(), 0);
    EXPECT_EQ(host().OutstandingEffects(), 0);
    EXPECT_EQ(host().LiveHandles(), 0);
  }
  EXPECT_EQ(host().BadCalls(), 0);
}

// A block stays the host's through every reallocation, a failed one included: only the block
// realloc gives back is known afterwards.
TEST_F(HostTest, ReallocatedBlocksStayKnownAndFreeable) {
  InCommand([&](PF_InData* in) {
    const SPBasicSuite* basic = in->pica_basicP;
    void* block = nullptr;
    ASSERT_EQ(basic->ReallocateBlock(nullptr, 16, &block), 0);
#ifndef __SANITIZE_ADDRESS__  // whose allocator stops the process on such a size
    void* failed = &failed;
    EXPECT_EQ(basic->ReallocateBlock(block, SIZE_MAX / 2, &failed), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(failed, &failed);
#endif
    void* grown = nullptr;
    ASSERT_EQ(basic->ReallocateBlock(block, 1 << 20, &grown), 0);
    EXPECT_EQ(basic->FreeBlock(grown), 0);
  });
  EXPECT_EQ(host().BadCalls(), 0);
}

// Throws what `toss` throws from Replace for calls named `name`, and keeps the texts of the
// "exception" calls it is told of.
class ThrowingObserver : public host_runtime::CallObserver {
 public:
  ThrowingObserver(std::string name, std::function<void()> toss)
      : name_(std::move(name)), toss_(std::move(toss)) {}
  bool Replace(const host_runtime::CallInfo& call, PF_Err*) override {
    if (call.name == name_) toss_();
    return false;
  }
  void Returned(const host_runtime::CallInfo& call, PF_Err, bool) override {
    if (std::string(call.name) == "exception") thrown.push_back(call.detail);
  }
  std::vector<std::string> thrown;

 private:
  std::string name_;
  std::function<void()> toss_;
};

// Nothing a callback throws (here, through its observer) unwinds into the plug-in, which is C to
// the host: the callback fails the way its interface fails, and the text reaches the observer.
TEST_F(HostTest, AnExceptionInACallbackBecomesItsFailureAndReachesTheObserver) {
  const auto outOfMemory = [] { throw std::bad_alloc(); };
  const auto broken = [] { throw std::runtime_error("the observer broke"); };
  const struct {
    const char* name;
    std::function<void()> toss;
    const char* text;
    std::function<bool(PF_InData*)> failedAsItsInterfaceFails;
  } cases[] = {
      {"AllocateBlock", outOfMemory, "out of memory",
       [](PF_InData* in) {
         void* block = &block;
         return in->pica_basicP->AllocateBlock(16, &block) == PF_Err_OUT_OF_MEMORY &&
                block == nullptr;
       }},
      {"host_new_handle", broken, "the observer broke",
       [](PF_InData* in) { return in->utils->host_new_handle(16) == nullptr; }},
      {"add_param", broken, "the observer broke",
       [](PF_InData* in) {
         PF_ParamDef def{};
         def.param_type = PF_Param_GROUP_END;
         return in->inter.add_param(in->effect_ref, -1, &def) == PF_Err_INTERNAL_STRUCT_DAMAGED;
       }},
      {"sprintf", outOfMemory, "out of memory",
       [](PF_InData* in) {
         char text[PF_MAX_EFFECT_MSG_LEN + 1];
         return in->utils->ansi.sprintf(text, "text") == -1;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ThrowingObserver observer(c.name, c.toss);
    host().SetObserver(&observer);
    InCommand([&](PF_InData* in) { EXPECT_TRUE(c.failedAsItsInterfaceFails(in)); });
    host().SetObserver(nullptr);
    EXPECT_EQ(observer.thrown, std::vector<std::string>{c.text});
    EXPECT_EQ(host().LiveHandles(), 0);
  }
}

TEST_F(HostTest, FaultDetailPicksIndexWithoutMatchingLongerNumbers) {
  host().FailCall("AEGP_GetNewEffectStreamByIndex", 1, 55, "index 1");
  InCommand([&](PF_InData* in) {
    const void* t = nullptr;
    Acquire(in, "AEGP PF Interface Suite", 1, &t);
    AEGP_EffectRefH effect = nullptr;
    ASSERT_EQ(static_cast<const AEGP_PFInterfaceSuite1*>(t)->AEGP_GetNewEffectForEffect(
                  0, in->effect_ref, &effect), 0);
    Acquire(in, "AEGP Stream Suite", 7, &t);
    auto streams = static_cast<const AEGP_StreamSuite2*>(t);
    AEGP_StreamRefH s10 = nullptr, s1 = nullptr, again = nullptr;
    EXPECT_EQ(streams->AEGP_GetNewEffectStreamByIndex(0, effect, 10, &s10), 0);
    EXPECT_EQ(streams->AEGP_GetNewEffectStreamByIndex(0, effect, 1, &s1), 55);
    EXPECT_EQ(s1, nullptr);
    EXPECT_EQ(streams->AEGP_GetNewEffectStreamByIndex(0, effect, 1, &again), 0);
    EXPECT_EQ(host().OutstandingStreams(), 2);

    Acquire(in, "AEGP Dynamic Stream Suite", 2, &t);
    EXPECT_EQ(static_cast<const AEGP_DynamicStreamSuite2*>(t)->AEGP_SetDynamicStreamFlag(
                  s10, AEGP_DynStreamFlag_HIDDEN, 0, 1), 0);
    host().FailCall("AEGP_DisposeStream", 1, 66);
    EXPECT_EQ(streams->AEGP_DisposeStream(s10), 66);  // reported, yet released
    EXPECT_EQ(streams->AEGP_DisposeStream(again), 0);
    EXPECT_EQ(host().OutstandingStreams(), 0);
    EXPECT_EQ(streams->AEGP_DisposeStream(again), PF_Err_BAD_CALLBACK_PARAM);  // twice
    Acquire(in, "AEGP Effect Suite", 2, &t);
    EXPECT_EQ(static_cast<const AEGP_EffectSuite2*>(t)->AEGP_DisposeEffect(effect), 0);
  });
  EXPECT_EQ(host().Count("AEGP_SetDynamicStreamFlag", "index 10 flag 2 undoable 0 set 1"), 1);
  EXPECT_EQ(host().OutstandingEffects(), 0);
  EXPECT_EQ(host().BadCalls(), 1);
}

TEST_F(HostTest, FillWithoutColourOrRectClearsEveryPixelButNoPadding) {
  for (int depth : {8, 16, 32}) {
    for (int padding : {0, 4, 13}) {
      SCOPED_TRACE(depth * 100 + padding);
      World w(5, 3, depth, padding);
      w.FillAll(1, 2, 3, 4);
      InCommand([&](PF_InData* in) {
        EXPECT_EQ(in->utils->fill(in->effect_ref, nullptr, nullptr, w.get()), 0);
      });
      EXPECT_TRUE(w.AllZero());
      EXPECT_TRUE(w.PaddingIntact());
      EXPECT_TRUE(w.GuardsIntact());
    }
  }
}

TEST_F(HostTest, FillWithColourAndRectPaintsOnlyTheClippedRect) {
  World w8(4, 3, 8, 3), w32(4, 3, 32);
  const PF_Pixel colour{255, 51, 102, 0};
  const PF_Rect rect{-2, 1, 3, 99};
  InCommand([&](PF_InData* in) {
    EXPECT_EQ(in->utils->fill(in->effect_ref, &colour, &rect, w8.get()), 0);
    EXPECT_EQ(in->utils->fill(in->effect_ref, &colour, &rect, w32.get()), 0);
  });
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool inside = x < 3 && y >= 1;
      EXPECT_EQ(w8.channel(x, y, 1), inside ? 51.f : 0.f) << x << "," << y;
      EXPECT_FLOAT_EQ(w32.channel(x, y, 2), inside ? 0.4f : 0.f) << x << "," << y;
    }
  EXPECT_TRUE(w8.PaddingIntact());
}

TEST_F(HostTest, FillRefusesAWorldTheHostDoesNotOwn) {
  std::vector<uint8_t> buffer(64, 0xEE);
  PF_EffectWorld stray{};
  stray.data = buffer.data();
  stray.width = stray.height = 4;
  stray.rowbytes = 16;
  InCommand([&](PF_InData* in) {
    EXPECT_EQ(in->utils->fill(in->effect_ref, nullptr, nullptr, &stray), PF_Err_BAD_CALLBACK_PARAM);
  });
  EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xEE), 64);
  EXPECT_EQ(host().BadCalls(), 1);
}

TEST_F(HostTest, HandlesKeepContentsAcrossResizeAndGuardTheirEnds) {
  InCommand([&](PF_InData* in) {
    PF_UtilCallbacks* u = in->utils;
    PF_Handle h = u->host_new_handle(16);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(host().LiveHandles(), 1);
    auto* block = static_cast<uint8_t*>(u->host_lock_handle(h));
    ASSERT_EQ(block, *h);
    for (int i = 0; i < 16; ++i) block[i] = uint8_t(i + 1);
    EXPECT_EQ(u->host_get_handle_size(h), 16u);
    ASSERT_EQ(u->host_resize_handle(64, &h), 0);
    EXPECT_EQ(u->host_get_handle_size(h), 64u);
    block = static_cast<uint8_t*>(*h);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], i + 1);
    EXPECT_EQ(block[40], 0);
    EXPECT_TRUE(host().HandleGuardsIntact());
    block[64] = 1;  // one past the end
    EXPECT_FALSE(host().HandleGuardsIntact());
    u->host_unlock_handle(h);
    u->host_dispose_handle(h);
    EXPECT_EQ(host().LiveHandles(), 0);
    void* notAHandle = nullptr;
    u->host_dispose_handle(&notAHandle);
    EXPECT_EQ(host().BadCalls(), 1);
  });
}

TEST_F(HostTest, CheckoutGivesDeclaredDefaultsOrTheValuesSet) {
  ASSERT_EQ(host().ParamsSetup(), PF_Err_NONE);
  EXPECT_EQ(host().numParams(), 3);
  ASSERT_EQ(host().DeclaredParams().size(), 2u);
  EXPECT_STREQ(host().DeclaredParams()[1].name, "Mode");
  host().SetTime(5, 2, 30);
  const struct {
    int index;
    bool set;
    double value;
    PF_Err err;
    double expected;
  } cases[] = {{1, false, 0, 0, 2.0}, {1, true, 0.25, 0, 0.25}, {2, false, 0, 0, 1},
               {2, true, 2.6, 0, 3},  {0, false, 0, PF_Err_INVALID_INDEX, 0},
               {3, false, 0, PF_Err_INVALID_INDEX, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index * 10 + c.set);
    host().ClearParamValues();
    if (c.set) host().SetParamValue(c.index, c.value);
    InCommand([&](PF_InData* in) {
      PF_ParamDef def{};
      EXPECT_EQ(in->inter.checkout_param(in->effect_ref, c.index, in->current_time,
                                         in->time_step, in->time_scale, &def), c.err);
      EXPECT_EQ(host().OutstandingParams(), c.err ? 0 : 1);
      if (!c.err) {
        const double got = def.param_type == PF_Param_POPUP ? def.u.pd.value : def.u.fs_d.value;
        EXPECT_EQ(got, c.expected);
      }
      EXPECT_EQ(in->inter.checkin_param(in->effect_ref, &def), 0);
      EXPECT_EQ(host().OutstandingParams(), 0);
    });
  }
  EXPECT_EQ(host().Calls().back().name, "checkin_param");
  bool timed = false;
  for (const host_runtime::testing::Call& call : host().Calls())
    timed |= call.name == "checkout_param" && call.args == "time 5 step 2 scale 30";
  EXPECT_TRUE(timed);
}

TEST_F(HostTest, ParameterCallbacksOutsideAnyCommandAreRefused) {
  ASSERT_EQ(host().ParamsSetup(), PF_Err_NONE);
  PF_InData saved{};
  InCommand([&](PF_InData* in) { saved = *in; });
  using Attempt = std::function<PF_Err(PF_InData*, PF_ParamDef*)>;
  const struct {
    const char* name;
    Attempt attempt;
  } cases[] = {
      {"checkout_param", [](PF_InData* in, PF_ParamDef* def) {
         return in->inter.checkout_param(in->effect_ref, 1, 0, 1, 24, def);
       }},
      {"checkin_param", [](PF_InData* in, PF_ParamDef* def) {
         return in->inter.checkin_param(in->effect_ref, def);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = host().BadCalls();
    PF_ParamDef def{};
    EXPECT_EQ(c.attempt(&saved, &def), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host().BadCalls(), before + 1);
    EXPECT_EQ(host().OutstandingParams(), 0);
  }
}

// A plug-in that never disposes of its references leaves the host to free them: the leak
// checker of the sanitizer run sees any it does not.
TEST_F(HostTest, ReferencesThePlugInLeftAreFreedWithTheHost) {
  {
    InstrumentedHost host(module_->entry());
    fake::Probe probe{[](PF_InData* in, PF_OutData*, void*) {
                        const void* table[2] = {};
                        Acquire(in, "AEGP PF Interface Suite", 1, &table[0]);
                        Acquire(in, "AEGP Stream Suite", 7, &table[1]);
                        AEGP_EffectRefH effect = nullptr;
                        AEGP_StreamRefH stream = nullptr;
                        static_cast<const AEGP_PFInterfaceSuite1*>(table[0])
                            ->AEGP_GetNewEffectForEffect(0, in->effect_ref, &effect);
                        static_cast<const AEGP_StreamSuite2*>(table[1])
                            ->AEGP_GetNewEffectStreamByIndex(0, effect, 1, &stream);
                      },
                      nullptr};
    ASSERT_EQ(host.Send(fake::kProbeCmd, &probe), PF_Err_NONE);
    EXPECT_EQ(host.OutstandingEffects(), 1);
    EXPECT_EQ(host.OutstandingStreams(), 1);
  }
}

// With several hosts alive, a suite call outside any command cannot be told apart: it is refused
// rather than charged to one of them.
TEST_F(HostTest, SuiteCallsOutsideAnyCommandReachNoHost) {
  PF_InData saved{};
  InCommand([&](PF_InData* in) { saved = *in; });
  InstrumentedHost newer(module_->entry());
  const void* table = nullptr;
  EXPECT_EQ(Acquire(&saved, "PF ANSI Suite", 1, &table), host_runtime::kSuiteNotFoundError);
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(host().OutstandingSuites() + newer.OutstandingSuites(), 0);
}

TEST_F(HostTest, PreRenderClipsTheRequestToTheLayer) {
  const struct {
    PF_LRect request, result;
  } cases[] = {{{-5, 2, 30, 40}, {0, 2, 20, 10}}, {{3, 3, 6, 6}, {3, 3, 6, 6}},
               {{25, 0, 40, 5}, {0, 0, 0, 0}}};
  for (const auto& c : cases) {
    host_runtime::PreRenderSetup setup;
    setup.request.rect = c.request;
    setup.request.field = 2;
    setup.request.preserve_rgb_of_zero_alpha = 1;
    setup.layerWidth = 20;
    setup.layerHeight = 10;
    PF_PreRenderOutput out{};
    ASSERT_EQ(host().SmartPreRender(setup, &out), PF_Err_NONE);
    EXPECT_EQ(std::memcmp(&out.result_rect, &c.result, sizeof(PF_LRect)), 0);
    const PF_LRect layer{0, 0, 20, 10};
    EXPECT_EQ(std::memcmp(&out.max_result_rect, &layer, sizeof(PF_LRect)), 0);
    EXPECT_EQ(host().LastLayerRequest().field, 2);
    EXPECT_EQ(host().LastLayerRequest().preserve_rgb_of_zero_alpha, 1);
  }
  EXPECT_EQ(host().Count("checkout_layer", "index 0 id 0"), 3);
  host().FailCall("checkout_layer", 1, PF_Interrupt_CANCEL);
  PF_PreRenderOutput untouched{};
  EXPECT_EQ(host().SmartPreRender({0, 0, 4, 4}, 8, 8, &untouched), PF_Interrupt_CANCEL);
  EXPECT_EQ(untouched.result_rect.right, 0);
}

TEST_F(HostTest, SmartRenderHandsOutTheWorldsItWasGiven) {
  ASSERT_EQ(host().ParamsSetup(), PF_Err_NONE);
  World in8(3, 2, 8, 5), out8(3, 2, 8, 7);
  in8.FillAll(100, 10, 20, 30);
  ASSERT_EQ(host().SmartRender(&in8, &out8, 8), PF_Err_NONE);
  EXPECT_EQ(out8.channel(2, 1, 0), 200.f);
  EXPECT_EQ(out8.channel(0, 0, 3), 60.f);
  EXPECT_TRUE(out8.PaddingIntact());

  host().SetParamValue(1, 0.5);
  World in32(2, 2, 32), out32(2, 2, 32);
  in32.FillAll(3, 1, 1, 1);
  ASSERT_EQ(host().SmartRender(&in32, &out32, 32), PF_Err_NONE);
  EXPECT_EQ(out32.channel(1, 1, 0), 1.5f);

  out8.FillAll(9, 9, 9, 9);
  EXPECT_EQ(host().SmartRender(nullptr, &out8, 8), PF_Err_NONE);  // layer without pixels
  EXPECT_TRUE(out8.AllZero());
  EXPECT_EQ(host().SmartRender(&in8, nullptr, 8), PF_Err_NONE);  // no output world
  host().FailCall("checkout_output", 1, 517);
  EXPECT_EQ(host().SmartRender(&in8, &out8, 8), 517);
  EXPECT_EQ(host().OutstandingParams(), 0);
}

TEST_F(HostTest, RendersFromSeveralThreadsAtOnce) {
  ASSERT_EQ(host().ParamsSetup(), PF_Err_NONE);
  host().ClearCalls();
  constexpr int kThreads = 4, kFrames = 8;
  std::vector<std::thread> threads;
  std::vector<int> wrong(kThreads, 0);
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int f = 0; f < kFrames; ++f) {
        World in(6 + t, 4, 8, t), out(6 + t, 4, 8);
        in.FillAll(float(10 * t + f), 1, 2, 3);
        if (host().SmartRender(&in, &out, 8) != PF_Err_NONE ||
            out.channel(5 + t, 3, 0) != float(2 * (10 * t + f)) || !out.GuardsIntact())
          ++wrong[t];
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
  EXPECT_EQ(host().Count("checkout_output"), kThreads * kFrames);
  EXPECT_EQ(host().Count("checkout_param"), host().Count("checkin_param"));
  EXPECT_EQ(host().BadCalls(), 0);
}

TEST_F(HostTest, GlobalSetupKeepsItsResultsAndSetdownFreesTheHandle) {
  ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
  EXPECT_EQ(host().myVersion(), fake::kVersion);
  EXPECT_EQ(host().outFlags(), fake::kOutFlags);
  EXPECT_EQ(host().outFlags2(), fake::kOutFlags2);
  ASSERT_NE(host().globalData(), nullptr);
  InCommand([&](PF_InData* in) { EXPECT_EQ(in->global_data, host().globalData()); });
  EXPECT_EQ(host().LiveHandles(), 1);
  EXPECT_EQ(host().GlobalSetdown(), PF_Err_NONE);
  EXPECT_EQ(host().LiveHandles(), 0);
  EXPECT_EQ(host().globalData(), nullptr);
  host().FailCall("host_new_handle", 1, 0);
  EXPECT_EQ(host().GlobalSetup(), PF_Err_OUT_OF_MEMORY);
}

TEST_F(HostTest, EachHostHasItsOwnEffectRefAndRefusesStrangeOnes) {
  Host other(module_->entry());
  EXPECT_NE(host().effectRef(), other.effectRef());
  InCommand([&](PF_InData* in) {
    EXPECT_EQ(in->effect_ref, host().effectRef());
    int local = 0;
    PF_ParamDef def{};
    EXPECT_EQ(in->inter.add_param(reinterpret_cast<PF_ProgPtr>(&local), -1, &def),
              PF_Err_BAD_CALLBACK_PARAM);
  });
  EXPECT_EQ(host().BadCalls(), 1);
  EXPECT_TRUE(host().DeclaredParams().empty());
}

TEST_F(HostTest, CanSendNoBasicSuite) {
  host().SetNullBasicSuite(true);
  InCommand([](PF_InData* in) { EXPECT_EQ(in->pica_basicP, nullptr); });
  host().SetNullBasicSuite(false);
  InCommand([](PF_InData* in) { EXPECT_NE(in->pica_basicP, nullptr); });
}

TEST_F(HostTest, RecordsEveryCallInOrderWithItsResult) {
  std::string text;
  ASSERT_EQ(host().About(&text), PF_Err_NONE);
  EXPECT_EQ(host().Names(), (std::vector<std::string>{"AcquireSuite PF ANSI Suite 1",
                                                      "sprintf Fake 7",
                                                      "ReleaseSuite PF ANSI Suite 1"}));
  host().ClearCalls();
  EXPECT_TRUE(host().Calls().empty());
  host().FailAcquisition(1, 9);
  EXPECT_EQ(host().About(&text), 516);
  ASSERT_EQ(host().Calls().size(), 1u);
  EXPECT_EQ(host().Calls()[0].result, 9);
  EXPECT_TRUE(host().Calls()[0].injected);
  EXPECT_EQ(host().OutstandingSuites(), 0);
}

}  // namespace
