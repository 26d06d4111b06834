// Program building, binding of attributes and uniforms by name, and drawing a pod.
// Requires a current context; every failure is printed, nothing is thrown or returned.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct RenderTarget;

typedef GLuint ShaderProgram;

enum UniformKind : int32_t {
  kUniformUnsigned = 0,
  kUniformInt = 1,
  kUniformInt2 = 2,
  kUniformInt3 = 3,
  kUniformInt4 = 4,
  kUniformFloat = 5,
  kUniformFloat2 = 6,
  kUniformFloat3 = 7,
  kUniformFloat4 = 8,
  kUniformMatrix4 = 9,
  kUniformTexture1D = 10,
  kUniformTexture2D = 11,
};

struct UniformValue {
  int32_t kind;
  uint32_t words[16];

  static UniformValue Int(int32_t value);
  static UniformValue Float(float value);
  static UniformValue Texture2D(GLuint texture);
};

typedef std::unordered_map<std::string, UniformValue> UniformMap;

struct AttributeSource {
  GLuint buffer;
  GLint components;
  GLenum type;
  GLsizei stride;
};

typedef std::unordered_map<std::string, AttributeSource> AttributeMap;

// One draw and the buffers it owns.
struct pod {
  GLenum drawMode = 0;
  GLint firstVertex = 0;
  GLsizei vertexCount = 0;
  GLuint indexBuffer = 0;
  GLuint feedbackBuffer = 0;
  GLsizei instanceCount = 1;
  GLenum feedbackMode = 0;
  GLuint restartIndex = 0;
  GLenum cullFace = 0;
  ShaderProgram program = 0;
  UniformMap uniforms;
  AttributeMap attributes;
  std::vector<GLuint> buffers;
};

// shaderList: pointer-sized words ended by 0; a shader kind word is followed by the address of
// its zero-terminated source. `prefix` goes before every source. Returns 0 when linking fails.
ShaderProgram BuildShaderProgram(const uintptr_t* shaderList, const char* prefix);

// GL errors. Every check in this layer reads errors through ReadGlError, which also keeps the
// first error the calling thread saw, so that a frame learns at its end of an error that an
// earlier check read and printed. TakeGlErrors drains the current context's pending errors and
// returns the first error kept or pending since the last call (GL_NO_ERROR when none), and
// forgets them; ForgetGlErrors forgets what is kept without any GL call.
GLenum ReadGlError();
GLenum TakeGlErrors();
void ForgetGlErrors();

// Deletes a non-zero program and zeroes the slot.
void DeleteShaderProgram(ShaderProgram* programSlot);

void BindAttributes(GLuint vertexArray, ShaderProgram program, const AttributeMap& attributes);
void ApplyUniforms(ShaderProgram program, const UniformMap& uniforms);

// viewport: x, y, width, height.
void DrawPod(const RenderTarget& target, const GLint viewport[4], const pod& drawing);
