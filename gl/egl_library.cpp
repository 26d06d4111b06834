// The EGL entry points of egl_library.h: linked, or looked up in libEGL.so.1 at the first
// context (FXAA_EGL_AT_RUNTIME).
#include "gl/egl_library.h"

#ifdef FXAA_EGL_AT_RUNTIME
#include <dlfcn.h>

#include <atomic>
#include <mutex>
#endif

#define FXAA_EGL_ENTRY_POINTS(X)                                                             \
  X(BindAPI) X(ChooseConfig) X(CreateContext) X(CreatePbufferSurface) X(DestroyContext)      \
  X(DestroySurface) X(GetCurrentContext) X(GetCurrentDisplay) X(GetCurrentSurface) X(GetError) \
  X(GetPlatformDisplay) X(GetProcAddress) X(Initialize) X(MakeCurrent) X(QueryAPI)           \
  X(QueryString) X(ReleaseThread) X(Terminate)

namespace egl_library {

#ifdef FXAA_EGL_AT_RUNTIME

#define FXAA_EGL_DEFINE(name) decltype(&::egl##name) name = nullptr;
FXAA_EGL_ENTRY_POINTS(FXAA_EGL_DEFINE)

namespace {

std::mutex g_openMutex;
std::atomic<bool> g_open{false};
// Never closed: libEGL and the driver it loads keep state for the whole process, and a host may
// use them too; closing them at our unload would run their clean-up at a time no one chose.
void* g_library = nullptr;

}  // namespace

bool Open(std::string* why) {
  if (g_open.load(std::memory_order_acquire)) return true;
  std::lock_guard<std::mutex> lock(g_openMutex);
  if (g_open.load(std::memory_order_relaxed)) return true;
  if (g_library == nullptr) g_library = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
  if (g_library == nullptr) {
    const char* error = dlerror();
    *why = error != nullptr ? error : "libEGL.so.1 cannot be loaded";
    return false;
  }
#define FXAA_EGL_LOAD(name)                                                        \
  name = reinterpret_cast<decltype(name)>(dlsym(g_library, "egl" #name));          \
  if (name == nullptr) {                                                           \
    *why = "libEGL.so.1 has no egl" #name " (EGL 1.5 is needed)";                  \
    return false;                                                                  \
  }
  FXAA_EGL_ENTRY_POINTS(FXAA_EGL_LOAD)
  g_open.store(true, std::memory_order_release);
  return true;
}

bool IsOpen() { return g_open.load(std::memory_order_acquire); }

#else

#define FXAA_EGL_DEFINE(name) decltype(&::egl##name) name = &::egl##name;
FXAA_EGL_ENTRY_POINTS(FXAA_EGL_DEFINE)

bool Open(std::string*) { return true; }
bool IsOpen() { return true; }
// GL 1.1 is linked from libOpenGL here.
bool LoadGl11(std::string*) { return true; }

#endif

}  // namespace egl_library
