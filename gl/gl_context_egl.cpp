// OpenGL 3.2 core contexts on EGL, with no window system: a hardware EGL device when there is
// one (an NVIDIA card), else Mesa's software renderer on the surfaceless platform. A small
// pbuffer stands in for the hidden window of the Windows backend; all drawing goes to frame
// buffer objects. CreateGlContext follows gl_context_wgl.cpp step for step (a temporary context
// first, then the core one) and prints the same message at the corresponding step. EGL itself
// is reached through egl_library.h, which the portable build opens only here, at the first
// context.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glew.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "gl/egl_library.h"
#include "gl/gl_context.h"
#include "gl/diagnostic_sink.h"
#include "gl/gl_fault_hooks.h"

struct GlContext {
  EGLDisplay display;
  EGLContext context;
  EGLSurface surface;
  // Captured records only: the host's read surface and client API, which a restore puts back.
  EGLSurface readSurface;
  EGLenum api;
  // False for a captured record: its handles are the host's, never ours to destroy.
  bool owned;
};

namespace egl = egl_library;

namespace {

// eglInitialize is process-wide and eglTerminate breaks every other user of the display, so
// the display is shared by all our contexts and terminated by the last of them, and only when
// it was we who initialised it (a host may be using the same display).
std::mutex g_displayMutex;
EGLDisplay g_display = EGL_NO_DISPLAY;
int g_displayUsers = 0;
bool g_displayTerminates = false;

// GLEW's entry-point table is process-wide and every creation reloads it.
std::mutex g_glewMutex;

// The hidden drawable's configuration; it mirrors the window's pixel format where EGL allows.
const EGLint kConfigAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                    EGL_OPENGL_BIT,   EGL_RED_SIZE,     8,
                                    EGL_GREEN_SIZE,   8,                EGL_BLUE_SIZE,
                                    8,                EGL_NONE};

// The hidden window's size.
const EGLint kSurfaceAttributes[] = {EGL_WIDTH, 50, EGL_HEIGHT, 50, EGL_NONE};

// Version 3.2, core profile, no debug or forward-compatible flag.
const EGLint kCoreAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                  3,
                                  EGL_CONTEXT_MINOR_VERSION,
                                  2,
                                  EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                  EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                  EGL_NONE};

// Returns whether the space-separated list `extensions` holds `name`.
bool HasExtension(const char* extensions, const char* name) {
  if (extensions == nullptr) return false;
  const size_t length = std::strlen(name);
  for (const char* p = extensions; (p = std::strstr(p, name)) != nullptr; p += length) {
    if ((p == extensions || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
  }
  return false;
}

// The name of an EGL error code, as eglGetError returns it.
const char* EglErrorName(EGLint error) {
  switch (error) {
    case EGL_SUCCESS: return "EGL_SUCCESS";
    case EGL_NOT_INITIALIZED: return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS: return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC: return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE: return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG: return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT: return "EGL_BAD_CONTEXT";
    case EGL_BAD_CURRENT_SURFACE: return "EGL_BAD_CURRENT_SURFACE";
    case EGL_BAD_DISPLAY: return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH: return "EGL_BAD_MATCH";
    case EGL_BAD_NATIVE_PIXMAP: return "EGL_BAD_NATIVE_PIXMAP";
    case EGL_BAD_NATIVE_WINDOW: return "EGL_BAD_NATIVE_WINDOW";
    case EGL_BAD_PARAMETER: return "EGL_BAD_PARAMETER";
    case EGL_BAD_SURFACE: return "EGL_BAD_SURFACE";
    case EGL_CONTEXT_LOST: return "EGL_CONTEXT_LOST";
    default: return "unknown EGL error";
  }
}

// Prints a failure message, then the EGL error that explains it (EGL_SUCCESS when the failure
// was not EGL's), read at once: the clean-up that follows may change it. Before EGL is opened
// there is no error to read.
void Fail(const char* message) {
  const bool opened = egl::IsOpen();
  const EGLint error = opened ? egl::GetError() : EGL_SUCCESS;
  std::fprintf(DiagnosticFile(), "%s\n", message);
  if (opened)
    std::fprintf(DiagnosticFile(), "EGL error: %s (0x%04X)\n", EglErrorName(error),
                 static_cast<unsigned>(error));
}

// What the last creation that failed for want of a library or driver lacked; the embeddings
// pass it on to their hosts with where to get it (GlContextUnavailableReason).
std::mutex g_lackMutex;
std::string g_lack;

// Records and prints what this system lacks for our contexts.
void Lacks(const std::string& what) {
  std::fprintf(DiagnosticFile(), "OpenGL through EGL: %s\n", what.c_str());
  std::lock_guard<std::mutex> lock(g_lackMutex);
  g_lack = what;
}

// Returns whether the display speaks EGL 1.5, which has what the older ones add as extensions.
bool IsEgl15(EGLDisplay display) {
  EGLint major = 0, minor = 0;
  const char* version = egl::QueryString(display, EGL_VERSION);
  return version != nullptr && std::sscanf(version, "%d.%d", &major, &minor) == 2 &&
         (major > 1 || (major == 1 && minor >= 5));
}

// Returns whether EGL promises every OpenGL function, 1.1 included, through eglGetProcAddress.
bool GivesAllProcAddresses(EGLDisplay display) {
  if (IsEgl15(display)) return true;
  return HasExtension(egl::QueryString(display, EGL_EXTENSIONS),
                      "EGL_KHR_get_all_proc_addresses") ||
         HasExtension(egl::QueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS),
                      "EGL_KHR_client_get_all_proc_addresses");
}

// Initialises `display` and returns whether it can make our drawable; `terminates` tells
// whether it was uninitialised before, and so is ours to terminate.
bool InitialiseDisplay(EGLDisplay display, bool* terminates) {
  if (display == EGL_NO_DISPLAY) return false;
  *terminates = egl::QueryString(display, EGL_VERSION) == nullptr;
  egl::GetError();  // EGL_NOT_INITIALIZED from the probe above
  if (!egl::Initialize(display, nullptr, nullptr)) return false;
  EGLConfig config = nullptr;
  EGLint count = 0;
  if (egl::ChooseConfig(display, kConfigAttributes, &config, 1, &count) && count > 0) return true;
  if (*terminates) egl::Terminate(display);
  return false;
}

// Returns the first hardware EGL device's display, initialised, or EGL_NO_DISPLAY.
EGLDisplay HardwareDeviceDisplay(bool* terminates) {
  const char* clientExtensions = egl::QueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (!HasExtension(clientExtensions, "EGL_EXT_device_enumeration") ||
      !HasExtension(clientExtensions, "EGL_EXT_platform_device"))
    return EGL_NO_DISPLAY;
  auto queryDevices =
      reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(egl::GetProcAddress("eglQueryDevicesEXT"));
  auto queryDeviceString = reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(
      egl::GetProcAddress("eglQueryDeviceStringEXT"));
  if (queryDevices == nullptr || queryDeviceString == nullptr) return EGL_NO_DISPLAY;
  EGLDeviceEXT devices[16];
  EGLint count = 0;
  if (!queryDevices(16, devices, &count)) return EGL_NO_DISPLAY;
  for (EGLint i = 0; i < count; ++i) {
    // Mesa's software device marks itself; every other device is a real one.
    if (HasExtension(queryDeviceString(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software"))
      continue;
    EGLDisplay display = egl::GetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
    if (InitialiseDisplay(display, terminates)) return display;
  }
  return EGL_NO_DISPLAY;
}

// Returns the display shared by all our contexts, initialised, or EGL_NO_DISPLAY; each
// successful call is one reference, dropped by ReleaseDisplay.
EGLDisplay AcquireDisplay() {
  std::lock_guard<std::mutex> lock(g_displayMutex);
  if (g_displayUsers == 0) {
    bool terminates = false;
    EGLDisplay display = HardwareDeviceDisplay(&terminates);
    if (display == EGL_NO_DISPLAY) {
      display = egl::GetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
      if (!InitialiseDisplay(display, &terminates)) return EGL_NO_DISPLAY;
    }
    g_display = display;
    g_displayTerminates = terminates;
  }
  ++g_displayUsers;
  return g_display;
}

// Drops one reference to the shared display; the last one terminates it if it is ours.
void ReleaseDisplay() {
  std::lock_guard<std::mutex> lock(g_displayMutex);
  if (g_displayUsers > 0 && --g_displayUsers == 0) {
    if (g_displayTerminates) egl::Terminate(g_display);
    g_display = EGL_NO_DISPLAY;
  }
}

// Returns whether glewInit's result means the GL entry points are loaded. Debian's GLEW is
// built for GLX: with an EGL context current it loads everything, then reports that it found
// no GLX display.
bool GlewLoaded(GLenum result) {
#ifdef GLEW_ERROR_NO_GLX_DISPLAY
  if (result == GLEW_ERROR_NO_GLX_DISPLAY) return true;
#endif
  return result == GLEW_OK;
}

// Returns whether the display can create contexts of a given version and profile.
bool SupportsContextAttributes(EGLDisplay display) {
  if (IsEgl15(display)) return true;
  return HasExtension(egl::QueryString(display, EGL_EXTENSIONS), "EGL_KHR_create_context");
}

// Releases what a creation made before it failed, the record included.
void Abandon(GlContext* gl, EGLContext temporary) {
  if (temporary != EGL_NO_CONTEXT) {
    egl::MakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    egl::DestroyContext(gl->display, temporary);
  }
  DestroyGlContext(gl);
  FreeGlContextRecord(gl);
}

}  // namespace

GlContext* CreateGlContext(const GlContext* share) {
  GlContext* gl = new GlContext{EGL_NO_DISPLAY, EGL_NO_CONTEXT, EGL_NO_SURFACE,
                                EGL_NO_SURFACE, EGL_OPENGL_API, true};

  // 1. The shared display stands for the process-wide window class; the API is per thread.
  std::string missing;
  if (!egl::Open(&missing)) {
    Lacks(missing);
    Fail("Can't Register Window Class");
    Abandon(gl, EGL_NO_CONTEXT);
    return nullptr;
  }
  gl->display = AcquireDisplay();
  if (gl->display == EGL_NO_DISPLAY) Lacks("EGL has no display that can make OpenGL contexts");
  if (gl->display == EGL_NO_DISPLAY || !egl::BindAPI(EGL_OPENGL_API)) {
    Fail("Can't Register Window Class");
    Abandon(gl, EGL_NO_CONTEXT);
    return nullptr;
  }

  // 2 and 4. The configuration plays the window's pixel format.
  EGLConfig config = nullptr;
  EGLint configCount = 0;
  if (!egl::ChooseConfig(gl->display, kConfigAttributes, &config, 1, &configCount) ||
      configCount < 1) {
    Fail("Window Creation Failed");
    Abandon(gl, EGL_NO_CONTEXT);
    return nullptr;
  }

  // 3. The pbuffer plays the window's device context.
  gl->surface = egl::CreatePbufferSurface(gl->display, config, kSurfaceAttributes);
  gl->readSurface = gl->surface;
  if (gl->surface == EGL_NO_SURFACE) {
    Fail("Cannot create Drawing Context.");
    Abandon(gl, EGL_NO_CONTEXT);
    return nullptr;
  }

  // 5 and 6. A temporary context of the driver's default kind.
  EGLContext temporary = egl::CreateContext(gl->display, config, EGL_NO_CONTEXT, nullptr);
  if (temporary == EGL_NO_CONTEXT) {
    Lacks("EGL gives no OpenGL context");
    Fail("Cannot create OPENGL Context.");
    Abandon(gl, EGL_NO_CONTEXT);
    return nullptr;
  }
  if (!egl::MakeCurrent(gl->display, gl->surface, gl->surface, temporary)) {
    Fail("Cannot Make Temp Context Current.");
    Abandon(gl, temporary);
    return nullptr;
  }

  // Callers serialise creations already; this keeps two unserialised ones from interleaving
  // their reloads of GLEW's table.
  std::lock_guard<std::mutex> glewLock(g_glewMutex);

  // Where OpenGL's own functions come through EGL, EGL must promise them all.
  if (egl::kGlThroughEgl) {
    if (!GivesAllProcAddresses(gl->display)) {
      const char* version = egl::QueryString(gl->display, EGL_VERSION);
      Lacks(std::string("EGL ") + (version != nullptr ? version : "of unknown version") +
            " gives OpenGL 1.1's functions no addresses (EGL 1.5 or "
            "EGL_KHR_get_all_proc_addresses is needed)");
      Fail("Glew isn't initialized.");
      Abandon(gl, temporary);
      return nullptr;
    }
    if (!egl::LoadGl11(&missing)) {
      Lacks("EGL gives no address for " + missing);
      Fail("Glew isn't initialized.");
      Abandon(gl, temporary);
      return nullptr;
    }
  }

  // 7.
  if (!GlewLoaded(glewInit())) {
    Fail("Glew isn't initialized.");
    Abandon(gl, temporary);
    return nullptr;
  }

  // 8. EGL's counterpart of the wglCreateContextAttribsARB entry point.
  if (!SupportsContextAttributes(gl->display)) {
    Fail("WGL Create Context Attrib isn't supported.");
    Abandon(gl, temporary);
    return nullptr;
  }

  // 9 to 11.
  gl->context = egl::CreateContext(gl->display, config, share ? share->context : EGL_NO_CONTEXT,
                                 kCoreAttributes);
  egl::MakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  egl::DestroyContext(gl->display, temporary);
  if (gl->context == EGL_NO_CONTEXT) {
    Lacks("EGL gives no OpenGL 3.2 core context");
    Fail("OpenGL 4.1/3.2 Ctx can't be initialized.");
    Abandon(gl, EGL_NO_CONTEXT);
    return nullptr;
  }

  // 12. GLEW again, with the core context current.
  if (!egl::MakeCurrent(gl->display, gl->surface, gl->surface, gl->context) ||
      !GlewLoaded(glewInit())) {
    Fail("Core Profile Glew isn't initialized.");
    Abandon(gl, EGL_NO_CONTEXT);
    return nullptr;
  }
  std::lock_guard<std::mutex> lackLock(g_lackMutex);
  g_lack.clear();
  return gl;
}

void DestroyGlContext(GlContext* gl) {
  if (gl == nullptr) return;
  if (!gl->owned) {
    // A captured record names the host's objects: forget them, destroy nothing.
    *gl = GlContext{EGL_NO_DISPLAY, EGL_NO_CONTEXT, EGL_NO_SURFACE, EGL_NO_SURFACE, gl->api, false};
    return;
  }
  if (gl->context != EGL_NO_CONTEXT) {
    egl::MakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (!egl::DestroyContext(gl->display, gl->context)) Fail("GL Context Destruction Failed");
    gl->context = EGL_NO_CONTEXT;
  }
  if (gl->surface != EGL_NO_SURFACE) {
    egl::DestroySurface(gl->display, gl->surface);
    gl->surface = EGL_NO_SURFACE;
    gl->readSurface = EGL_NO_SURFACE;
  }
  if (gl->display != EGL_NO_DISPLAY) {
    // The thread's EGL state goes too, so a thread that ends after this leaks nothing.
    egl::ReleaseThread();
    ReleaseDisplay();
    gl->display = EGL_NO_DISPLAY;
  }
}

bool MakeGlContextCurrent(const GlContext* gl) {
  if (gl != nullptr && gl->context != EGL_NO_CONTEXT) {
    // The injected fault fails the way a context lost to its display does.
    const EGLDisplay display = FXAA_GL_FAULT_DUE(kContextSwitch) ? EGL_NO_DISPLAY : gl->display;
    if (!egl::BindAPI(gl->api) ||
        !egl::MakeCurrent(display, gl->surface, gl->readSurface, gl->context)) {
      Fail("Cannot Set OpenGL Context");
      return false;
    }
    return true;
  }
  // Before EGL is opened, nothing of ours can be current, and nothing of the host's is ours to
  // release.
  if (!egl::IsOpen()) return true;
  EGLDisplay current = egl::GetCurrentDisplay();
  if (current != EGL_NO_DISPLAY)
    egl::MakeCurrent(current, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  // A captured empty record also gives the host back the client API it had bound.
  if (gl != nullptr) egl::BindAPI(gl->api);
  return true;
}

GlContext* CaptureCurrentGlContext() {
  if (!egl::IsOpen())
    return new GlContext{EGL_NO_DISPLAY, EGL_NO_CONTEXT, EGL_NO_SURFACE, EGL_NO_SURFACE,
                         EGL_OPENGL_API, false};
  return new GlContext{egl::GetCurrentDisplay(),          egl::GetCurrentContext(),
                       egl::GetCurrentSurface(EGL_DRAW), egl::GetCurrentSurface(EGL_READ),
                       egl::QueryAPI(),                   false};
}

bool IsGlContextValid(const GlContext* gl) {
  return gl != nullptr && gl->context != EGL_NO_CONTEXT;
}

void FreeGlContextRecord(GlContext* gl) { delete gl; }

std::string GlContextUnavailableReason() {
  std::lock_guard<std::mutex> lock(g_lackMutex);
  if (g_lack.empty()) return {};
  return g_lack +
         "; the effect needs libEGL.so.1 and an OpenGL driver for it: on Debian and Ubuntu the "
         "packages libegl1 and a driver such as libegl-mesa0, on Rocky Linux and Fedora "
         "mesa-libEGL (or libglvnd-egl with the card's driver), in a Flatpak the runtime's GL "
         "extension (org.freedesktop.Platform.GL)";
}
