// The renderer query: a context from the plug-in's own backend (gl/gl_context.h), asked for
// GL_RENDERER, GL_VERSION and the largest frame side (gl/gl_limits.h), then destroyed. The OpenGL
// layer prints only when something fails.
#include "cli/renderer_query.h"

#include <GL/glew.h>

#include <cstdio>
#include <string>

#include "gl/gl_context.h"
#include "gl/gl_limits.h"

namespace fxaa_cli {
namespace {

// A GL string of the current context, or empty when it has none.
std::string GlString(GLenum name) {
  const GLubyte* text = glGetString(name);
  return text ? reinterpret_cast<const char*>(text) : std::string();
}

// The "Renderer:" and "Frames:" lines of a context made as the plug-in makes one, or the one line
// saying why there is none.
std::string DescribeRenderer() {
  GlContext* gl = CreateGlContext(nullptr);
  if (gl == nullptr)
    return "Renderer:   none: no OpenGL 3.2 context could be made (the OpenGL layer printed why, "
           "above)\n";
  const std::string renderer = GlString(GL_RENDERER);
  const std::string version = GlString(GL_VERSION);
  const int largest = LargestFrameSide();
  DestroyGlContext(gl);
  FreeGlContextRecord(gl);
  return "Renderer:   " +
         (renderer.empty() ? "unknown: the OpenGL 3.2 context names no renderer"
                           : renderer + ", OpenGL " + version) +
         "\nFrames:     at most " + std::to_string(largest) +
         " pixels a side (the renderer's largest texture and viewport)\n";
}

}  // namespace

std::ostream& operator<<(std::ostream& out, RendererLine) {
  out.flush();
  std::fflush(stdout);
  const std::string lines = DescribeRenderer();
  std::fflush(stdout);
  return out << lines;
}

int LargestFrameSideHere() {
  static const int largest = QueryLargestFrameSide();
  return largest;
}

}  // namespace fxaa_cli
