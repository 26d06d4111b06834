// The EGL entry points the context backend calls. In the ordinary Linux build they are the
// linked library's own; in the portable one (FXAA_EGL_AT_RUNTIME) libEGL.so.1 is opened when the
// first context is made, so a module that never renders, or lands where no EGL is, still loads.
// There the OpenGL 1.1 functions the effect calls come through eglGetProcAddress too
// (gl_entry_points.cpp), and GLEW takes its entry points from GetProcAddress.
#pragma once

#include <EGL/egl.h>

#include <string>

namespace egl_library {

// Opens the library and fills the entry points below once; true when they are usable, else
// false with *why saying which library or entry point is missing. Safe from any thread.
bool Open(std::string* why);

// True once Open succeeded: only then may the entry points be called.
bool IsOpen();

// Whether OpenGL's own functions, 1.1 included, must come through GetProcAddress, which EGL
// promises only from 1.5 or with EGL_KHR_get_all_proc_addresses.
constexpr bool kGlThroughEgl =
#ifdef FXAA_EGL_AT_RUNTIME
    true;
#else
    false;
#endif

// Loads the OpenGL 1.1 functions the effect calls (kGlThroughEgl only); false, with the first
// missing name in *missing, when EGL does not give them all.
bool LoadGl11(std::string* missing);

extern decltype(&::eglBindAPI) BindAPI;
extern decltype(&::eglChooseConfig) ChooseConfig;
extern decltype(&::eglCreateContext) CreateContext;
extern decltype(&::eglCreatePbufferSurface) CreatePbufferSurface;
extern decltype(&::eglDestroyContext) DestroyContext;
extern decltype(&::eglDestroySurface) DestroySurface;
extern decltype(&::eglGetCurrentContext) GetCurrentContext;
extern decltype(&::eglGetCurrentDisplay) GetCurrentDisplay;
extern decltype(&::eglGetCurrentSurface) GetCurrentSurface;
extern decltype(&::eglGetError) GetError;
extern decltype(&::eglGetPlatformDisplay) GetPlatformDisplay;
extern decltype(&::eglGetProcAddress) GetProcAddress;
extern decltype(&::eglInitialize) Initialize;
extern decltype(&::eglMakeCurrent) MakeCurrent;
extern decltype(&::eglQueryAPI) QueryAPI;
extern decltype(&::eglQueryString) QueryString;
extern decltype(&::eglReleaseThread) ReleaseThread;
extern decltype(&::eglTerminate) Terminate;

}  // namespace egl_library

#ifdef FXAA_EGL_AT_RUNTIME
// GLEW's eglGetProcAddress, renamed so that it reaches the library opened above.
extern "C" __eglMustCastToProperFunctionPointerType FxaaEglGetProcAddress(const char* name);
#endif
