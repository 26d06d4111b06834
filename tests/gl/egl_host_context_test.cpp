// Contexts of ours beside a host that has its own EGL context current: creation switches away
// from it, a captured record puts it back with its client API, and neither destroying our
// contexts nor a captured record harms it.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <gtest/gtest.h>

#include "gl/gl_context.h"
#include "tests/support/capture_stdout.h"

namespace {

// Plays the host: its own display initialisation and context, current on this thread.
class EglHost : public ::testing::TestWithParam<EGLenum> {
 protected:
  void SetUp() override {
    display_ = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    ASSERT_NE(display_, EGL_NO_DISPLAY);
    ASSERT_TRUE(eglInitialize(display_, nullptr, nullptr));
    api_ = GetParam();
    ASSERT_TRUE(eglBindAPI(api_));
    const EGLint renderable = api_ == EGL_OPENGL_API ? EGL_OPENGL_BIT : EGL_OPENGL_ES2_BIT;
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                       renderable, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    ASSERT_TRUE(eglChooseConfig(display_, configAttributes, &config, 1, &count));
    ASSERT_GT(count, 0);
    const EGLint esAttributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT,
                                api_ == EGL_OPENGL_ES_API ? esAttributes : nullptr);
    ASSERT_NE(context_, EGL_NO_CONTEXT);
    const EGLint surfaceAttributes[] = {EGL_WIDTH, 8, EGL_HEIGHT, 8, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display_, config, surfaceAttributes);
    ASSERT_NE(surface_, EGL_NO_SURFACE);
    ASSERT_TRUE(eglMakeCurrent(display_, surface_, surface_, context_));
  }

  void TearDown() override {
    eglBindAPI(api_);
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    eglTerminate(display_);
    eglReleaseThread();
  }

  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  EGLSurface surface_ = EGL_NO_SURFACE;
  EGLenum api_ = EGL_OPENGL_API;
};

TEST_P(EglHost, CreationSwitchesAwayAndCapturedRecordRestoresHostContextAndApi) {
  CaptureStdout capture;
  GlContext* captured = CaptureCurrentGlContext();
  EXPECT_TRUE(IsGlContextValid(captured));

  GlContext* ours = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(ours));
  EXPECT_EQ(eglQueryAPI(), static_cast<EGLenum>(EGL_OPENGL_API));
  EXPECT_NE(eglGetCurrentContext(), context_);
  EXPECT_NE(eglGetCurrentContext(), EGL_NO_CONTEXT);

  MakeGlContextCurrent(captured);
  EXPECT_EQ(eglQueryAPI(), api_);
  EXPECT_EQ(eglGetCurrentContext(), context_);
  EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), surface_);
  FreeGlContextRecord(captured);

  DestroyGlContext(ours);
  FreeGlContextRecord(ours);
  EXPECT_EQ(capture.Finish(), "");
}

// Our last context going must not terminate a display the host initialised itself.
TEST_P(EglHost, HostContextSurvivesOurLastContext) {
  GlContext* ours = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(ours));
  DestroyGlContext(ours);
  FreeGlContextRecord(ours);

  ASSERT_TRUE(eglBindAPI(api_));
  EXPECT_TRUE(eglMakeCurrent(display_, surface_, surface_, context_));
  EXPECT_EQ(eglGetCurrentContext(), context_);
}

TEST_P(EglHost, DestroyingACapturedRecordLeavesTheHostContext) {
  GlContext* captured = CaptureCurrentGlContext();
  DestroyGlContext(captured);
  EXPECT_FALSE(IsGlContextValid(captured));
  FreeGlContextRecord(captured);

  ASSERT_TRUE(eglBindAPI(api_));
  EXPECT_TRUE(eglMakeCurrent(display_, surface_, surface_, context_));
}

INSTANTIATE_TEST_SUITE_P(HostApis, EglHost, ::testing::Values(EGL_OPENGL_API, EGL_OPENGL_ES_API),
                         [](const ::testing::TestParamInfo<EGLenum>& info) {
                           return info.param == EGL_OPENGL_API ? std::string("OpenGL")
                                                               : std::string("OpenGLES");
                         });

}  // namespace
