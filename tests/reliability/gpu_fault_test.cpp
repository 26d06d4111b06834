// Frames whose GPU work fails are refused, never delivered blank as a success. A test-only copy
// of the plug-in with its fault points compiled in makes each failure happen on demand: render
// target storage, program building, the context switch, a GL error, and an allocation thrown in
// the middle of a draw. Every refused frame must return its code with its one diagnostic line,
// leave the output cleared and the guards intact, and the next clean frame must equal a normal
// one.
#include <EGL/egl.h>
#include <GL/glew.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "gl/gl_context.h"
#include "gl/gl_fault_hooks.h"
#include "host/effect_entry.h"
#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"
#include "tests/support/capture_stdout.h"

namespace {

using ArmFn = void (*)(int fault, int pass, int times);

// Runs `body` on a new thread (a new render thread of the host's) and waits for it.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

std::string LastLine(const std::string& text) {
  const size_t end = text.find_last_not_of('\n');
  if (end == std::string::npos) return "";
  const size_t start = text.rfind('\n', end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

// An 8-bit frame with edges everywhere, so that a blank output can never pass for a rendered one.
void DrawStripes(host_runtime::World* world) {
  for (int y = 0; y < world->height(); ++y)
    for (int x = 0; x < world->width(); ++x) {
      const bool on = ((x + 2 * y) / 3) % 2 == 0;
      world->setChannel(x, y, 0, 255);
      world->setChannel(x, y, 1, on ? 250 : 10);
      world->setChannel(x, y, 2, on ? 30 : 200);
      world->setChannel(x, y, 3, float((x * 7 + y * 3) % 256));
    }
}

// GL objects of the kinds a frame makes that exist in the current context (programs aside).
int LiveFrameObjects() {
  int live = 0;
  for (GLuint name = 1; name <= 64; ++name)
    live += (glIsTexture(name) == GL_TRUE) + (glIsFramebuffer(name) == GL_TRUE) +
            (glIsBuffer(name) == GL_TRUE) + (glIsVertexArray(name) == GL_TRUE);
  return live;
}

class GpuFaultTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 40, kHeight = 24;

  void SetUp() override {
    std::string error;
    module_ = host_runtime::PluginModule::Load(FXAA_FAULT_PLUGIN_PATH, &error);
    ASSERT_NE(module_, nullptr) << error;
    // The same library again: its fault switch.
    library_ = dlopen(FXAA_FAULT_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library_, nullptr);
    arm_ = reinterpret_cast<ArmFn>(dlsym(library_, "FxaaArmGlFault"));
    ASSERT_NE(arm_, nullptr);
    Disarm();
    host_.reset(new host_runtime::Host(module_->entry()));
    ASSERT_EQ(host_->GlobalSetup(), PF_Err_NONE);
    ASSERT_EQ(host_->ParamsSetup(), PF_Err_NONE);
    // The frame every clean render must give, from a thread of its own.
    OnFreshThread([&] {
      host_runtime::World input(kWidth, kHeight, 8), output(kWidth, kHeight, 8);
      DrawStripes(&input);
      ASSERT_EQ(host_->SmartRender(&input, &output, 8), PF_Err_NONE);
      ASSERT_FALSE(output.AllZero());
      normal_.assign(output.row(0), output.row(0) + size_t(output.rowbytes()) * kHeight);
    });
  }
  void TearDown() override {
    Disarm();
    if (host_) host_->GlobalSetdown();
    host_.reset();
    if (library_ != nullptr) dlclose(library_);
  }

  void Arm(GlFault fault, int pass, int times) { arm_(static_cast<int>(fault), pass, times); }
  void Disarm() { arm_(-1, 0, 0); }

  // Renders the stripes; *stdoutText gets what the plug-in printed.
  PF_Err Render(host_runtime::World* output, std::string* stdoutText = nullptr) {
    host_runtime::World input(kWidth, kHeight, 8);
    DrawStripes(&input);
    CaptureStdout capture;
    const PF_Err err = host_->SmartRender(&input, output, 8);
    const std::string text = capture.Finish();
    if (stdoutText != nullptr) *stdoutText = text;
    return err;
  }

  void ExpectNormalFrame() {
    host_runtime::World output(kWidth, kHeight, 8);
    ASSERT_EQ(Render(&output), PF_Err_NONE);
    EXPECT_TRUE(std::equal(normal_.begin(), normal_.end(), output.row(0)))
        << "the next clean frame is a normal one";
  }

  // The refused frame's result: its code and last line, a cleared output and intact guards.
  void ExpectRefused(PF_Err code, const std::string& line) {
    host_runtime::World output(kWidth, kHeight, 8, /*rowPaddingBytes=*/12);
    output.FillAll(77, 77, 77, 77);
    std::string printed;
    EXPECT_EQ(Render(&output, &printed), code) << printed;
    if (!line.empty()) {
      EXPECT_EQ(LastLine(printed), line) << printed;
    }
    EXPECT_TRUE(output.AllZero()) << "a refused frame is left cleared";
    EXPECT_TRUE(output.GuardsIntact());
    EXPECT_TRUE(output.PaddingIntact());
    EXPECT_EQ(host_->OutstandingSuites(), 0);
    EXPECT_EQ(host_->OutstandingParams(), 0);
  }

  std::unique_ptr<host_runtime::PluginModule> module_;
  void* library_ = nullptr;
  ArmFn arm_ = nullptr;
  std::unique_ptr<host_runtime::Host> host_;
  std::vector<uint8_t> normal_;
};

struct FaultCase {
  const char* name;
  GlFault fault;
  int pass, times;
  bool onFirstFrame;  // armed before the thread's first frame (its record is made then)
  PF_Err code;
  const char* line;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class EachGpuFault : public GpuFaultTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(EachGpuFault, IsRefusedWithItsCodeAndLineAndTheNextFrameIsNormal) {
  const FaultCase& c = GetParam();
  OnFreshThread([&] {
    if (!c.onFirstFrame) ExpectNormalFrame();
    Arm(c.fault, c.pass, c.times);
    ExpectRefused(c.code, c.line);
    Disarm();
    ExpectNormalFrame();
  });
}

// GL_INVALID_VALUE (1281) is what the driver says to the storage the fault asks for; the GL
// error raised after the upload is GL_INVALID_ENUM (1280), read and printed by the swizzle
// pass's buffer check long before the frame's own check at its end.
INSTANTIATE_TEST_SUITE_P(
    Faults, EachGpuFault,
    ::testing::Values(
        FaultCase{"upload_target_storage", GlFault::kTargetStorage, 0, 1, false,
                  PF_Err_OUT_OF_MEMORY, "error on render target err 4 err2 1281"},
        FaultCase{"fxaa_target_storage", GlFault::kTargetStorage, 2, 1, false,
                  PF_Err_OUT_OF_MEMORY, "error on render target err 4 err2 1281"},
        FaultCase{"program_build", GlFault::kProgramBuild, 0, 2, true,
                  PF_Err_INTERNAL_STRUCT_DAMAGED, "error on shader programs err 512 err2 0"},
        FaultCase{"context_switch", GlFault::kContextSwitch, 0, 1, false,
                  PF_Err_INTERNAL_STRUCT_DAMAGED, "error on context switch err 512 err2 0"},
        FaultCase{"gl_error", GlFault::kGlError, 0, 1, false, PF_Err_INTERNAL_STRUCT_DAMAGED,
                  "error on OpenGL err 512 err2 1280"},
        FaultCase{"thrown_allocation", GlFault::kThrow, 0, 1, false, PF_Err_OUT_OF_MEMORY, ""}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(GpuFaultTest, AFailedContextSwitchDrawsNothingInTheContextThatWasCurrent) {
  OnFreshThread([&] {
    ExpectNormalFrame();
    // The host's own context is current when the frame comes.
    GlContext* hostContext = CreateGlContext(nullptr);
    ASSERT_TRUE(IsGlContextValid(hostContext));
    const EGLContext hostHandle = eglGetCurrentContext();
    Arm(GlFault::kContextSwitch, 0, 1);
    host_runtime::World output(kWidth, kHeight, 8);
    std::string printed;
    EXPECT_EQ(Render(&output, &printed), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_NE(printed.find("Cannot Set OpenGL Context\nEGL error: EGL_BAD_DISPLAY (0x3008)\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(eglGetCurrentContext(), hostHandle);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "no GL call ran in it";
    EXPECT_EQ(LiveFrameObjects(), 0) << "nothing was made in it";
    DestroyGlContext(hostContext);
    FreeGlContextRecord(hostContext);
    Disarm();
    ExpectNormalFrame();
  });
}

TEST_F(GpuFaultTest, AnAllocationThrownMidFrameLeaksNoGlObjectOfTheFrame) {
  OnFreshThread([&] {
    // The render leaves the thread's own context current, so its objects can be counted.
    ExpectNormalFrame();
    const int before = LiveFrameObjects();
    EXPECT_EQ(before, 0);
    for (int pass : {0, 1}) {  // thrown in the swizzle pass, then in the FXAA pass
      Arm(GlFault::kThrow, pass, 1);
      ExpectRefused(PF_Err_OUT_OF_MEMORY, "");
      EXPECT_EQ(LiveFrameObjects(), before) << "thrown in draw " << pass;
    }
  });
}

TEST_F(GpuFaultTest, ASetUpThatThrowsPutsTheHostsContextBackAndKeepsNothing) {
  OnFreshThread([&] {
    GlContext* hostContext = CreateGlContext(nullptr);
    ASSERT_TRUE(IsGlContextValid(hostContext));
    const EGLContext hostHandle = eglGetCurrentContext();
    host_runtime::Host second(module_->entry());
    Arm(GlFault::kThrow, 0, 1);  // the first program build of the root context
    EXPECT_EQ(second.GlobalSetup(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(eglGetCurrentContext(), hostHandle);
    const GlobalData* global = *reinterpret_cast<GlobalData* const*>(second.globalData());
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(global->rootContext, nullptr) << "the root context went with the failed set-up";
    DestroyGlContext(hostContext);
    FreeGlContextRecord(hostContext);
  });
}

}  // namespace
