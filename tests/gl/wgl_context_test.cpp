// Windows: the hidden window, its class and its pixel format as contexts are made, the class's
// life across several contexts, and the messages of the steps that can be made to fail from
// outside: a context busy on another thread, and no display to make windows on.
#include <gtest/gtest.h>
#include <windows.h>

#include <GL/glew.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "gl/gl_context.h"
#include "tests/support/capture_stdout.h"

namespace {

const char kClass[] = "FXAA_OpenGL_Win_Class";

void Discard(GlContext* gl) {
  DestroyGlContext(gl);
  FreeGlContextRecord(gl);
}

// A class registered with no instance belongs to the program; asked with none, Windows answers
// for its own classes only.
bool ClassRegistered() {
  WNDCLASSEXA info = {};
  info.cbSize = sizeof(info);
  return GetClassInfoExA(GetModuleHandleA(nullptr), kClass, &info) != FALSE;
}

TEST(WglContext, HiddenWindowClassAndPixelFormatAreTheOnesContextsNeed) {
  GlContext* gl = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(gl));
  HDC device = wglGetCurrentDC();
  HWND window = WindowFromDC(device);
  ASSERT_NE(window, nullptr);

  char text[64] = {};
  GetClassNameA(window, text, sizeof(text));
  EXPECT_STREQ(text, kClass);
  GetWindowTextA(window, text, sizeof(text));
  EXPECT_STREQ(text, "OpenGL-using FBOs in AE");
  EXPECT_FALSE(IsWindowVisible(window)) << "the window is never shown";
  // 50 by 50 is asked for; an overlapped window is never smaller than the system's minimum.
  RECT rect = {};
  ASSERT_TRUE(GetWindowRect(window, &rect));
  EXPECT_EQ(rect.right - rect.left, std::max(50, GetSystemMetrics(SM_CXMINTRACK)));
  EXPECT_EQ(rect.bottom - rect.top, std::max(50, GetSystemMetrics(SM_CYMINTRACK)));

  EXPECT_EQ(GetClassLongPtrA(window, GCL_STYLE), LONG_PTR(CS_VREDRAW | CS_HREDRAW));
  EXPECT_EQ(GetClassLongPtrA(window, GCLP_WNDPROC), reinterpret_cast<LONG_PTR>(&DefWindowProcA));
  EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND),
            reinterpret_cast<LONG_PTR>(GetStockObject(BLACK_BRUSH)));

  // The driver picks the format nearest the request; what the contexts rely on must be there.
  PIXELFORMATDESCRIPTOR format = {};
  ASSERT_NE(DescribePixelFormat(device, GetPixelFormat(device), sizeof(format), &format), 0);
  const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  EXPECT_EQ(format.dwFlags & needed, needed);
  EXPECT_EQ(format.iPixelType, PFD_TYPE_RGBA);
  EXPECT_GE(format.cColorBits, 24);
  EXPECT_GE(format.cDepthBits, 8);
  Discard(gl);
}

TEST(WglContext, ClassIsSharedByLiveContextsAndGoesWithTheLast) {
  CaptureStdout capture;
  GlContext* first = CreateGlContext(nullptr);
  ASSERT_TRUE(IsGlContextValid(first));
  // What the second creation meets: the class exists, and registering it again fails so.
  WNDCLASSEXA again = {};
  again.cbSize = sizeof(again);
  again.lpfnWndProc = DefWindowProcA;
  again.lpszClassName = kClass;
  EXPECT_EQ(RegisterClassExA(&again), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));

  GlContext* second = CreateGlContext(nullptr);
  EXPECT_TRUE(IsGlContextValid(second)) << "the existing class is accepted";
  // Kept while the first context's window uses it, and found or registered again by a further
  // creation.
  Discard(second);
  EXPECT_TRUE(ClassRegistered()) << "kept for the first context's window";
  GlContext* third = CreateGlContext(nullptr);
  EXPECT_TRUE(IsGlContextValid(third));
  Discard(third);
  Discard(first);
  EXPECT_FALSE(ClassRegistered()) << "unregistered with the last window";
  EXPECT_EQ(capture.Finish(), "");
}

// A context made and left current on a thread of its own, until `Release` lets the thread end.
class BusyElsewhere {
 public:
  BusyElsewhere() {
    thread_ = std::thread([this] {
      GlContext* gl = CreateGlContext(nullptr);
      HGLRC context = wglGetCurrentContext();
      made_.set_value(gl);
      done_.get_future().wait();
      if (IsGlContextValid(gl)) {
        Discard(gl);
        return;
      }
      // The test emptied the record without deleting the context; the handle taken above is.
      wglMakeCurrent(nullptr, nullptr);
      wglDeleteContext(context);
      FreeGlContextRecord(gl);
    });
    context_ = made_.get_future().get();
  }
  ~BusyElsewhere() {
    done_.set_value();
    thread_.join();
  }
  GlContext* context() const { return context_; }

 private:
  std::promise<GlContext*> made_;
  std::promise<void> done_;
  std::thread thread_;
  GlContext* context_ = nullptr;
};

TEST(WglContext, SwitchingToAContextBusyOnAnotherThreadSaysSoAndChangesNothing) {
  BusyElsewhere busy;
  ASSERT_TRUE(IsGlContextValid(busy.context()));
  CaptureStdout capture;
  MakeGlContextCurrent(busy.context());
  EXPECT_EQ(capture.Finish(), "Cannot Set OpenGL Context\n");
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
}

TEST(WglContext, DestroyingAContextBusyOnAnotherThreadSaysSoAndEmptiesTheRecord) {
  BusyElsewhere busy;
  ASSERT_TRUE(IsGlContextValid(busy.context()));
  CaptureStdout capture;
  DestroyGlContext(busy.context());
  EXPECT_EQ(capture.Finish(), "GL Context Destruction Failed\n");
  EXPECT_FALSE(IsGlContextValid(busy.context())) << "emptied whether or not the deletion worked";
}

// Run by the test "WglContextWithoutDisplay" with no X display for Wine (FXAA_TEST_NO_DISPLAY
// set); skipped elsewhere.
TEST(WglContextWithoutDisplay, CreationSaysWindowCreationFailedAndGivesNone) {
  if (std::getenv("FXAA_TEST_NO_DISPLAY") == nullptr)
    GTEST_SKIP() << "needs a session without a display (FXAA_TEST_NO_DISPLAY)";
  CaptureStdout capture;
  GlContext* gl = CreateGlContext(nullptr);
  EXPECT_EQ(capture.Finish(), "Window Creation Failed\n");
  EXPECT_FALSE(IsGlContextValid(gl));
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
  FreeGlContextRecord(gl);
}

}  // namespace
