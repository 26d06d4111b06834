#include "tests/reliability/max_texture_size.h"

#include <GL/glew.h>

#include <thread>

#include "gl/gl_context.h"

namespace reliability {

int MaxTextureSize() {
  GLint size = 0;
  // A thread of its own, so that no context of the test stays current anywhere afterwards.
  std::thread([&size] {
    GlContext* context = CreateGlContext(nullptr);
    if (IsGlContextValid(context)) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    DestroyGlContext(context);
    FreeGlContextRecord(context);
  }).join();
  return size;
}

}  // namespace reliability
