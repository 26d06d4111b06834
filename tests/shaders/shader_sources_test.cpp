// The program texts compiled into the library are the GLSL files, byte for byte.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "shaders/shader_sources.h"
#include "tests/shaders/embedded_fixture.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

struct EmbeddedProgram {
  const char* file;
  const std::string* text;
  const char* versionLine;
};

const EmbeddedProgram kPrograms[] = {
    {"quad.vert", &kQuadVertexProgram, "#version 330"},
    {"swizzle.frag", &kSwizzleFragmentProgram, "#version 330 core"},
    {"fxaa.frag", &kFxaaFragmentProgram, "#version 330 core"},
};

TEST(ShaderSources, EmbeddedTextsEqualTheirFiles) {
  for (const EmbeddedProgram& program : kPrograms) {
    SCOPED_TRACE(program.file);
    const std::string file = ReadFile(std::string(FXAA_SHADER_DIR) + "/" + program.file);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(*program.text, file);
    // The program build hands the text to GL as a zero-terminated string: no NUL inside.
    EXPECT_EQ(program.text->find('\0'), std::string::npos);
  }
}

TEST(ShaderSources, EachTextStartsWithItsVersionLine) {
  for (const EmbeddedProgram& program : kPrograms) {
    SCOPED_TRACE(program.file);
    EXPECT_EQ(FirstLine(*program.text), program.versionLine);
  }
}

TEST(ShaderSources, SwizzleProgramSaysWhyThePassExists) {
  // The reason for the extra pass travels with the program text.
  EXPECT_NE(kSwizzleFragmentProgram.find("needs no reorder"), std::string::npos);
  EXPECT_NE(kSwizzleFragmentProgram.find("c.gbar"), std::string::npos);
}

TEST(ShaderEmbedding, KeepsEveryByteValueIncludingNul) {
  const std::string file = ReadFile(std::string(FXAA_EMBED_FIXTURE_DIR) + "/all_bytes.bin");
  ASSERT_EQ(kAllByteValuesText.size(), 256u);
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(static_cast<unsigned char>(kAllByteValuesText[i]), i) << "byte " << i;
  EXPECT_EQ(kAllByteValuesText, file);
}

TEST(ShaderEmbedding, EmbedsAnEmptyFileAsAnEmptyText) { EXPECT_TRUE(kEmptyText.empty()); }

}  // namespace
