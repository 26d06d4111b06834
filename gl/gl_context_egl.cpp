// OpenGL contexts on EGL, with no window system: a hardware EGL device when there is one (an
// NVIDIA card), else Mesa's software renderer on the surfaceless platform. Each context gets a
// tiny pbuffer as its drawable, standing in for the hidden window of the Windows backend; all
// drawing goes to frame buffer objects. The steps and messages mirror gl_context_wgl.cpp.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glew.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "gl/gl_context.h"

struct GlContext {
  EGLDisplay display;
  EGLContext context;
  EGLSurface surface;
};

namespace {

// eglInitialize is process-wide and eglTerminate would break every other context: the
// display is initialised once per process user and terminated by the last.
std::mutex g_displayMutex;
EGLDisplay g_display = EGL_NO_DISPLAY;
int g_displayUsers = 0;

// GLEW's entry-point table is process-wide; creations reload it one at a time.
std::mutex g_glewMutex;

// Returns whether `extensions` (a space-separated list) holds `name`.
bool HasExtension(const char* extensions, const char* name) {
  if (extensions == nullptr) return false;
  const size_t length = std::strlen(name);
  for (const char* p = extensions; (p = std::strstr(p, name)) != nullptr; p += length) {
    if ((p == extensions || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
  }
  return false;
}

// Returns the display of the first hardware EGL device, or EGL_NO_DISPLAY.
EGLDisplay HardwareDeviceDisplay() {
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (!HasExtension(clientExtensions, "EGL_EXT_device_enumeration") ||
      !HasExtension(clientExtensions, "EGL_EXT_platform_device"))
    return EGL_NO_DISPLAY;
  auto queryDevices =
      reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
  auto queryDeviceString = reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(
      eglGetProcAddress("eglQueryDeviceStringEXT"));
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!queryDevices || !queryDeviceString || !getPlatformDisplay) return EGL_NO_DISPLAY;
  EGLDeviceEXT devices[16];
  EGLint count = 0;
  if (!queryDevices(16, devices, &count)) return EGL_NO_DISPLAY;
  for (EGLint i = 0; i < count; ++i) {
    const char* deviceExtensions = queryDeviceString(devices[i], EGL_EXTENSIONS);
    if (HasExtension(deviceExtensions, "EGL_MESA_device_software")) continue;
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
    if (display != EGL_NO_DISPLAY) return display;
  }
  return EGL_NO_DISPLAY;
}

// Returns an initialised display shared by all contexts, or EGL_NO_DISPLAY.
EGLDisplay AcquireDisplay() {
  std::lock_guard<std::mutex> lock(g_displayMutex);
  if (g_displayUsers == 0) {
    EGLDisplay display = HardwareDeviceDisplay();
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
      display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
      if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr))
        return EGL_NO_DISPLAY;
    }
    g_display = display;
  }
  ++g_displayUsers;
  return g_display;
}

// Drops one user of the shared display; the last one terminates it.
void ReleaseDisplay() {
  std::lock_guard<std::mutex> lock(g_displayMutex);
  if (g_displayUsers > 0 && --g_displayUsers == 0) {
    eglTerminate(g_display);
    g_display = EGL_NO_DISPLAY;
  }
}

// GLEW's result on EGL: Debian's GLEW is built for GLX and reports "no GLX display" (4) after
// loading every GL entry point, which counts as success here.
bool GlewLoaded(GLenum result) { return result == GLEW_OK || result == 4; }

// Releases what a creation made before it failed.
void Abandon(GlContext* gl) {
  DestroyGlContext(gl);
  FreeGlContextRecord(gl);
}

}  // namespace

GlContext* CreateGlContext(const GlContext* share) {
  GlContext* gl = new GlContext{EGL_NO_DISPLAY, EGL_NO_CONTEXT, EGL_NO_SURFACE};

  // Display, and the API for this thread (eglBindAPI is per thread).
  gl->display = AcquireDisplay();
  if (gl->display == EGL_NO_DISPLAY || !eglBindAPI(EGL_OPENGL_API)) {
    std::printf("Can't Register Window Class\n");
    if (gl->display != EGL_NO_DISPLAY) ReleaseDisplay();
    delete gl;
    return nullptr;
  }

  // A configuration for an RGBA pbuffer, the hidden drawable.
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT,   EGL_RED_SIZE,     8,
                                     EGL_GREEN_SIZE,   8,                EGL_BLUE_SIZE,
                                     8,                EGL_NONE};
  EGLConfig config = nullptr;
  EGLint configCount = 0;
  if (!eglChooseConfig(gl->display, configAttributes, &config, 1, &configCount) ||
      configCount < 1) {
    std::printf("Window Creation Failed\n");
    Abandon(gl);
    return nullptr;
  }
  const EGLint surfaceAttributes[] = {EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE};
  gl->surface = eglCreatePbufferSurface(gl->display, config, surfaceAttributes);
  if (gl->surface == EGL_NO_SURFACE) {
    std::printf("Cannot create Drawing Context.\n");
    Abandon(gl);
    return nullptr;
  }

  // EGL asks for the version and profile directly, so the legacy context of the Windows
  // backend has no counterpart: the core request stands at its step.
  const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                      3,
                                      EGL_CONTEXT_MINOR_VERSION,
                                      2,
                                      EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                      EGL_NONE};
  gl->context = eglCreateContext(gl->display, config,
                                 share ? share->context : EGL_NO_CONTEXT, contextAttributes);
  if (gl->context == EGL_NO_CONTEXT) {
    const EGLint error = eglGetError();
    std::printf(error == EGL_BAD_MATCH || error == EGL_BAD_CONFIG || error == EGL_BAD_ATTRIBUTE
                    ? "OpenGL 4.1/3.2 Ctx can't be initialized.\n"
                    : "Cannot create OPENGL Context.\n");
    Abandon(gl);
    return nullptr;
  }
  if (!eglMakeCurrent(gl->display, gl->surface, gl->surface, gl->context)) {
    std::printf("Cannot Make Temp Context Current.\n");
    Abandon(gl);
    return nullptr;
  }

  // Twice, as on Windows: once to load, once for the context that is now current.
  std::lock_guard<std::mutex> lock(g_glewMutex);
  if (!GlewLoaded(glewInit())) {
    std::printf("Glew isn't initialized.\n");
    Abandon(gl);
    return nullptr;
  }
  if (!GlewLoaded(glewInit())) {
    std::printf("Core Profile Glew isn't initialized.\n");
    Abandon(gl);
    return nullptr;
  }
  return gl;
}

void DestroyGlContext(GlContext* gl) {
  if (gl == nullptr) return;
  if (gl->display != EGL_NO_DISPLAY) {
    eglMakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (gl->context != EGL_NO_CONTEXT && !eglDestroyContext(gl->display, gl->context))
      std::printf("GL Context Destruction Failed\n");
    gl->context = EGL_NO_CONTEXT;
    if (gl->surface != EGL_NO_SURFACE) eglDestroySurface(gl->display, gl->surface);
    gl->surface = EGL_NO_SURFACE;
    gl->display = EGL_NO_DISPLAY;
    // The thread's EGL state goes too, so a thread that ends now leaks nothing.
    eglReleaseThread();
    ReleaseDisplay();
  }
  gl->context = EGL_NO_CONTEXT;
  gl->surface = EGL_NO_SURFACE;
}

void FreeGlContextRecord(GlContext* gl) { delete gl; }

void MakeGlContextCurrent(const GlContext* gl) {
  if (gl != nullptr && gl->context != EGL_NO_CONTEXT) {
    if (!eglMakeCurrent(gl->display, gl->surface, gl->surface, gl->context))
      std::printf("Cannot Set OpenGL Context\n");
    return;
  }
  EGLDisplay current = eglGetCurrentDisplay();
  if (current != EGL_NO_DISPLAY)
    eglMakeCurrent(current, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

GlContext* CaptureCurrentGlContext() {
  return new GlContext{eglGetCurrentDisplay(), eglGetCurrentContext(),
                       eglGetCurrentSurface(EGL_DRAW)};
}

bool IsGlContextValid(const GlContext* gl) {
  return gl != nullptr && gl->context != EGL_NO_CONTEXT;
}
