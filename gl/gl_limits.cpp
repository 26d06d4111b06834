#include "gl/gl_limits.h"

#include <GL/glew.h>

#include <algorithm>

#include "gl/gl_context.h"

int LargestFrameSide() {
  GLint texture = 0;
  GLint viewport[2] = {0, 0};
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
  return std::min({int(texture), int(viewport[0]), int(viewport[1])});
}

int QueryLargestFrameSide() {
  GlContext* gl = CreateGlContext(nullptr);
  const int largest = IsGlContextValid(gl) ? LargestFrameSide() : 0;
  DestroyGlContext(gl);
  FreeGlContextRecord(gl);
  return largest;
}
