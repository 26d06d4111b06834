#include "bench/bare_pipeline.h"

#include <cstdint>

#include "bench/stage_clock.h"
#include "gl/gl_context.h"
#include "gl/gl_program.h"
#include "gl/gl_target.h"
#include "shaders/shader_sources.h"

namespace {

// Builds the quad vertex program with `fragment`; 0 on failure (BuildShaderProgram prints why).
ShaderProgram BuildWithQuad(const std::string& fragment) {
  const uintptr_t list[5] = {GL_VERTEX_SHADER, reinterpret_cast<uintptr_t>(kQuadVertexProgram.c_str()),
                             GL_FRAGMENT_SHADER, reinterpret_cast<uintptr_t>(fragment.c_str()), 0};
  return BuildShaderProgram(list, "");
}

// Returns a vertex array feeding `program`'s "vertex" and "tex" from the two quad buffers.
GLuint MakeQuadVao(ShaderProgram program, const GLuint buffers[2]) {
  GLuint vao = 0;
  glGenVertexArrays(1, &vao);
  glBindVertexArray(vao);
  const GLint vertex = glGetAttribLocation(program, "vertex");
  const GLint tex = glGetAttribLocation(program, "tex");
  if (vertex >= 0) {
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glEnableVertexAttribArray(static_cast<GLuint>(vertex));
    glVertexAttribPointer(static_cast<GLuint>(vertex), 4, GL_FLOAT, GL_FALSE, 16, nullptr);
  }
  if (tex >= 0) {
    glBindBuffer(GL_ARRAY_BUFFER, buffers[1]);
    glEnableVertexAttribArray(static_cast<GLuint>(tex));
    glVertexAttribPointer(static_cast<GLuint>(tex), 2, GL_FLOAT, GL_FALSE, 8, nullptr);
  }
  glBindVertexArray(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  return vao;
}

// Draws the full-target quad into `target` with `program` reading `texture` on unit 0.
void DrawPass(const RenderTarget& target, ShaderProgram program, GLuint vao, GLuint texture) {
  glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
  glViewport(0, 0, target.width, target.height);
  glUseProgram(program);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, texture);
  glBindVertexArray(vao);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glBindVertexArray(0);
  glBindTexture(GL_TEXTURE_2D, 0);
  glUseProgram(0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

}  // namespace

BarePipeline::BarePipeline() {
  context_ = CreateGlContext(nullptr);
  if (!IsGlContextValid(context_)) return;
  const GLubyte* name = glGetString(GL_RENDERER);
  renderer_ = name ? reinterpret_cast<const char*>(name) : "unknown";
  const GLubyte* version = glGetString(GL_VERSION);
  version_ = version ? reinterpret_cast<const char*>(version) : "unknown";
  swizzleProgram_ = BuildWithQuad(kSwizzleFragmentProgram);
  fxaaProgram_ = BuildWithQuad(kFxaaFragmentProgram);
  if (swizzleProgram_ == 0 || fxaaProgram_ == 0) return;
  // The same corners and texture coordinates as the plug-in's full-target quad.
  const float positions[16] = {-1, -1, 0, 1, 1, -1, 0, 1, -1, 1, 0, 1, 1, 1, 0, 1};
  const float texCoords[8] = {0, 0, 1, 0, 0, 1, 1, 1};
  buffers_[0] = CreateBuffer(positions, sizeof(positions), GL_ARRAY_BUFFER, GL_STATIC_DRAW);
  buffers_[1] = CreateBuffer(texCoords, sizeof(texCoords), GL_ARRAY_BUFFER, GL_STATIC_DRAW);
  swizzleVao_ = MakeQuadVao(swizzleProgram_, buffers_);
  fxaaVao_ = MakeQuadVao(fxaaProgram_, buffers_);
  glUseProgram(swizzleProgram_);
  glUniform1i(glGetUniformLocation(swizzleProgram_, "videoTexture"), 0);
  glUseProgram(0);
  ok_ = true;
}

BarePipeline::~BarePipeline() {
  if (context_ == nullptr) return;
  MakeGlContextCurrent(context_);
  if (swizzleVao_ != 0) glDeleteVertexArrays(1, &swizzleVao_);
  if (fxaaVao_ != 0) glDeleteVertexArrays(1, &fxaaVao_);
  if (buffers_[0] != 0) glDeleteBuffers(2, buffers_);
  DeleteShaderProgram(&swizzleProgram_);
  DeleteShaderProgram(&fxaaProgram_);
  DestroyGlContext(context_);
  FreeGlContextRecord(context_);
  context_ = nullptr;
}

void BarePipeline::Configure(int width, int height, int mode) {
  MakeGlContextCurrent(context_);
  width_ = width;
  height_ = height;
  // The values the plug-in derives from its default parameters at full resolution.
  const GLuint p = fxaaProgram_;
  glUseProgram(p);
  glUniform1i(glGetUniformLocation(p, "videoTexture"), 0);
  glUniform1i(glGetUniformLocation(p, "resX"), width);
  glUniform1i(glGetUniformLocation(p, "resY"), height);
  glUniform1i(glGetUniformLocation(p, "modeL"), mode);
  glUniform1f(glGetUniformLocation(p, "adaptiveX"), 1.0f);
  glUniform1f(glGetUniformLocation(p, "strength"), 1.0f);
  glUniform1f(glGetUniformLocation(p, "span"), 8.0f);
  glUniform1f(glGetUniformLocation(p, "reduce_mult"), 0.125f);
  glUniform1f(glGetUniformLocation(p, "reduce_min"), 0.0078125f);
  glUseProgram(0);
}

void BarePipeline::Render(const PF_EffectWorld* input, PF_EffectWorld* output, int bitDepth,
                          fxaa_bench::StageClock* stages) {
  auto done = [stages](RenderStage stage) {
    if (stages != nullptr) stages->Done(stage);
  };
  // The plug-in switches to its own context every frame; so does this.
  MakeGlContextCurrent(context_);
  done(RenderStage::kContextSwitch);
  RenderTarget upload = CreateRenderTarget(width_, height_, GL_MIRRORED_REPEAT, GL_RGBA32F);
  RenderTarget swizzle = CreateRenderTarget(width_, height_, GL_MIRRORED_REPEAT, GL_RGBA32F);
  done(RenderStage::kTargetCreation);
  UploadToTexture(upload.texture, input, bitDepth);
  done(RenderStage::kUpload);
  DrawPass(swizzle, swizzleProgram_, swizzleVao_, upload.texture);
  done(RenderStage::kSwizzlePass);
  ReleaseRenderTarget(&upload);
  done(RenderStage::kRelease);
  RenderTarget fxaa = CreateRenderTarget(width_, height_, GL_MIRRORED_REPEAT, GL_RGBA32F);
  done(RenderStage::kTargetCreation);
  DrawPass(fxaa, fxaaProgram_, fxaaVao_, swizzle.texture);
  done(RenderStage::kFxaaPass);
  DownloadFromTarget(fxaa, output, bitDepth, GL_COLOR_ATTACHMENT0);
  done(RenderStage::kReadBack);
  ReleaseRenderTarget(&swizzle);
  ReleaseRenderTarget(&fxaa);
  done(RenderStage::kRelease);
}
