// Program building and by-name binding of attributes and uniforms. Binding is redone for every
// draw from the program's own list of active names; nothing is cached.
#include "gl/gl_program.h"

#include <cstdio>
#include <cstring>
#include <iomanip>
#include <map>
#include <new>
#include <sstream>

#include "gl/diagnostic_sink.h"
#include "gl/gl_fault_hooks.h"
#include "gl/gl_target.h"

namespace {

// Returns whether a shader-list word names a shader kind (and so is followed by a source).
bool IsShaderKind(uintptr_t word) {
  return word == GL_FRAGMENT_SHADER || word == GL_VERTEX_SHADER || word == GL_GEOMETRY_SHADER;
}

// Returns the value being set, as "Uni Value: " prints it: the words the kind uses, separated
// by spaces; ints signed, unsigned values and texture names unsigned, floats to full precision.
std::string DescribeValue(const UniformValue& value) {
  int count = 0;
  bool isFloat = false;
  switch (value.kind) {
    case kUniformUnsigned: case kUniformInt: case kUniformTexture1D: case kUniformTexture2D:
      count = 1; break;
    case kUniformInt2: count = 2; break;
    case kUniformInt3: count = 3; break;
    case kUniformInt4: count = 4; break;
    case kUniformFloat: count = 1; isFloat = true; break;
    case kUniformFloat2: count = 2; isFloat = true; break;
    case kUniformFloat3: count = 3; isFloat = true; break;
    case kUniformFloat4: count = 4; isFloat = true; break;
    case kUniformMatrix4: count = 16; isFloat = true; break;
    default: break;
  }
  std::ostringstream text;
  text << std::setprecision(9);
  for (int i = 0; i < count; ++i) {
    if (i) text << ' ';
    if (isFloat) {
      float f;
      std::memcpy(&f, &value.words[i], sizeof(f));
      text << f;
    } else if (value.kind == kUniformUnsigned || value.kind >= kUniformTexture1D) {
      text << value.words[i];
    } else {
      text << static_cast<int32_t>(value.words[i]);
    }
  }
  return text.str();
}

// The first GL error the thread has read since TakeGlErrors or ForgetGlErrors. Contexts are
// per thread, so this is the error of the context the thread draws with.
thread_local GLenum t_firstError = GL_NO_ERROR;

}  // namespace

GLenum ReadGlError() {
  const GLenum error = glGetError();
  if (error != GL_NO_ERROR && t_firstError == GL_NO_ERROR) t_firstError = error;
  return error;
}

GLenum TakeGlErrors() {
  // A context may hold several error flags; a lost one may keep answering: bounded.
  for (int i = 0; i < 16 && ReadGlError() != GL_NO_ERROR; ++i) {
  }
  const GLenum first = t_firstError;
  t_firstError = GL_NO_ERROR;
  return first;
}

void ForgetGlErrors() { t_firstError = GL_NO_ERROR; }

UniformValue UniformValue::Int(int32_t value) {
  UniformValue v{kUniformInt, {}};
  v.words[0] = static_cast<uint32_t>(value);
  return v;
}

UniformValue UniformValue::Float(float value) {
  UniformValue v{kUniformFloat, {}};
  std::memcpy(&v.words[0], &value, sizeof(value));
  return v;
}

UniformValue UniformValue::Texture2D(GLuint texture) {
  UniformValue v{kUniformTexture2D, {}};
  v.words[0] = texture;
  return v;
}

ShaderProgram BuildShaderProgram(const uintptr_t* shaderList, const char* prefix) {
  size_t kinds = 0;
  for (const uintptr_t* word = shaderList; *word != 0; ++word) kinds += IsShaderKind(*word);
  std::vector<GLuint> shaders;
  shaders.reserve(kinds);
  if (FXAA_GL_FAULT_DUE(kThrow)) throw std::bad_alloc();

  for (const uintptr_t* word = shaderList; *word != 0; ++word) {
    if (!IsShaderKind(*word)) continue;
    const GLenum kind = static_cast<GLenum>(*word);
    if (word[1] == 0) break;  // a kind whose source is missing: the list ends there
    // The injected fault breaks the source the way a driver that rejects it would.
    const char* first = FXAA_GL_FAULT_DUE(kProgramBuild) ? "#error injected fault\n" : prefix;
    const char* sources[2] = {first ? first : "", reinterpret_cast<const char*>(*++word)};
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 2, sources, nullptr);
    glCompileShader(shader);
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == 1) {
      shaders.push_back(shader);
    } else {
      char log[256] = {};
      glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
      std::fprintf(DiagnosticFile(), "Compile Shader Failed - %s\n", log);
      glDeleteShader(shader);  // left out of the program, and not kept
    }
  }

  ShaderProgram program = glCreateProgram();
  for (GLuint shader : shaders) glAttachShader(program, shader);
  glLinkProgram(program);
  GLint linked = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  ShaderProgram result = program;
  if (linked != 1) {
    char log[256] = {};
    glGetProgramInfoLog(program, sizeof(log), nullptr, log);
    std::fprintf(DiagnosticFile(), "Link Program Failed - %s\n", log);
    result = 0;
  }
  const GLenum error = ReadGlError();
  if (error != GL_NO_ERROR) std::fprintf(DiagnosticFile(), "Prog Error: %i\n", static_cast<int>(error));

  for (GLuint shader : shaders) {
    if (result != 0) glDetachShader(program, shader);
    glDeleteShader(shader);  // the program keeps what it links; a failed one keeps nothing
  }
  if (result == 0) glDeleteProgram(program);
  std::fflush(DiagnosticFile());
  return result;
}

void DeleteShaderProgram(ShaderProgram* programSlot) {
  if (programSlot == nullptr || *programSlot == 0) return;
  glDeleteProgram(*programSlot);
  *programSlot = 0;
}

void BindAttributes(GLuint vertexArray, ShaderProgram program, const AttributeMap& attributes) {
  GLint count = 0;
  glGetProgramiv(program, GL_ACTIVE_ATTRIBUTES, &count);
  if (GLenum error = ReadGlError())
    DiagnosticStream() << "Active Attrib Error: " << std::hex << error << std::dec << std::endl;
  if (count < 1) DiagnosticStream() << "No Active Attribs shader: " << program << std::endl;

  std::map<std::string, GLint> pending;  // ordered, so the "not set" list is by name
  for (GLint i = 0; i < count; ++i) {
    char name[32] = {};
    GLint size = 0;
    GLenum type = 0;
    glGetActiveAttrib(program, static_cast<GLuint>(i), sizeof(name), nullptr, &size, &type, name);
    if (std::strncmp(name, "gl_", 3) == 0) continue;
    const GLint location = glGetAttribLocation(program, name);
    if (location != -1) pending[name] = location;
    if (GLenum error = ReadGlError()) DiagnosticStream() << "Attrib Location:" << name << error << std::endl;
  }

  glBindVertexArray(vertexArray);
  for (auto it = pending.begin(); it != pending.end();) {
    auto source = attributes.find(it->first);
    if (source == attributes.end()) {
      ++it;
      continue;
    }
    glBindBuffer(GL_ARRAY_BUFFER, source->second.buffer);
    if (GLenum error = ReadGlError()) DiagnosticStream() << "Buff:" << error << std::endl;
    const GLuint location = static_cast<GLuint>(it->second);
    glVertexAttribPointer(location, source->second.components, source->second.type, GL_FALSE,
                          source->second.stride, nullptr);
    glEnableVertexAttribArray(location);
    if (GLenum error = ReadGlError()) DiagnosticStream() << " Vertex Attrib: " << error << std::endl;
    it = pending.erase(it);
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindVertexArray(0);

  if (!pending.empty()) {
    DiagnosticStream() << "The Following Attributes are not set:" << std::endl;
    for (const auto& name : pending) DiagnosticStream() << name.first << std::endl;
  }
}

void ApplyUniforms(ShaderProgram program, const UniformMap& uniforms) {
  GLint linked = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (linked != 1) DiagnosticStream() << "Program Not Linked : " << program << std::endl;
  GLint count = 0;
  glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
  if (count < 1) DiagnosticStream() << "No Active Uniforms for prog: " << program << std::endl;

  std::map<std::string, GLint> pending;  // ordered: samplers get units in name order
  for (GLint i = 0; i < count; ++i) {
    char name[32] = {};
    GLint size = 0;
    GLenum type = 0;
    glGetActiveUniform(program, static_cast<GLuint>(i), sizeof(name), nullptr, &size, &type, name);
    pending[name] = glGetUniformLocation(program, name);
  }

  glUseProgram(program);
  GLint unit = 0;
  for (auto it = pending.begin(); it != pending.end();) {
    auto entry = uniforms.find(it->first);
    if (entry == uniforms.end()) {
      ++it;
      continue;
    }
    const GLint location = it->second;
    const UniformValue& v = entry->second;
    GLint i[16];
    GLfloat f[16];
    std::memcpy(i, v.words, sizeof(i));
    std::memcpy(f, v.words, sizeof(f));
    switch (v.kind) {
      case kUniformUnsigned: glUniform1ui(location, v.words[0]); break;
      case kUniformInt: glUniform1i(location, i[0]); break;
      case kUniformInt2: glUniform2i(location, i[0], i[1]); break;
      case kUniformInt3: glUniform3i(location, i[0], i[1], i[2]); break;
      case kUniformInt4: glUniform4i(location, i[0], i[1], i[2], i[3]); break;
      case kUniformFloat: glUniform1f(location, f[0]); break;
      case kUniformFloat2: glUniform2f(location, f[0], f[1]); break;
      case kUniformFloat3: glUniform3f(location, f[0], f[1], f[2]); break;
      case kUniformFloat4: glUniform4f(location, f[0], f[1], f[2], f[3]); break;
      case kUniformMatrix4: glUniformMatrix4fv(location, 1, GL_FALSE, f); break;
      case kUniformTexture1D:
      case kUniformTexture2D:
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(v.kind == kUniformTexture1D ? GL_TEXTURE_1D : GL_TEXTURE_2D, v.words[0]);
        glUniform1i(location, unit);
        break;
      default:
        break;
    }
    if (v.kind >= kUniformUnsigned && v.kind <= kUniformTexture2D) {
      if (GLenum error = ReadGlError()) {
        DiagnosticStream() << "Uniform Error: " << it->first << ":" << location << ":" << error << std::endl;
        DiagnosticStream() << "Uni Index: " << location << std::endl;
        DiagnosticStream() << "Uni Value: " << DescribeValue(v) << std::endl;
      }
      if (v.kind == kUniformTexture1D || v.kind == kUniformTexture2D) ++unit;
    }
    it = pending.erase(it);
  }

  if (!pending.empty()) {
    DiagnosticStream() << "Num Uniforms: " << count << std::endl;
    DiagnosticStream() << "The Following Uniforms are not set:" << std::endl;
    for (const auto& name : pending) DiagnosticStream() << name.first << std::endl;
  }
}

void DrawPod(const RenderTarget& target, const GLint viewport[4], const pod& drawing) {
  // The vertex array goes with the draw, however it ends: binding allocates and may throw.
  struct VertexArrayOwner {
    GLuint name = 0;
    ~VertexArrayOwner() {
      if (name != 0) glDeleteVertexArrays(1, &name);
    }
  } owner;
  glGenVertexArrays(1, &owner.name);
  const GLuint vertexArray = owner.name;
  BindAttributes(vertexArray, drawing.program, drawing.attributes);
  if (FXAA_GL_FAULT_DUE(kThrow)) throw std::bad_alloc();
  ApplyUniforms(drawing.program, drawing.uniforms);
  if (drawing.cullFace != 0) {
    glEnable(GL_CULL_FACE);
    glCullFace(drawing.cullFace);
  }
  if (drawing.restartIndex != 0) {
    glEnable(GL_PRIMITIVE_RESTART);
    glPrimitiveRestartIndex(drawing.restartIndex);
  }
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
  glUseProgram(drawing.program);
  glBindVertexArray(vertexArray);
  if (drawing.feedbackBuffer != 0) {
    glEnable(GL_RASTERIZER_DISCARD);
    glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, drawing.feedbackBuffer);
    glBeginTransformFeedback(drawing.feedbackMode);
  }
  if (drawing.indexBuffer == 0) {
    glDrawArraysInstanced(drawing.drawMode, drawing.firstVertex, drawing.vertexCount,
                          drawing.instanceCount);
  } else {
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, drawing.indexBuffer);
    glDrawElementsInstanced(drawing.drawMode, drawing.vertexCount, GL_UNSIGNED_INT, nullptr,
                            drawing.instanceCount);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  }
  if (drawing.feedbackBuffer != 0) {
    glEndTransformFeedback();
    glDisable(GL_RASTERIZER_DISCARD);
    glBindTransformFeedback(GL_TRANSFORM_FEEDBACK, 0);
  }
  if (drawing.restartIndex != 0) glDisable(GL_PRIMITIVE_RESTART);
  if (drawing.cullFace != 0) glDisable(GL_CULL_FACE);
  glBindVertexArray(0);
  glUseProgram(0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}
