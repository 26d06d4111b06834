// The portable build's OpenGL 1.1 functions (FXAA_EGL_AT_RUNTIME): the effect calls them by name,
// as GLEW's header declares them, and they are defined here to call what eglGetProcAddress gives,
// so the module links against no GL library. GLEW, which loads every later entry point, asks
// EGL through FxaaEglGetProcAddress (cmake/GlewStatic.cmake renames its eglGetProcAddress).
// The version script keeps all of these inside the module.
#include <GL/glew.h>

#include "gl/egl_library.h"

// Every OpenGL 1.1 function the effect calls: return type, name, parameters, arguments.
#define FXAA_GL11_FUNCTIONS(X)                                                                  \
  X(void, BindTexture, (GLenum target, GLuint texture), (target, texture))                      \
  X(void, Clear, (GLbitfield mask), (mask))                                                     \
  X(void, ClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a))               \
  X(void, ColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a), (r, g, b, a))        \
  X(void, CullFace, (GLenum mode), (mode))                                                      \
  X(void, DeleteTextures, (GLsizei n, const GLuint* textures), (n, textures))                   \
  X(void, Disable, (GLenum cap), (cap))                                                         \
  X(void, Enable, (GLenum cap), (cap))                                                          \
  X(void, Finish, (void), ())                                                                   \
  X(void, GenTextures, (GLsizei n, GLuint* textures), (n, textures))                            \
  X(GLenum, GetError, (void), ())                                                               \
  X(void, GetIntegerv, (GLenum name, GLint* data), (name, data))                                \
  X(void, PixelStorei, (GLenum name, GLint param), (name, param))                               \
  X(void, ReadBuffer, (GLenum mode), (mode))                                                    \
  X(void, ReadPixels,                                                                           \
    (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, GLvoid* pixels),       \
    (x, y, w, h, format, type, pixels))                                                         \
  X(void, TexImage2D,                                                                           \
    (GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,            \
     GLenum format, GLenum type, const GLvoid* pixels),                                         \
    (target, level, internal, w, h, border, format, type, pixels))                              \
  X(void, TexParameteri, (GLenum target, GLenum name, GLint param), (target, name, param))      \
  X(void, TexSubImage2D,                                                                        \
    (GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format,         \
     GLenum type, const GLvoid* pixels),                                                        \
    (target, level, x, y, w, h, format, type, pixels))                                          \
  X(void, Viewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))

namespace {

struct Gl11 {
#define FXAA_GL11_POINTER(result, name, parameters, arguments) result(GLAPIENTRY* name) parameters;
  FXAA_GL11_FUNCTIONS(FXAA_GL11_POINTER)
};
// Written once, before the first context is handed out, under the backend's creation lock;
// eglGetProcAddress's functions dispatch to whichever context is current, so one table serves all.
Gl11 g_gl11{};

}  // namespace

extern "C" {

__eglMustCastToProperFunctionPointerType FxaaEglGetProcAddress(const char* name) {
  return egl_library::GetProcAddress(name);
}

#define FXAA_GL11_DEFINE(result, name, parameters, arguments) \
  result GLAPIENTRY gl##name parameters { return g_gl11.name arguments; }
FXAA_GL11_FUNCTIONS(FXAA_GL11_DEFINE)

}  // extern "C"

bool egl_library::LoadGl11(std::string* missing) {
  if (g_gl11.Viewport != nullptr) return true;
  Gl11 loaded{};
#define FXAA_GL11_LOAD(result, name, parameters, arguments)                      \
  loaded.name = reinterpret_cast<decltype(loaded.name)>(GetProcAddress("gl" #name)); \
  if (loaded.name == nullptr) {                                                  \
    *missing = "gl" #name;                                                       \
    return false;                                                                \
  }
  FXAA_GL11_FUNCTIONS(FXAA_GL11_LOAD)
  g_gl11 = loaded;
  return true;
}
