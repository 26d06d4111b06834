// OpenGL 3.2 core contexts on WGL, each bound to a small hidden window that exists only to give
// the context a device context and a pixel format. GLEW loads the WGL extension entry points
// through a temporary legacy context, then the GL entry points of the core context.
#include <windows.h>

#include <GL/glew.h>
#include <GL/wglew.h>

#include <cstdio>
#include <mutex>

#include "gl/gl_context.h"
#include "gl/diagnostic_sink.h"
#include "gl/gl_fault_hooks.h"

struct GlContext {
  HWND window;
  HGLRC context;
  HDC device;
};

namespace {

const char kWindowClass[] = "FXAA_OpenGL_Win_Class";

// GLEW's entry-point table is process-wide and every creation reloads it.
std::mutex g_glewMutex;

// The class is the process's, shared by every module of ours that makes contexts in it (the
// plug-in and the OpenFX and frei0r modules can be loaded in one host). A window is made just
// after the class is registered, and the class is unregistered just after a window is destroyed
// (Windows refuses while any window of it remains), each pair under one mutex that every such
// module finds by a name of the process's own: no module's clean-up can unregister the class
// between another's registration and its window. The module's own mutex stands in where the
// named one cannot be had.
std::mutex g_windowClassMutex;

class WindowClassLock {
 public:
  WindowClassLock() : local_(g_windowClassMutex) {
    char name[64];
    std::snprintf(name, sizeof(name), "Local\\FXAA_OpenGL_Win_Class.%lu",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    process_ = CreateMutexA(nullptr, FALSE, name);
    if (process_ != nullptr && WaitForSingleObject(process_, INFINITE) == WAIT_FAILED) {
      CloseHandle(process_);
      process_ = nullptr;
    }
  }
  ~WindowClassLock() {
    if (process_ == nullptr) return;
    ReleaseMutex(process_);
    CloseHandle(process_);  // the mutex goes with the last handle to it
  }
  WindowClassLock(const WindowClassLock&) = delete;
  WindowClassLock& operator=(const WindowClassLock&) = delete;

 private:
  std::lock_guard<std::mutex> local_;
  HANDLE process_;
};

// Registers the window class shared by all contexts; a class that exists already counts.
bool RegisterWindowClass() {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_VREDRAW | CS_HREDRAW;
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = nullptr;
  windowClass.hIcon = nullptr;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = kWindowClass;
  windowClass.hIconSm = nullptr;
  const ATOM atom = RegisterClassExA(&windowClass);
  const DWORD error = GetLastError();
  return atom != 0 || error == ERROR_CLASS_ALREADY_EXISTS;
}

// Returns the pixel format descriptor of every hidden window: RGBA, 32 colour bits, 8 depth.
PIXELFORMATDESCRIPTOR PixelFormat() {
  PIXELFORMATDESCRIPTOR format = {};
  format.nSize = sizeof(format);
  format.nVersion = 1;
  format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  format.iPixelType = PFD_TYPE_RGBA;
  format.cColorBits = 32;
  format.cDepthBits = 8;
  format.iLayerType = PFD_MAIN_PLANE;
  return format;
}

// Releases what a creation made before it failed, the record included.
void Abandon(GlContext* gl, HGLRC temporary) {
  if (temporary != nullptr) {
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(temporary);
  }
  DestroyGlContext(gl);
  FreeGlContextRecord(gl);
}

// The hidden window, with the class registered first where it is not; null when either fails,
// with *registered telling which.
HWND MakeWindow(bool* registered) {
  const WindowClassLock lock;
  *registered = RegisterWindowClass();
  if (!*registered) return nullptr;
  return CreateWindowExA(0, kWindowClass, "OpenGL-using FBOs in AE", 0, 0, 0, 50, 50, nullptr,
                         nullptr, nullptr, nullptr);
}

// Destroys the window, then unregisters the class, which fails harmlessly while other windows
// of it (this module's or another's) remain.
void EndWindow(HWND window) {
  const WindowClassLock lock;
  DestroyWindow(window);
  UnregisterClassA(kWindowClass, nullptr);
  GetLastError();
}

}  // namespace

GlContext* CreateGlContext(const GlContext* share) {
  GlContext* gl = new GlContext{nullptr, nullptr, nullptr};

  // 1 and 2.
  bool registered = false;
  gl->window = MakeWindow(&registered);
  if (!registered) {
    std::fprintf(DiagnosticFile(), "Can't Register Window Class\n");
    Abandon(gl, nullptr);
    return nullptr;
  }
  if (gl->window == nullptr) {
    std::fprintf(DiagnosticFile(), "Window Creation Failed\n");
    Abandon(gl, nullptr);
    return nullptr;
  }

  // 3.
  gl->device = GetDC(gl->window);
  if (gl->device == nullptr) {
    std::fprintf(DiagnosticFile(), "Cannot create Drawing Context.\n");
    Abandon(gl, nullptr);
    return nullptr;
  }

  // 4. The results are not checked: a context that cannot use the format fails below.
  const PIXELFORMATDESCRIPTOR format = PixelFormat();
  SetPixelFormat(gl->device, ChoosePixelFormat(gl->device, &format), &format);

  // 5 and 6. A legacy context, only to load the extension entry points.
  HGLRC temporary = wglCreateContext(gl->device);
  if (temporary == nullptr) {
    std::fprintf(DiagnosticFile(), "Cannot create OPENGL Context.\n");
    Abandon(gl, nullptr);
    return nullptr;
  }
  if (!wglMakeCurrent(gl->device, temporary)) {
    std::fprintf(DiagnosticFile(), "Cannot Make Temp Context Current.\n");
    Abandon(gl, temporary);
    return nullptr;
  }

  // Callers serialise creations already; this keeps two unserialised ones from interleaving
  // their reloads of GLEW's table.
  std::lock_guard<std::mutex> glewLock(g_glewMutex);

  // 7 and 8.
  if (glewInit() != GLEW_OK) {
    std::fprintf(DiagnosticFile(), "Glew isn't initialized.\n");
    Abandon(gl, temporary);
    return nullptr;
  }
  if (wglCreateContextAttribsARB == nullptr) {
    std::fprintf(DiagnosticFile(), "WGL Create Context Attrib isn't supported.\n");
    Abandon(gl, temporary);
    return nullptr;
  }

  // 9 to 11.
  const int attributes[] = {WGL_CONTEXT_MAJOR_VERSION_ARB, 3, WGL_CONTEXT_MINOR_VERSION_ARB, 2,
                            WGL_CONTEXT_PROFILE_MASK_ARB, WGL_CONTEXT_CORE_PROFILE_BIT_ARB, 0};
  gl->context = wglCreateContextAttribsARB(gl->device, share ? share->context : nullptr,
                                           attributes);
  wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(temporary);
  if (gl->context == nullptr) {
    std::fprintf(DiagnosticFile(), "OpenGL 4.1/3.2 Ctx can't be initialized.\n");
    Abandon(gl, nullptr);
    return nullptr;
  }

  // 12. GLEW again, so that its entry points belong to the core context.
  wglMakeCurrent(gl->device, gl->context);
  if (glewInit() != GLEW_OK) {
    std::fprintf(DiagnosticFile(), "Core Profile Glew isn't initialized.\n");
    Abandon(gl, nullptr);
    return nullptr;
  }
  return gl;
}

void DestroyGlContext(GlContext* gl) {
  if (gl == nullptr) return;
  if (gl->window == nullptr) {
    // Only a captured record holds a context without a window: the host's, not ours to delete.
    gl->context = nullptr;
    gl->device = nullptr;
  }
  if (gl->context != nullptr) {
    wglMakeCurrent(nullptr, nullptr);
    if (!wglDeleteContext(gl->context)) std::fprintf(DiagnosticFile(), "GL Context Destruction Failed\n");
    gl->context = nullptr;
  }
  if (gl->device != nullptr) {
    ReleaseDC(gl->window, gl->device);
    gl->device = nullptr;
  }
  if (gl->window != nullptr) {
    EndWindow(gl->window);
    gl->window = nullptr;
  }
}

bool MakeGlContextCurrent(const GlContext* gl) {
  if (gl != nullptr && gl->context != nullptr) {
    // The injected fault fails the way a context whose window has gone does.
    const HDC device = FXAA_GL_FAULT_DUE(kContextSwitch) ? nullptr : gl->device;
    if (!wglMakeCurrent(device, gl->context)) {
      std::fprintf(DiagnosticFile(), "Cannot Set OpenGL Context\n");
      return false;
    }
    return true;
  }
  wglMakeCurrent(nullptr, nullptr);
  return true;
}

GlContext* CaptureCurrentGlContext() {
  return new GlContext{nullptr, wglGetCurrentContext(), wglGetCurrentDC()};
}

bool IsGlContextValid(const GlContext* gl) { return gl != nullptr && gl->context != nullptr; }

void FreeGlContextRecord(GlContext* gl) { delete gl; }

// The plug-in's own messages name what failed; the embeddings add nothing on Windows.
std::string GlContextUnavailableReason() { return {}; }
