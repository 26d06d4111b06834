// Contexts of ours: creation beside other contexts, what is current after each operation, and
// capture and restore. Each context has its own object names, which tells contexts apart here
// without reaching into the platform's handles.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "gl/gl_context.h"
#include "tests/gl/gl_test_support.h"
#include "tests/support/capture_stdout.h"

namespace {

// Returns whether any context is current on the calling thread.
bool AnyContextCurrent() {
  GlContext* current = CaptureCurrentGlContext();
  const bool valid = IsGlContextValid(current);
  FreeGlContextRecord(current);
  return valid;
}

// Returns a texture made in the current context, as a mark of which context that is.
GLuint MarkCurrentContext() {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glBindTexture(GL_TEXTURE_2D, 0);
  return texture;
}

void Discard(GlContext* gl) {
  DestroyGlContext(gl);
  FreeGlContextRecord(gl);
}

TEST(GlContext, SecondContextBesideFirstIsValidCurrentAndSeparate) {
  CaptureStdout capture;
  GlContext* first = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(first));
  const GLuint mark = MarkCurrentContext();
  ASSERT_TRUE(glIsTexture(mark));

  GlContext* second = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(second));
  // The new context is current, and it shares no objects with the first.
  EXPECT_FALSE(glIsTexture(mark));
  MakeGlContextCurrent(first);
  EXPECT_TRUE(glIsTexture(mark));

  Discard(second);
  Discard(first);
  EXPECT_EQ(capture.Finish(), "");
}

TEST(GlContext, DestroyingOneOfTwoLeavesTheOtherAndAllowsAnother) {
  CaptureStdout capture;
  GlContext* first = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(first));
  const GLuint mark = MarkCurrentContext();
  GlContext* second = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(second));

  Discard(second);
  EXPECT_FALSE(AnyContextCurrent());
  MakeGlContextCurrent(first);
  EXPECT_TRUE(glIsTexture(mark));

  GlContext* third = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(third));
  EXPECT_NE(glGetString(GL_VERSION), nullptr);
  Discard(third);
  Discard(first);
  EXPECT_EQ(capture.Finish(), "");
}

TEST(GlContext, ContextIsThirtyTwoCoreAndCompilesGlsl330) {
  GlContext* gl = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(gl));
  GLint major = 0, minor = 0, profile = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
  EXPECT_GE(major * 10 + minor, 32);
  EXPECT_TRUE(profile & GL_CONTEXT_CORE_PROFILE_BIT);
  ShaderProgram program = BuildQuadProgram(CopyFragmentSource());
  EXPECT_NE(program, 0u);
  DeleteShaderProgram(&program);
  Discard(gl);
}

TEST(GlContext, DestroyEmptiesTheRecordAndLeavesNothingCurrent) {
  GlContext* gl = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(gl));
  EXPECT_TRUE(AnyContextCurrent());
  DestroyGlContext(gl);
  EXPECT_FALSE(IsGlContextValid(gl));
  EXPECT_FALSE(AnyContextCurrent());
  // A second destroy, and a destroyed record made current, are harmless and release.
  DestroyGlContext(gl);
  MakeGlContextCurrent(gl);
  EXPECT_FALSE(AnyContextCurrent());
  FreeGlContextRecord(gl);
  DestroyGlContext(nullptr);
  EXPECT_FALSE(IsGlContextValid(nullptr));
}

TEST(GlContext, MakeCurrentWithNoneReleasesTheCurrentContext) {
  GlContext* gl = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(gl));
  MakeGlContextCurrent(nullptr);
  EXPECT_FALSE(AnyContextCurrent());
  MakeGlContextCurrent(gl);
  EXPECT_TRUE(AnyContextCurrent());
  Discard(gl);
}

TEST(GlContext, CaptureAndRestorePutsBackTheContextThatWasCurrent) {
  GlContext* host = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(host));
  const GLuint mark = MarkCurrentContext();

  GlContext* captured = CaptureCurrentGlContext();
  EXPECT_TRUE(IsGlContextValid(captured));
  GlContext* ours = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(ours));
  EXPECT_FALSE(glIsTexture(mark));
  MakeGlContextCurrent(captured);
  EXPECT_TRUE(glIsTexture(mark));
  FreeGlContextRecord(captured);

  Discard(ours);
  Discard(host);
}

TEST(GlContext, CaptureWithNothingCurrentRestoresNothingCurrent) {
  MakeGlContextCurrent(nullptr);
  GlContext* captured = CaptureCurrentGlContext();
  EXPECT_FALSE(IsGlContextValid(captured));
  GlContext* ours = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(ours));
  MakeGlContextCurrent(captured);
  EXPECT_FALSE(AnyContextCurrent());
  FreeGlContextRecord(captured);
  Discard(ours);
}

// A thread that never set anything up for itself creates, uses and destroys a context, while
// the main thread's context stays usable.
TEST(GlContext, ContextsWorkOnThreadsOfTheirOwn) {
  GlContext* mainContext = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(mainContext));
  const GLuint mark = MarkCurrentContext();

  bool threadValid = false;
  bool threadBuilt = false;
  bool threadLeftNothingCurrent = false;
  std::thread worker([&] {
    GlContext* gl = CreateGlContext(nullptr);
    threadValid = IsGlContextValid(gl);
    if (threadValid) {
      ShaderProgram program = BuildQuadProgram(CopyFragmentSource());
      threadBuilt = program != 0;
      DeleteShaderProgram(&program);
    }
    Discard(gl);
    threadLeftNothingCurrent = !AnyContextCurrent();
  });
  worker.join();
  EXPECT_TRUE(threadValid);
  EXPECT_TRUE(threadBuilt);
  EXPECT_TRUE(threadLeftNothingCurrent);

  EXPECT_TRUE(glIsTexture(mark));
  ShaderProgram program = BuildQuadProgram(CopyFragmentSource());
  EXPECT_NE(program, 0u);
  DeleteShaderProgram(&program);
  Discard(mainContext);
}

// Creations and destructions on several threads at once, without the callers' lock: the shared
// display's count, GLEW's reloads and the hidden windows' class must not trip over each other,
// and no thread is left with a context. Enough rounds that a creation meets another thread's
// destruction often.
TEST(GlContext, ConcurrentCreationsOnSeveralThreadsAllSucceed) {
  constexpr int kThreads = 3;
  constexpr int kRounds = 12;
  int succeeded[kThreads] = {};
  CaptureStdout capture;
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&succeeded, t] {
      for (int round = 0; round < kRounds; ++round) {
        GlContext* gl = CreateGlContext(nullptr);
        // Only a 1.1 call here: drawing through GLEW's table while another thread reloads it
        // is outside what callers may do (they draw under the render lock).
        if (IsGlContextValid(gl) && glGetString(GL_VERSION) != nullptr) ++succeeded[t];
        Discard(gl);
        if (AnyContextCurrent()) succeeded[t] = -1000;
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(succeeded[t], kRounds) << "thread " << t;
  EXPECT_EQ(capture.Finish(), "");
}

}  // namespace
