// Floating-point render targets, the full-target quad, and pixel transfer between host pixel
// worlds and the GPU in the host's own channel and row order.
#pragma once

#include <GL/glew.h>

#include "gl/gl_program.h"
#include "host/host_api.h"

struct RenderTarget {
  GLuint framebuffer = 0;
  GLint width = 0;
  GLint height = 0;
  GLenum internalFormat = 0;
  GLuint texture = 0;
  GLenum textureTarget = 0;
};

RenderTarget CreateRenderTarget(GLint width, GLint height, GLenum wrap, GLenum internalFormat);
GLuint CreateFramebuffer(const RenderTarget& description);
void ReleaseRenderTarget(RenderTarget* target);

// A render target owned by a scope: released on every way out of it, exceptions included, with
// the context that made it still current.
class ScopedRenderTarget {
 public:
  ScopedRenderTarget(GLint width, GLint height, GLenum wrap, GLenum internalFormat)
      : target_(CreateRenderTarget(width, height, wrap, internalFormat)) {}
  ~ScopedRenderTarget() { ReleaseRenderTarget(&target_); }
  ScopedRenderTarget(const ScopedRenderTarget&) = delete;
  ScopedRenderTarget& operator=(const ScopedRenderTarget&) = delete;

  const RenderTarget& get() const { return target_; }
  // Releases it now, before the scope ends.
  void Release() { ReleaseRenderTarget(&target_); }

 private:
  RenderTarget target_;
};
GLuint CreateBuffer(const void* data, GLsizeiptr size, GLenum bufferTarget, GLenum usage);

// positions: 4 vertices x 4 floats; texCoords: 4 vertices x 2 floats.
pod& FillQuadPod(pod& drawing, ShaderProgram program, const UniformMap& uniforms,
                 const float positions[16], const float texCoords[8]);

// rect: x0, y0, x1, y1 texture coordinates, used only with useRect.
void DrawFullQuad(const RenderTarget& target, ShaderProgram program, const UniformMap& uniforms,
                  bool useRect, const double rect[4], bool textureBarrier);

void UploadToTexture(GLuint texture, const PF_EffectWorld* aeBuffer, int bitDepth);
void DownloadFromTarget(const RenderTarget& target, PF_EffectWorld* aeBuffer, int bitDepth,
                        GLenum readBuffer);
