#include "render/thread_render_data.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>

#include "render/frame_render.h"
#include "render/smart_render.h"
#include "tests/render/render_unit_support.h"
#include "tests/support/capture_stdout.h"

namespace {

class ThreadRenderDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gate_ = new GlobalGate(true); }
  static void TearDownTestSuite() {
    delete gate_;
    gate_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(gate_->HasRootContext()) << "no OpenGL 3.2 core context on this machine";
    baseline_ = LiveThreadRenderData();
  }

  static GlobalGate* gate_;
  int baseline_ = 0;
};
GlobalGate* ThreadRenderDataTest::gate_ = nullptr;

// Both of the thread's programs exist in the context current on it.
bool ProgramsLiveInCurrentContext(const ThreadRenderData& data) {
  return data.swizzleProgram != 0 && data.fxaaProgram != 0 &&
         data.swizzleProgram != data.fxaaProgram && glIsProgram(data.swizzleProgram) == GL_TRUE &&
         glIsProgram(data.fxaaProgram) == GL_TRUE;
}

TEST_F(ThreadRenderDataTest, FirstFrameCreatesContextAndProgramsAndTheSecondCreatesNothing) {
  OnFreshThread([&] {
    EXPECT_EQ(local_render_data.get(), nullptr);
    PF_InData in = InDataFor(gate_->handle());
    {
      std::lock_guard<std::recursive_mutex> lock(RenderMutex);
      EnsureThreadRenderData(&in);
    }
    ThreadRenderData* first = local_render_data.get();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(IsGlContextValid(first->context));
    EXPECT_TRUE(AnyContextCurrent());
    EXPECT_TRUE(ProgramsLiveInCurrentContext(*first));
    EXPECT_EQ(LiveThreadRenderData(), baseline_ + 1);
    const ThreadRenderData copy = *first;

    // Another frame on this thread, after something else left no context current.
    MakeGlContextCurrent(nullptr);
    {
      std::lock_guard<std::recursive_mutex> lock(RenderMutex);
      EnsureThreadRenderData(&in);
    }
    ThreadRenderData* second = local_render_data.get();
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->context, copy.context);
    EXPECT_EQ(second->swizzleProgram, copy.swizzleProgram);
    EXPECT_EQ(second->fxaaProgram, copy.fxaaProgram);
    EXPECT_EQ(LiveThreadRenderData(), baseline_ + 1);
    EXPECT_TRUE(ProgramsLiveInCurrentContext(*second)) << "the thread's context is current again";
  });
  EXPECT_EQ(LiveThreadRenderData(), baseline_);
}

TEST_F(ThreadRenderDataTest, TwoThreadsAtOnceGetTheirOwnContextsAndPrograms) {
  std::promise<void> go;
  std::shared_future<void> start = go.get_future().share();
  std::promise<ThreadRenderData> made[2];
  std::promise<void> finish;
  std::shared_future<void> end = finish.get_future().share();
  bool programsLive[2] = {false, false};

  auto renderThread = [&](int i) {
    start.wait();
    PF_InData in = InDataFor(gate_->handle());
    {
      std::lock_guard<std::recursive_mutex> lock(RenderMutex);
      EnsureThreadRenderData(&in);
    }
    ThreadRenderData* data = local_render_data.get();
    programsLive[i] = data != nullptr && ProgramsLiveInCurrentContext(*data);
    made[i].set_value(data ? *data : ThreadRenderData{});
    end.wait();  // stay alive until both records were seen
  };
  std::thread a(renderThread, 0), b(renderThread, 1);
  go.set_value();
  const ThreadRenderData first = made[0].get_future().get();
  const ThreadRenderData second = made[1].get_future().get();
  // Both threads are still alive, so their contexts are too.
  EXPECT_EQ(LiveThreadRenderData(), baseline_ + 2);
  EXPECT_TRUE(IsGlContextValid(first.context));
  EXPECT_TRUE(IsGlContextValid(second.context));
  EXPECT_NE(first.context, second.context);
  finish.set_value();
  a.join();
  b.join();

  EXPECT_TRUE(programsLive[0]);
  EXPECT_TRUE(programsLive[1]);
  EXPECT_EQ(LiveThreadRenderData(), baseline_);
}

TEST_F(ThreadRenderDataTest, EndingThreadReleasesItsDataAndALaterThreadBuildsNew) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    OnFreshThread([&] {
      PF_InData in = InDataFor(gate_->handle());
      EnsureThreadRenderData(&in);
      ThreadRenderData* data = local_render_data.get();
      ASSERT_NE(data, nullptr);
      EXPECT_TRUE(ProgramsLiveInCurrentContext(*data));
      EXPECT_EQ(LiveThreadRenderData(), baseline_ + 1);
    });
    EXPECT_EQ(LiveThreadRenderData(), baseline_);
  }
}

TEST_F(ThreadRenderDataTest, ThreadWithoutGateGetsNoRecordAnd512ThenRetries) {
  GlobalGate noRoot(false);
  void* nullBlock = nullptr;
  struct Case {
    const char* what;
    PF_Handle handle;
  };
  const Case cases[] = {{"no global handle", nullptr},
                        {"handle to no global data", &nullBlock},
                        {"global data without a root context", noRoot.handle()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OnFreshThread([&] {
      Pixels input(4, 3, 8, 0, 0xFF), output(4, 3, 8, 0, 0);
      RenderBlock block = BlockFor(&input.world, &output.world, 8);
      PF_InData in = InDataFor(c.handle);
      PF_OutData out{};
      CaptureStdout capture;
      EXPECT_EQ(RenderFrame(&in, &out, &block), PF_Err_INTERNAL_STRUCT_DAMAGED);
      EXPECT_EQ(capture.Finish(), "error on local_render_data.get() err 0 err2 0\n");
      EXPECT_EQ(local_render_data.get(), nullptr);
      EXPECT_EQ(LiveThreadRenderData(), baseline_);
      EXPECT_EQ(output.storage, Pixels(4, 3, 8, 0, 0).storage) << "output untouched";

      // The next frame, once set-up has a root context, tries again.
      PF_InData gated = InDataFor(gate_->handle());
      EXPECT_EQ(RenderFrame(&gated, &out, &block), PF_Err_NONE);
      EXPECT_NE(local_render_data.get(), nullptr);
      EXPECT_EQ(*output.At(3, 2), 0xFF) << "the retried frame rendered";
    });
  }
}

TEST_F(ThreadRenderDataTest, RecordWithoutContextIsRefusedAndNoForeignContextIsUsed) {
  OnFreshThread([&] {
    // A context of someone else's (the host's, say) is current when the frame starts.
    GlContext* foreign = CreateGlContext(nullptr);
    ASSERT_TRUE(IsGlContextValid(foreign));
    ASSERT_TRUE(AnyContextCurrent());
    local_render_data.reset(new ThreadRenderData);  // as after a failed creation

    Pixels input(4, 3, 8, 0, 0xFF), output(4, 3, 8, 0, 0x11);
    RenderBlock block = BlockFor(&input.world, &output.world, 8);
    PF_InData in = InDataFor(gate_->handle());
    PF_OutData out{};
    CaptureStdout capture;
    EXPECT_EQ(RenderFrame(&in, &out, &block), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(capture.Finish(), "error on local_render_data.get() err 0 err2 0\n");
    EXPECT_FALSE(AnyContextCurrent()) << "the foreign context was let go";
    EXPECT_EQ(output.storage, Pixels(4, 3, 8, 0, 0x11).storage);
    EXPECT_EQ(local_render_data.get()->context, nullptr) << "creation is not tried again";

    local_render_data.reset();
    DestroyGlContext(foreign);
    FreeGlContextRecord(foreign);
  });
}

TEST(CreateEffectPrograms, WithoutSlotsOnlyPreparesTheListsAndWithSlotsBuildsBoth) {
  CreateEffectPrograms(nullptr);  // needs no context
  OnFreshThread([] {
    GlContext* context = CreateGlContext(nullptr);
    ASSERT_TRUE(IsGlContextValid(context));
    ShaderProgram pair[3] = {0, 0, 0xDEAD};
    CaptureStdout capture;
    CreateEffectPrograms(pair);
    EXPECT_EQ(capture.Finish(), "") << "both programs build cleanly";
    ThreadRenderData built;
    built.swizzleProgram = pair[0];
    built.fxaaProgram = pair[1];
    EXPECT_TRUE(ProgramsLiveInCurrentContext(built));
    EXPECT_EQ(pair[2], 0xDEADu) << "nothing past the pair is written";
    // The swizzle program samples once; the FXAA program is the one with the tuning uniforms.
    EXPECT_EQ(glGetUniformLocation(pair[0], "span"), -1);
    EXPECT_NE(glGetUniformLocation(pair[1], "span"), -1);
    DeleteShaderProgram(&pair[0]);
    DeleteShaderProgram(&pair[1]);
    DestroyGlContext(context);
    FreeGlContextRecord(context);
  });
}

}  // namespace
