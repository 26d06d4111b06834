// Test-local helpers: a fixture that owns one context of ours, small GLSL programs built from
// sources, and host pixel worlds backed by vectors.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gl/gl_context.h"
#include "gl/gl_program.h"
#include "gl/gl_target.h"

// The quad vertex program: positions and texture coordinates by the quad pod's names.
inline const char* QuadVertexSource() {
  return "#version 330\n"
         "in vec4 vertex;\n"
         "in vec2 tex;\n"
         "out vec2 out_uvs;\n"
         "void main() { gl_Position = vertex; out_uvs = tex; }\n";
}

// A fragment program that copies "videoTexture" unchanged.
inline const char* CopyFragmentSource() {
  return "#version 330\n"
         "uniform sampler2D videoTexture;\n"
         "in vec2 out_uvs;\n"
         "out vec4 colourOut;\n"
         "void main() { colourOut = texture(videoTexture, out_uvs); }\n";
}

// Builds the quad vertex program with `fragment`.
inline ShaderProgram BuildQuadProgram(const char* fragment, const char* vertex = QuadVertexSource()) {
  const uintptr_t list[] = {GL_VERTEX_SHADER, reinterpret_cast<uintptr_t>(vertex),
                            GL_FRAGMENT_SHADER, reinterpret_cast<uintptr_t>(fragment), 0};
  return BuildShaderProgram(list, "");
}

inline UniformValue Floats(int32_t kind, std::vector<float> values) {
  UniformValue value{kind, {}};
  std::memcpy(value.words, values.data(), values.size() * sizeof(float));
  return value;
}

inline UniformValue Words(int32_t kind, std::vector<uint32_t> values) {
  UniformValue value{kind, {}};
  std::memcpy(value.words, values.data(), values.size() * sizeof(uint32_t));
  return value;
}

inline UniformValue Ints(int32_t kind, std::vector<int32_t> values) {
  UniformValue value{kind, {}};
  std::memcpy(value.words, values.data(), values.size() * sizeof(int32_t));
  return value;
}

// A host pixel world over its own memory, optionally with padding after each row.
struct TestWorld {
  std::vector<uint8_t> memory;
  PF_EffectWorld world{};

  TestWorld(int width, int height, int bitDepth, int paddingPixels = 0, uint8_t fill = 0) {
    const int pixelBytes = bitDepth == 32 ? 16 : 4;
    world.width = width;
    world.height = height;
    world.rowbytes = (width + paddingPixels) * pixelBytes;
    memory.assign(static_cast<size_t>(world.rowbytes) * static_cast<size_t>(height), fill);
    world.data = memory.data();
  }

  uint8_t* Row(int y) { return memory.data() + static_cast<size_t>(y) * world.rowbytes; }
  float* FloatRow(int y) { return reinterpret_cast<float*>(Row(y)); }
};

// Owns one context of ours, current for the test's duration.
class GlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_ = CreateGlContext(nullptr);
    ASSERT_TRUE(IsGlContextValid(context_));
  }
  void TearDown() override {
    DestroyGlContext(context_);
    FreeGlContextRecord(context_);
  }

  GlContext* context_ = nullptr;
};
