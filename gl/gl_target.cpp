// Render targets (an RGBA32F texture and the frame buffer drawing into it), the full-target quad,
// and pixel transfer to and from host worlds in their own channel and row order.
// Bindings are left at 0 afterwards, except the array buffer CreateBuffer leaves bound and the
// texture units ApplyUniforms chose.
#include "gl/gl_target.h"

#include <algorithm>
#include <cstdint>

#include "gl/diagnostic_sink.h"
#include "gl/gl_fault_hooks.h"

namespace {

// Returns the name written for a frame-buffer status, empty for one without a name.
const char* FramebufferStatusName(GLenum status) {
  switch (status) {
    case GL_FRAMEBUFFER_UNDEFINED: return "GL_FRAMEBUFFER_UNDEFINED";
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT: return "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
      return "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER: return "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER: return "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER";
    case GL_FRAMEBUFFER_UNSUPPORTED: return "GL_FRAMEBUFFER_UNSUPPORTED";
    case GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE: return "GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE";
    case GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS:
      return "GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS";
    default: return "";
  }
}

// Returns the bytes per pixel of a host world at `bitDepth`, or 0 for a depth not handled.
int PixelBytes(int bitDepth) { return bitDepth == 8 ? 4 : bitDepth == 32 ? 16 : 0; }

// Returns the GL component type of host pixels of `pixelBytes` bytes.
GLenum TransferType(int pixelBytes) { return pixelBytes == 16 ? GL_FLOAT : GL_UNSIGNED_BYTE; }

// Returns whether `world` can be transferred at `bitDepth`, printing why not otherwise: a depth
// of 8 or 32, no negative size, and rows at least as long as the image, so that no transfer
// reaches past the end of the host's memory.
bool CanTransfer(const char* operation, const PF_EffectWorld& world, int bitDepth) {
  const int pixelBytes = PixelBytes(bitDepth);
  if (pixelBytes == 0) {
    DiagnosticStream() << "FXAA: " << operation << "() called with unsupported bit depth " << bitDepth
              << std::endl;
    return false;
  }
  if (world.width < 0 || world.height < 0 ||
      static_cast<int64_t>(world.rowbytes) < static_cast<int64_t>(world.width) * pixelBytes) {
    DiagnosticStream() << "FXAA: " << operation << "() called with an aeBuffer of " << world.width << "x"
              << world.height << " pixels and rowbytes " << world.rowbytes << std::endl;
    return false;
  }
  return true;
}

// Returns whether the rows of `world` lie a whole number of pixels apart. Only then can GL's row
// length (counted in pixels) describe them; other rows go one at a time, or GL would place them
// at the wrong addresses and write into the host's row padding.
bool WholePixelRows(const PF_EffectWorld& world, int pixelBytes) {
  return world.rowbytes % pixelBytes == 0;
}

}  // namespace

RenderTarget CreateRenderTarget(GLint width, GLint height, GLenum wrap, GLenum internalFormat) {
  GLenum format = GL_RGBA, type = GL_FLOAT;
  GLint filter = GL_LINEAR;
  if (internalFormat == GL_RGBA32I) {
    DiagnosticStream() << "Image Type is INT" << std::endl;
    format = GL_RGBA_INTEGER;
    type = GL_INT;
    filter = GL_NEAREST;
  }
  RenderTarget target;
  glGenTextures(1, &target.texture);
  glBindTexture(GL_TEXTURE_2D, target.texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(wrap));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(wrap));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  // The injected fault asks for a size no driver gives storage to.
  const GLint storageWidth = FXAA_GL_FAULT_DUE(kTargetStorage) ? -1 : width;
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), storageWidth, height, 0,
               format, type, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  // A size the driver refuses (beyond GL_MAX_TEXTURE_SIZE) leaves the texture without storage,
  // and the frame buffer check below reports it. Its error is taken here so that it is not
  // printed later as the error of an unrelated call.
  ReadGlError();

  target.width = width;
  target.height = height;
  target.internalFormat = internalFormat;
  target.textureTarget = GL_TEXTURE_2D;
  target.framebuffer = CreateFramebuffer(target);
  if (target.framebuffer != 0) {
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }
  return target;
}

GLuint CreateFramebuffer(const RenderTarget& description) {
  GLuint framebuffer = 0;
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  if (description.texture != 0)
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, description.textureTarget,
                           description.texture, 0);
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  if (status == GL_FRAMEBUFFER_COMPLETE) return framebuffer;
  DiagnosticStream() << "Framebuffer Error - " << FramebufferStatusName(status) << "Code: " << status
            << std::endl;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &framebuffer);
  return 0;
}

void ReleaseRenderTarget(RenderTarget* target) {
  if (target == nullptr) return;
  // A target whose frame buffer failed still owns its texture: delete it too.
  if (target->texture != 0) {
    glDeleteTextures(1, &target->texture);
    target->texture = 0;
  }
  if (target->framebuffer != 0) {
    glDeleteFramebuffers(1, &target->framebuffer);
    target->framebuffer = 0;
  }
}

GLuint CreateBuffer(const void* data, GLsizeiptr size, GLenum bufferTarget, GLenum usage) {
  GLuint buffer = 0;
  glGenBuffers(1, &buffer);
  glBindBuffer(bufferTarget, buffer);
  glBufferData(bufferTarget, size, data, usage);
  const GLenum error = ReadGlError();
  if (error != GL_NO_ERROR) DiagnosticStream() << "FXAA: " << "create buffer error: " << error << std::endl;
  return buffer;
}

pod& FillQuadPod(pod& drawing, ShaderProgram program, const UniformMap& uniforms,
                 const float positions[16], const float texCoords[8]) {
  // A fresh description in every draw field; buffers the pod owns already stay its own.
  drawing.drawMode = GL_TRIANGLE_STRIP;
  drawing.firstVertex = 0;
  drawing.vertexCount = 4;
  drawing.indexBuffer = 0;
  drawing.feedbackBuffer = 0;
  drawing.instanceCount = 1;
  drawing.feedbackMode = 0;
  drawing.restartIndex = 0;
  drawing.cullFace = 0;
  drawing.program = program;
  if (drawing.buffers.empty()) {
    drawing.buffers.resize(2);
    drawing.buffers[0] = CreateBuffer(positions, 64, GL_ARRAY_BUFFER, GL_STATIC_DRAW);
    drawing.buffers[1] = CreateBuffer(texCoords, 32, GL_ARRAY_BUFFER, GL_STATIC_DRAW);
  } else {
    DiagnosticStream() << "FXAA: " << "error: pod already has buffers" << std::endl;
  }
  drawing.uniforms = uniforms;
  // A pod that came with fewer than two buffers gets buffer 0 where one is missing.
  const GLuint positionBuffer = drawing.buffers.size() > 0 ? drawing.buffers[0] : 0;
  const GLuint texCoordBuffer = drawing.buffers.size() > 1 ? drawing.buffers[1] : 0;
  drawing.attributes["vertex"] = AttributeSource{positionBuffer, 4, GL_FLOAT, 16};
  drawing.attributes["tex"] = AttributeSource{texCoordBuffer, 2, GL_FLOAT, 8};
  drawing.attributes["texCoordIn"] = drawing.attributes["tex"];
  return drawing;
}

void DrawFullQuad(const RenderTarget& target, ShaderProgram program, const UniformMap& uniforms,
                  bool useRect, const double rect[4], bool textureBarrier) {
  float texCoords[8] = {0, 0, 1, 0, 0, 1, 1, 1};
  if (useRect) {
    const float x0 = float(rect[0]), y0 = float(rect[1]), x1 = float(rect[2]), y1 = float(rect[3]);
    const float corners[8] = {x0, y0, x1, y0, x0, y1, x1, y1};
    std::copy(corners, corners + 8, texCoords);
  }
  const float positions[16] = {-1, -1, 0, 1, 1, -1, 0, 1, -1, 1, 0, 1, 1, 1, 0, 1};
  pod drawing;
  // The pod's buffers go with the draw, however it ends.
  struct BufferOwner {
    pod& owner;
    ~BufferOwner() {
      if (!owner.buffers.empty())
        glDeleteBuffers(static_cast<GLsizei>(owner.buffers.size()), owner.buffers.data());
      owner.buffers.clear();
    }
  } buffers{drawing};
  FillQuadPod(drawing, program, uniforms, positions, texCoords);
  if (textureBarrier && glTextureBarrierNV) glTextureBarrierNV();
  const GLint viewport[4] = {0, 0, target.width, target.height};
  DrawPod(target, viewport, drawing);
}

void UploadToTexture(GLuint texture, const PF_EffectWorld* aeBuffer, int bitDepth) {
  // Texture 0 is the context's default texture: writing there would copy nothing useful, and
  // the error it raises would surface in the next unrelated check.
  const bool noTexture = texture == 0;
  const bool noBuffer = aeBuffer == nullptr || aeBuffer->data == nullptr;
  if (noTexture)
    DiagnosticStream() << "FXAA: " << "UploadToTexture() called without valid texture" << std::endl;
  if (noBuffer)
    DiagnosticStream() << "FXAA: " << "UploadToTexture() called without valid aeBuffer" << std::endl;
  if (noTexture || noBuffer) return;
  const int pixelBytes = PixelBytes(bitDepth);
  if (!CanTransfer("UploadToTexture", *aeBuffer, bitDepth)) return;
  glBindTexture(GL_TEXTURE_2D, texture);
  const uint8_t* data = static_cast<const uint8_t*>(aeBuffer->data);
  if (WholePixelRows(*aeBuffer, pixelBytes)) {
    glPixelStorei(GL_UNPACK_ROW_LENGTH, aeBuffer->rowbytes / pixelBytes);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, aeBuffer->width, aeBuffer->height, GL_RGBA,
                    TransferType(pixelBytes), data);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  } else {
    for (GLint y = 0; y < aeBuffer->height; ++y)
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, y, aeBuffer->width, 1, GL_RGBA,
                      TransferType(pixelBytes), data + size_t(y) * size_t(aeBuffer->rowbytes));
  }
  // The injected fault: an error raised here, read and printed by a later check in the frame.
  if (FXAA_GL_FAULT_DUE(kGlError)) glEnable(0);
  glBindTexture(GL_TEXTURE_2D, 0);
}

void DownloadFromTarget(const RenderTarget& target, PF_EffectWorld* aeBuffer, int bitDepth,
                        GLenum readBuffer) {
  if (aeBuffer == nullptr || aeBuffer->data == nullptr) {
    DiagnosticStream() << "FXAA: " << "DownloadFromTarget() called without valid aeBuffer" << std::endl;
    return;
  }
  if (!CanTransfer("DownloadFromTarget", *aeBuffer, bitDepth)) return;
  // An incomplete target has nothing to read, and reading frame buffer 0 would fetch the
  // context's own drawable instead.
  if (target.framebuffer == 0) {
    DiagnosticStream() << "FXAA: " << "DownloadFromTarget() called without valid framebuffer" << std::endl;
    return;
  }
  // Only what both hold: pixels outside the target are undefined, and the host buffer's own
  // pixels beyond the target are left as they are.
  const int pixelBytes = PixelBytes(bitDepth);
  const GLsizei width = std::min<GLsizei>(aeBuffer->width, target.width);
  const GLsizei height = std::min<GLsizei>(aeBuffer->height, target.height);
  glFinish();
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
  glReadBuffer(readBuffer);
  uint8_t* data = static_cast<uint8_t*>(aeBuffer->data);
  if (width <= 0 || height <= 0) {
    // Nothing overlaps.
  } else if (WholePixelRows(*aeBuffer, pixelBytes)) {
    glPixelStorei(GL_PACK_ROW_LENGTH, aeBuffer->rowbytes / pixelBytes);
    glReadPixels(0, 0, width, height, GL_RGBA, TransferType(pixelBytes), data);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  } else {
    for (GLint y = 0; y < height; ++y)
      glReadPixels(0, y, width, 1, GL_RGBA, TransferType(pixelBytes),
                   data + size_t(y) * size_t(aeBuffer->rowbytes));
  }
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}
