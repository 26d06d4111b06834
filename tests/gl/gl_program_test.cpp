// Program building from shader lists, and binding of attributes and uniforms by name, checked
// through what a draw produces and through the diagnostic lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gl/gl_program.h"
#include "gl/gl_target.h"
#include "tests/gl/gl_test_support.h"
#include "tests/support/capture_stdout.h"

namespace {

const char* kBrokenFragment =
    "#version 330\n"
    "out vec4 colourOut;\n"
    "void main() { colourOut = undeclaredValue; }\n";

// Returns whether any name up to `last` is still a shader object in the current context.
bool AnyShaderAlive(GLuint last) {
  for (GLuint name = 1; name <= last; ++name)
    if (glIsShader(name)) return true;
  return false;
}

using BuildShaderProgramTest = GlTest;

TEST_F(BuildShaderProgramTest, FailedShaderIsLeftOutAndItsLogPrinted) {
  const uintptr_t list[] = {GL_VERTEX_SHADER, reinterpret_cast<uintptr_t>(QuadVertexSource()),
                            GL_FRAGMENT_SHADER, reinterpret_cast<uintptr_t>(kBrokenFragment), 0};
  CaptureStdout capture;
  ShaderProgram program = BuildShaderProgram(list, "");
  const std::string text = capture.Finish();

  // The vertex shader alone still links.
  EXPECT_NE(program, 0u);
  EXPECT_EQ(text.rfind("Compile Shader Failed - ", 0), 0u) << text;
  EXPECT_NE(text.find("undeclaredValue"), std::string::npos) << text;
  EXPECT_EQ(text.find("Link Program Failed"), std::string::npos) << text;
  GLint attached = -1;
  glGetProgramiv(program, GL_ATTACHED_SHADERS, &attached);
  EXPECT_EQ(attached, 0);
  EXPECT_FALSE(AnyShaderAlive(program + 4));
  DeleteShaderProgram(&program);
}

TEST_F(BuildShaderProgramTest, LinkFailureReturnsZeroPrintsLogAndKeepsNothing) {
  // The fragment program compiles, but calls a function that no shader defines.
  const char* fragment =
      "#version 330\n"
      "vec4 neverDefined();\n"
      "out vec4 colourOut;\n"
      "void main() { colourOut = neverDefined(); }\n";
  const uintptr_t list[] = {GL_VERTEX_SHADER, reinterpret_cast<uintptr_t>(QuadVertexSource()),
                            GL_FRAGMENT_SHADER, reinterpret_cast<uintptr_t>(fragment), 0};
  CaptureStdout capture;
  const ShaderProgram program = BuildShaderProgram(list, "");
  const std::string text = capture.Finish();
  EXPECT_EQ(program, 0u);
  EXPECT_EQ(text.rfind("Link Program Failed - ", 0), 0u) << text;
  EXPECT_NE(text.find("neverDefined"), std::string::npos) << text;
  for (GLuint name = 1; name < 8; ++name) EXPECT_FALSE(glIsProgram(name)) << name;
  EXPECT_FALSE(AnyShaderAlive(8));
}

TEST_F(BuildShaderProgramTest, SkipsWordsThatAreNotKindsAndPutsPrefixBeforeEverySource) {
  // Sources without a version line: the prefix supplies it and a definition both use.
  const char* vertex =
      "in vec4 vertex;\n"
      "void main() { gl_Position = vertex * SCALE; }\n";
  const char* fragment =
      "uniform float gain;\n"
      "out vec4 colourOut;\n"
      "void main() { colourOut = vec4(gain * SCALE); }\n";
  const uintptr_t list[] = {7,
                            GL_FRAGMENT_SHADER,
                            reinterpret_cast<uintptr_t>(fragment),
                            0x1234,
                            GL_RGBA,
                            GL_VERTEX_SHADER,
                            reinterpret_cast<uintptr_t>(vertex),
                            1,
                            0};
  CaptureStdout capture;
  ShaderProgram program = BuildShaderProgram(list, "#version 330\n#define SCALE 1.0\n");
  EXPECT_EQ(capture.Finish(), "");
  ASSERT_NE(program, 0u);
  EXPECT_NE(glGetAttribLocation(program, "vertex"), -1);
  EXPECT_NE(glGetUniformLocation(program, "gain"), -1);
  DeleteShaderProgram(&program);
}

TEST_F(BuildShaderProgramTest, DeleteZeroesTheSlotAndLeavesAnEmptySlotAlone) {
  ShaderProgram program = BuildQuadProgram(CopyFragmentSource());
  ASSERT_NE(program, 0u);
  const ShaderProgram name = program;
  DeleteShaderProgram(&program);
  EXPECT_EQ(program, 0u);
  EXPECT_FALSE(glIsProgram(name));
  DeleteShaderProgram(&program);
  EXPECT_EQ(program, 0u);
}

// Draws with a program into a fresh 2x2 RGBA32F target and reads back pixel (0, 0).
class BindingTest : public GlTest {
 protected:
  std::vector<float> DrawAndRead(ShaderProgram program, const UniformMap& uniforms,
                                 std::string* printed = nullptr) {
    RenderTarget target = CreateRenderTarget(2, 2, GL_MIRRORED_REPEAT, GL_RGBA32F);
    const double rect[4] = {0, 0, 0, 0};
    CaptureStdout capture;
    DrawFullQuad(target, program, uniforms, false, rect, false);
    const std::string text = capture.Finish();
    if (printed != nullptr) *printed = text;
    TestWorld out(2, 2, 32);
    DownloadFromTarget(target, &out.world, 32, GL_COLOR_ATTACHMENT0);
    ReleaseRenderTarget(&target);
    const float* pixel = out.FloatRow(0);
    return std::vector<float>(pixel, pixel + 4);
  }

  // A 1x1 RGBA32F texture of one colour.
  GLuint SolidTexture(GLenum textureTarget, float r, float g, float b, float a) {
    const float texel[4] = {r, g, b, a};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(textureTarget, texture);
    glTexParameteri(textureTarget, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(textureTarget, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    if (textureTarget == GL_TEXTURE_1D)
      glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA32F, 1, 0, GL_RGBA, GL_FLOAT, texel);
    else
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 1, 1, 0, GL_RGBA, GL_FLOAT, texel);
    glBindTexture(textureTarget, 0);
    textures_.push_back(texture);
    return texture;
  }

  void TearDown() override {
    if (!textures_.empty()) glDeleteTextures(static_cast<GLsizei>(textures_.size()), textures_.data());
    GlTest::TearDown();
  }

  std::vector<GLuint> textures_;
};

struct KindCase {
  const char* name;
  const char* declaration;  // the uniform "value"
  const char* toColour;     // an expression of `value` giving a vec4
  UniformValue value;
  std::vector<float> expected;
};

TEST_F(BindingTest, EveryKindSetsItsUniformByName) {
  const KindCase cases[] = {
      {"unsigned", "uniform uint value;", "vec4(float(value))", Words(kUniformUnsigned, {3000000000u}),
       {3e9f, 3e9f, 3e9f, 3e9f}},
      {"int", "uniform int value;", "vec4(float(value))", Ints(kUniformInt, {-7}), {-7, -7, -7, -7}},
      {"int2", "uniform ivec2 value;", "vec4(value, 0, 0)", Ints(kUniformInt2, {1, -2}),
       {1, -2, 0, 0}},
      {"int3", "uniform ivec3 value;", "vec4(value, 0)", Ints(kUniformInt3, {1, 2, 3}),
       {1, 2, 3, 0}},
      {"int4", "uniform ivec4 value;", "vec4(value)", Ints(kUniformInt4, {4, 3, 2, 1}),
       {4, 3, 2, 1}},
      {"float", "uniform float value;", "vec4(value)", Floats(kUniformFloat, {2.5f}),
       {2.5f, 2.5f, 2.5f, 2.5f}},
      {"float2", "uniform vec2 value;", "vec4(value, 0, 0)", Floats(kUniformFloat2, {0.5f, 1.5f}),
       {0.5f, 1.5f, 0, 0}},
      {"float3", "uniform vec3 value;", "vec4(value, 0)", Floats(kUniformFloat3, {1, 2, 3}),
       {1, 2, 3, 0}},
      {"float4", "uniform vec4 value;", "value", Floats(kUniformFloat4, {-1, 0.25f, 8, 9}),
       {-1, 0.25f, 8, 9}},
      // Column-major, not transposed: column 3 is the translation, row 0 of it is words 12.
      {"matrix4", "uniform mat4 value;", "value * vec4(0, 0, 0, 1)",
       Floats(kUniformMatrix4, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1}), {5, 6, 7, 1}},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string fragment = std::string("#version 330\n") + c.declaration +
                                 "\nout vec4 colourOut;\nvoid main() { colourOut = " + c.toColour +
                                 "; }\n";
    ShaderProgram program = BuildQuadProgram(fragment.c_str());
    ASSERT_NE(program, 0u);
    std::string printed;
    EXPECT_EQ(DrawAndRead(program, {{"value", c.value}}, &printed), c.expected);
    EXPECT_EQ(printed, "");
    DeleteShaderProgram(&program);
  }
}

TEST_F(BindingTest, TextureKindsBindTheirTextureToTheSampler) {
  const char* fragment1D =
      "#version 330\nuniform sampler1D value;\nout vec4 colourOut;\n"
      "void main() { colourOut = texture(value, 0.5); }\n";
  const char* fragment2D =
      "#version 330\nuniform sampler2D value;\nout vec4 colourOut;\n"
      "void main() { colourOut = texture(value, vec2(0.5)); }\n";
  ShaderProgram program1D = BuildQuadProgram(fragment1D);
  ShaderProgram program2D = BuildQuadProgram(fragment2D);
  ASSERT_NE(program1D, 0u);
  ASSERT_NE(program2D, 0u);
  UniformValue texture1D{kUniformTexture1D, {}};
  texture1D.words[0] = SolidTexture(GL_TEXTURE_1D, 0.25f, 0.5f, 0.75f, 1);
  EXPECT_EQ(DrawAndRead(program1D, {{"value", texture1D}}),
            (std::vector<float>{0.25f, 0.5f, 0.75f, 1}));
  EXPECT_EQ(DrawAndRead(program2D, {{"value", UniformValue::Texture2D(SolidTexture(
                                                  GL_TEXTURE_2D, 1, 2, 3, 4))}}),
            (std::vector<float>{1, 2, 3, 4}));
  DeleteShaderProgram(&program1D);
  DeleteShaderProgram(&program2D);
}

TEST_F(BindingTest, TwoSamplersGetUnitsZeroAndOne) {
  const char* fragment =
      "#version 330\nuniform sampler2D firstTexture;\nuniform sampler2D secondTexture;\n"
      "out vec4 colourOut;\n"
      "void main() { colourOut = texture(firstTexture, vec2(0.5)) + 10.0 * "
      "texture(secondTexture, vec2(0.5)); }\n";
  ShaderProgram program = BuildQuadProgram(fragment);
  ASSERT_NE(program, 0u);
  const GLuint first = SolidTexture(GL_TEXTURE_2D, 1, 0, 0, 0);
  const GLuint second = SolidTexture(GL_TEXTURE_2D, 0, 1, 0, 0);
  const UniformMap uniforms = {{"firstTexture", UniformValue::Texture2D(first)},
                               {"secondTexture", UniformValue::Texture2D(second)}};
  EXPECT_EQ(DrawAndRead(program, uniforms), (std::vector<float>{1, 10, 0, 0}));

  ApplyUniforms(program, uniforms);
  GLint unitOfFirst = -1, unitOfSecond = -1;
  glGetUniformiv(program, glGetUniformLocation(program, "firstTexture"), &unitOfFirst);
  glGetUniformiv(program, glGetUniformLocation(program, "secondTexture"), &unitOfSecond);
  EXPECT_EQ(unitOfFirst, 0);
  EXPECT_EQ(unitOfSecond, 1);
  // Textures stay bound to their units after the call.
  GLint bound = 0;
  glActiveTexture(GL_TEXTURE1);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), second);
  glActiveTexture(GL_TEXTURE0);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), first);
  glUseProgram(0);
  DeleteShaderProgram(&program);
}

TEST_F(BindingTest, KindAboveElevenSetsNothingIsNotReportedAndTakesNoUnit) {
  // "aOffset" comes before the sampler in name order, so a unit it took would show.
  const char* fragment =
      "#version 330\nuniform float aOffset;\nuniform sampler2D videoTexture;\n"
      "out vec4 colourOut;\n"
      "void main() { colourOut = texture(videoTexture, vec2(0.5)) + vec4(aOffset); }\n";
  ShaderProgram program = BuildQuadProgram(fragment);
  ASSERT_NE(program, 0u);
  UniformValue unknown = Floats(kUniformFloat, {100});
  unknown.kind = 12;
  const UniformMap uniforms = {
      {"aOffset", unknown},
      {"videoTexture", UniformValue::Texture2D(SolidTexture(GL_TEXTURE_2D, 1, 2, 3, 4))}};
  std::string printed;
  EXPECT_EQ(DrawAndRead(program, uniforms, &printed), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(printed, "");

  ApplyUniforms(program, uniforms);
  GLint unit = -1;
  glGetUniformiv(program, glGetUniformLocation(program, "videoTexture"), &unit);
  EXPECT_EQ(unit, 0);
  glUseProgram(0);
  DeleteShaderProgram(&program);
}

TEST_F(BindingTest, MissingUniformsAreListedByNameAndTheDrawStillHappens) {
  const char* fragment =
      "#version 330\nuniform vec4 colour;\nuniform float gain;\nuniform float bias;\n"
      "out vec4 colourOut;\n"
      "void main() { colourOut = colour * (1.0 + gain) + vec4(bias); }\n";
  ShaderProgram program = BuildQuadProgram(fragment);
  ASSERT_NE(program, 0u);
  std::string printed;
  // Unset uniforms keep their initial 0; the extra entry the program lacks is ignored.
  EXPECT_EQ(DrawAndRead(program,
                        {{"colour", Floats(kUniformFloat4, {1, 2, 3, 4})},
                         {"notInTheProgram", UniformValue::Float(9)}},
                        &printed),
            (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(printed,
            "Num Uniforms: 3\n"
            "The Following Uniforms are not set:\n"
            "bias\n"
            "gain\n");
  DeleteShaderProgram(&program);
}

TEST_F(BindingTest, TexCoordInIsIgnoredSilentlyAndMissingAttributesAreListed) {
  const char* vertexWithExtras =
      "#version 330\nin vec4 vertex;\nin vec2 tex;\nin float weight;\nin vec2 offset;\n"
      "out vec2 out_uvs;\n"
      "void main() { gl_Position = vertex + vec4(offset, 0, 0); out_uvs = tex * weight; }\n";
  const char* fragment =
      "#version 330\nin vec2 out_uvs;\nout vec4 colourOut;\n"
      "void main() { colourOut = vec4(out_uvs, 0, 1); }\n";
  ShaderProgram plain = BuildQuadProgram(fragment);
  ShaderProgram extras = BuildQuadProgram(fragment, vertexWithExtras);
  ASSERT_NE(plain, 0u);
  ASSERT_NE(extras, 0u);

  // Pixel (0, 0) of a 2x2 target samples the quad at its centre, a quarter of the way in.
  std::string printed;
  const std::vector<float> uvs = DrawAndRead(plain, {}, &printed);
  EXPECT_EQ(printed, "No Active Uniforms for prog: " + std::to_string(plain) + "\n");
  // Interpolation may round in the last bits.
  EXPECT_NEAR(uvs[0], 0.25f, 1e-6f);
  EXPECT_NEAR(uvs[1], 0.25f, 1e-6f);

  EXPECT_EQ(DrawAndRead(extras, {}, &printed)[3], 1.0f);
  EXPECT_EQ(printed,
            "The Following Attributes are not set:\n"
            "offset\n"
            "weight\n"
            "No Active Uniforms for prog: " + std::to_string(extras) + "\n");
  DeleteShaderProgram(&plain);
  DeleteShaderProgram(&extras);
}

TEST_F(BindingTest, ActiveNamesAreCutToThirtyOneCharacters) {
  const char* fragment =
      "#version 330\nuniform vec4 colourWithAVeryLongNameOfFortyChars;\nout vec4 colourOut;\n"
      "void main() { colourOut = colourWithAVeryLongNameOfFortyChars; }\n";
  ShaderProgram program = BuildQuadProgram(fragment);
  ASSERT_NE(program, 0u);
  std::string printed;
  EXPECT_EQ(DrawAndRead(program,
                        {{"colourWithAVeryLongNameOfFortyChars", Floats(kUniformFloat4, {1, 1, 1, 1})}},
                        &printed),
            (std::vector<float>{0, 0, 0, 0}));
  EXPECT_EQ(printed,
            "Num Uniforms: 1\n"
            "The Following Uniforms are not set:\n"
            "colourWithAVeryLongNameOfFortyC\n");
  DeleteShaderProgram(&program);
}

TEST_F(BindingTest, UniformErrorPrintsNameLocationCodeAndValue) {
  const char* fragment =
      "#version 330\nuniform float gain;\nuniform int steps;\nout vec4 colourOut;\n"
      "void main() { colourOut = vec4(gain, float(steps), 0, 1); }\n";
  ShaderProgram program = BuildQuadProgram(fragment);
  ASSERT_NE(program, 0u);
  const GLint gain = glGetUniformLocation(program, "gain");
  const GLint steps = glGetUniformLocation(program, "steps");
  struct {
    const char* name;
    UniformValue value;  // of a kind that does not match the uniform's type
    GLint location;
    const char* valueText;
  } cases[] = {
      {"steps", Floats(kUniformFloat4, {0.5f, -0.25f, 1, 2}), steps, "0.5 -0.25 1 2"},
      {"gain", UniformValue::Int(-7), gain, "-7"},
      {"gain", Words(kUniformUnsigned, {4000000000u}), gain, "4000000000"},
      {"gain", Floats(kUniformMatrix4, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}), gain,
       "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.valueText);
    UniformMap uniforms = {{"gain", UniformValue::Float(1)}, {"steps", UniformValue::Int(1)}};
    uniforms[c.name] = c.value;
    CaptureStdout capture;
    ApplyUniforms(program, uniforms);
    EXPECT_EQ(capture.Finish(), std::string("Uniform Error: ") + c.name + ":" +
                                    std::to_string(c.location) + ":1282\n" +
                                    "Uni Index: " + std::to_string(c.location) + "\n" +
                                    "Uni Value: " + c.valueText + "\n");
  }
  glUseProgram(0);
  DeleteShaderProgram(&program);
}

TEST_F(BindingTest, ProgramZeroStillDrawsAndReportsWhatIsMissing) {
  std::string printed;
  EXPECT_EQ(DrawAndRead(0, {{"gain", UniformValue::Float(1)}}, &printed),
            (std::vector<float>{0, 0, 0, 0}));
  EXPECT_EQ(printed,
            "Active Attrib Error: 501\n"
            "No Active Attribs shader: 0\n"
            "Program Not Linked : 0\n"
            "No Active Uniforms for prog: 0\n");
}

TEST_F(BindingTest, UniformValueConstructorsSetKindAndWordZeroOnly) {
  const UniformValue values[] = {UniformValue::Int(-3), UniformValue::Float(1.5f),
                                 UniformValue::Texture2D(42)};
  const int32_t kinds[] = {kUniformInt, kUniformFloat, kUniformTexture2D};
  const uint32_t wordZero[] = {0xFFFFFFFDu, 0x3FC00000u, 42u};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(values[i].kind, kinds[i]);
    EXPECT_EQ(values[i].words[0], wordZero[i]);
    for (int w = 1; w < 16; ++w) EXPECT_EQ(values[i].words[w], 0u) << i << " word " << w;
  }
}

}  // namespace
