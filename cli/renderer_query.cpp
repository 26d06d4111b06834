// The renderer query: a context from the plug-in's own backend (gl/gl_context.h), asked for
// GL_RENDERER and GL_VERSION, then destroyed. The OpenGL layer prints only when something fails.
#include "cli/renderer_query.h"

#include <GL/glew.h>

#include <cstdio>
#include <string>

#include "gl/gl_context.h"

namespace fxaa_cli {
namespace {

// A GL string of the current context, or empty when it has none.
std::string GlString(GLenum name) {
  const GLubyte* text = glGetString(name);
  return text ? reinterpret_cast<const char*>(text) : std::string();
}

// "<renderer>, OpenGL <version>" of a context made as the plug-in makes one, or why there is none.
std::string DescribeRenderer() {
  GlContext* gl = CreateGlContext(nullptr);
  if (gl == nullptr)
    return "none: no OpenGL 3.2 context could be made (the OpenGL layer printed why, above)";
  const std::string renderer = GlString(GL_RENDERER);
  const std::string version = GlString(GL_VERSION);
  DestroyGlContext(gl);
  FreeGlContextRecord(gl);
  if (renderer.empty()) return "unknown: the OpenGL 3.2 context names no renderer";
  return renderer + ", OpenGL " + version;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, RendererLine) {
  out.flush();
  std::fflush(stdout);
  const std::string renderer = DescribeRenderer();
  std::fflush(stdout);
  return out << "Renderer:   " << renderer << "\n";
}

}  // namespace fxaa_cli
