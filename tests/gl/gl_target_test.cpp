// Render targets, the quad, and pixel transfer between host worlds and the GPU: values, rows
// and padding come back exactly as they went in, and misuse is reported without harm.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "gl/gl_target.h"
#include "tests/gl/gl_test_support.h"
#include "tests/support/capture_stdout.h"

namespace {

constexpr uint8_t kSentinel = 0xA5;

using RenderTargetTest = GlTest;

// Fills every channel byte of an 8-bit world with a distinct pattern covering 0..255.
void FillBytePattern(TestWorld& w) {
  for (int y = 0; y < w.world.height; ++y)
    for (int x = 0; x < w.world.width; ++x) {
      const int i = y * w.world.width + x;
      uint8_t* p = w.Row(y) + 4 * x;
      p[0] = static_cast<uint8_t>(i);
      p[1] = static_cast<uint8_t>(255 - i);
      p[2] = static_cast<uint8_t>(i * 7 + 3);
      p[3] = static_cast<uint8_t>(i * 13 + 5);
    }
}

// Returns whether every byte after each row's last pixel still holds the sentinel.
bool PaddingUntouched(TestWorld& w, int pixelBytes) {
  for (int y = 0; y < w.world.height; ++y)
    for (int b = w.world.width * pixelBytes; b < w.world.rowbytes; ++b)
      if (w.Row(y)[b] != kSentinel) return false;
  return true;
}

TEST_F(RenderTargetTest, EveryByteValueSurvivesARoundTripThroughRgba32f) {
  // 16x16 pixels: channel 0 takes every value 0..255 once.
  for (int padding : {0, 3}) {
    SCOPED_TRACE(padding);
    TestWorld in(16, 16, 8, padding, kSentinel);
    FillBytePattern(in);
    RenderTarget target = CreateRenderTarget(16, 16, GL_MIRRORED_REPEAT, GL_RGBA32F);
    ASSERT_NE(target.framebuffer, 0u);
    UploadToTexture(target.texture, &in.world, 8);
    TestWorld out(16, 16, 8, padding, kSentinel);
    DownloadFromTarget(target, &out.world, 8, GL_COLOR_ATTACHMENT0);
    for (int y = 0; y < 16; ++y)
      EXPECT_EQ(std::memcmp(in.Row(y), out.Row(y), 16 * 4), 0) << "row " << y;
    EXPECT_TRUE(PaddingUntouched(out, 4));
    ReleaseRenderTarget(&target);
  }
}

// Rows whose distance is no whole number of pixels cannot be described by GL's row length;
// each row must still land at its own address, and no byte of the padding may change.
TEST_F(RenderTargetTest, RowsAnyNumberOfBytesApartRoundTripWithTheirPaddingKept) {
  for (int depth : {8, 32}) {
    for (int paddingBytes : {1, 3, 7, 13, 20}) {
      SCOPED_TRACE(std::to_string(depth) + " bits, padding " + std::to_string(paddingBytes));
      const int pixelBytes = depth == 32 ? 16 : 4, width = 5, height = 4;
      auto makeWorld = [&](TestWorld& w) {
        w.world.rowbytes = width * pixelBytes + paddingBytes;
        w.memory.assign(size_t(w.world.rowbytes) * height, kSentinel);
        w.world.data = w.memory.data();
      };
      TestWorld in(width, height, depth), out(width, height, depth);
      makeWorld(in);
      makeWorld(out);
      for (int y = 0; y < height; ++y)
        for (int b = 0; b < width * pixelBytes; ++b)
          in.Row(y)[b] = depth == 8 ? uint8_t(y * 40 + b) : (b % 4 == 3 ? 0x3F : uint8_t(y + b));
      RenderTarget target = CreateRenderTarget(width, height, GL_MIRRORED_REPEAT, GL_RGBA32F);
      UploadToTexture(target.texture, &in.world, depth);
      DownloadFromTarget(target, &out.world, depth, GL_COLOR_ATTACHMENT0);
      for (int y = 0; y < height; ++y)
        EXPECT_EQ(std::memcmp(in.Row(y), out.Row(y), size_t(width) * pixelBytes), 0) << "row " << y;
      EXPECT_TRUE(PaddingUntouched(out, pixelBytes));
      ReleaseRenderTarget(&target);
    }
  }
}

TEST_F(RenderTargetTest, FloatsOutsideZeroToOneSurviveUnclamped) {
  const float values[] = {2.5f, -1.0f, 65504.0f, -0.25f, 1e-30f, 1.0f, 0.0f, 1000.5f};
  TestWorld in(2, 1, 32, 1, kSentinel);
  std::memcpy(in.FloatRow(0), values, sizeof(values));
  RenderTarget target = CreateRenderTarget(2, 1, GL_MIRRORED_REPEAT, GL_RGBA32F);
  UploadToTexture(target.texture, &in.world, 32);
  TestWorld out(2, 1, 32, 1, kSentinel);
  DownloadFromTarget(target, &out.world, 32, GL_COLOR_ATTACHMENT0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out.FloatRow(0)[i], values[i]) << i;
  EXPECT_TRUE(PaddingUntouched(out, 16));
  ReleaseRenderTarget(&target);
}

TEST_F(RenderTargetTest, FloatsReadAsBytesAreClampedAndScaled) {
  const float values[] = {2.5f, -1.0f, 0.5f, 1.0f};
  TestWorld in(1, 1, 32);
  std::memcpy(in.FloatRow(0), values, sizeof(values));
  RenderTarget target = CreateRenderTarget(1, 1, GL_MIRRORED_REPEAT, GL_RGBA32F);
  UploadToTexture(target.texture, &in.world, 32);
  TestWorld out(1, 1, 8);
  DownloadFromTarget(target, &out.world, 8, GL_COLOR_ATTACHMENT0);
  // 0.5 * 255 = 127.5 rounds to even.
  EXPECT_EQ(std::vector<uint8_t>(out.Row(0), out.Row(0) + 4),
            (std::vector<uint8_t>{255, 0, 128, 255}));
  ReleaseRenderTarget(&target);
}

TEST_F(RenderTargetTest, NewTargetReadsBackAsTransparentBlack) {
  RenderTarget target = CreateRenderTarget(5, 3, GL_MIRRORED_REPEAT, GL_RGBA32F);
  EXPECT_EQ(target.width, 5);
  EXPECT_EQ(target.height, 3);
  EXPECT_EQ(target.internalFormat, static_cast<GLenum>(GL_RGBA32F));
  EXPECT_EQ(target.textureTarget, static_cast<GLenum>(GL_TEXTURE_2D));
  ASSERT_NE(target.texture, 0u);
  ASSERT_NE(target.framebuffer, 0u);
  TestWorld out(5, 3, 32, 0, kSentinel);
  DownloadFromTarget(target, &out.world, 32, GL_COLOR_ATTACHMENT0);
  for (uint8_t byte : out.memory) ASSERT_EQ(byte, 0);
  GLint wrap = 0, filter = 0;
  glBindTexture(GL_TEXTURE_2D, target.texture);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(wrap, GL_MIRRORED_REPEAT);
  EXPECT_EQ(filter, GL_LINEAR);
  ReleaseRenderTarget(&target);
}

TEST_F(RenderTargetTest, IntegerTargetIsAnnouncedAndStillMade) {
  CaptureStdout capture;
  RenderTarget target = CreateRenderTarget(2, 2, GL_CLAMP_TO_EDGE, GL_RGBA32I);
  EXPECT_EQ(capture.Finish(), "Image Type is INT\n");
  EXPECT_NE(target.framebuffer, 0u);
  GLint filter = 0;
  glBindTexture(GL_TEXTURE_2D, target.texture);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(filter, GL_NEAREST);
  ReleaseRenderTarget(&target);
}

TEST_F(RenderTargetTest, ReleasingTwiceDeletesOnce) {
  RenderTarget first = CreateRenderTarget(2, 2, GL_MIRRORED_REPEAT, GL_RGBA32F);
  const GLuint texture = first.texture, framebuffer = first.framebuffer;
  ReleaseRenderTarget(&first);
  EXPECT_EQ(first.texture, 0u);
  EXPECT_EQ(first.framebuffer, 0u);
  EXPECT_FALSE(glIsTexture(texture));
  EXPECT_FALSE(glIsFramebuffer(framebuffer));

  // The driver hands the freed names out again; a second release must not reach them.
  RenderTarget second = CreateRenderTarget(2, 2, GL_MIRRORED_REPEAT, GL_RGBA32F);
  ReleaseRenderTarget(&first);
  ReleaseRenderTarget(nullptr);
  EXPECT_TRUE(glIsTexture(second.texture));
  EXPECT_TRUE(glIsFramebuffer(second.framebuffer));
  ReleaseRenderTarget(&second);
}

TEST_F(RenderTargetTest, FramebufferWithoutAttachmentPrintsItsStatusAndIsZero) {
  RenderTarget description;
  description.textureTarget = GL_TEXTURE_2D;
  CaptureStdout capture;
  EXPECT_EQ(CreateFramebuffer(description), 0u);
  EXPECT_EQ(capture.Finish(),
            "Framebuffer Error - GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENTCode: 36055\n");
  GLint bound = -1;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
  EXPECT_EQ(bound, 0);
}

// A target beyond the driver's largest texture gets no storage: its frame buffer is reported
// incomplete, nothing is read through it, and releasing it still frees its texture.
TEST_F(RenderTargetTest, TargetBeyondMaximumSizeIsIncompleteAndHarmless) {
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  ASSERT_GT(maxSize, 0);
  CaptureStdout capture;
  RenderTarget target = CreateRenderTarget(maxSize + 1, 1, GL_MIRRORED_REPEAT, GL_RGBA32F);
  TestWorld out(4, 1, 8, 0, kSentinel);
  DownloadFromTarget(target, &out.world, 8, GL_COLOR_ATTACHMENT0);
  const std::string text = capture.Finish();
  EXPECT_EQ(target.framebuffer, 0u);
  EXPECT_EQ(text.rfind("Framebuffer Error - GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENTCode: 36054\n", 0),
            0u)
      << text;
  EXPECT_NE(text.find("FXAA: DownloadFromTarget() called without valid framebuffer\n"),
            std::string::npos)
      << text;
  for (uint8_t byte : out.memory) ASSERT_EQ(byte, kSentinel);
  const GLuint texture = target.texture;
  ASSERT_NE(texture, 0u);
  ReleaseRenderTarget(&target);
  EXPECT_EQ(target.texture, 0u);
  EXPECT_FALSE(glIsTexture(texture));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RenderTargetTest, DownloadIntoLargerBufferFillsOnlyTheTargetsPixels) {
  RenderTarget target = CreateRenderTarget(2, 2, GL_MIRRORED_REPEAT, GL_RGBA32F);
  TestWorld out(4, 3, 8, 1, kSentinel);
  DownloadFromTarget(target, &out.world, 8, GL_COLOR_ATTACHMENT0);
  for (int y = 0; y < 3; ++y)
    for (int b = 0; b < out.world.rowbytes; ++b)
      ASSERT_EQ(out.Row(y)[b], (y < 2 && b < 2 * 4) ? 0 : kSentinel) << y << " " << b;
  ReleaseRenderTarget(&target);
}

struct MisuseCase {
  const char* name;
  bool upload;
  bool nullWorld;
  bool nullData;
  bool textureZero;
  int bitDepth;
  int rowbytesDelta;  // added to the world's rowbytes
  const char* printed;
};

// Bad arguments print one line and transfer nothing: host memory and texture stay as they were.
TEST_F(RenderTargetTest, MisusedTransfersPrintALineAndTransferNothing) {
  const MisuseCase cases[] = {
      {"upload, texture 0", true, false, false, true, 8, 0,
       "FXAA: UploadToTexture() called without valid texture\n"},
      {"upload, texture 0 and no world", true, true, false, true, 8, 0,
       "FXAA: UploadToTexture() called without valid texture\n"
       "FXAA: UploadToTexture() called without valid aeBuffer\n"},
      {"upload, no world", true, true, false, false, 8, 0,
       "FXAA: UploadToTexture() called without valid aeBuffer\n"},
      {"upload, no pixels", true, false, true, false, 8, 0,
       "FXAA: UploadToTexture() called without valid aeBuffer\n"},
      {"upload, 16 bits", true, false, false, false, 16, 0,
       "FXAA: UploadToTexture() called with unsupported bit depth 16\n"},
      {"upload, short rows", true, false, false, false, 8, -4,
       "FXAA: UploadToTexture() called with an aeBuffer of 2x2 pixels and rowbytes 4\n"},
      {"download, no world", false, true, false, false, 8, 0,
       "FXAA: DownloadFromTarget() called without valid aeBuffer\n"},
      {"download, 16 bits", false, false, false, false, 16, 0,
       "FXAA: DownloadFromTarget() called with unsupported bit depth 16\n"},
      {"download, negative rows", false, false, false, false, 8, -16,
       "FXAA: DownloadFromTarget() called with an aeBuffer of 2x2 pixels and rowbytes -8\n"},
  };
  for (const MisuseCase& c : cases) {
    SCOPED_TRACE(c.name);
    RenderTarget target = CreateRenderTarget(2, 2, GL_MIRRORED_REPEAT, GL_RGBA32F);
    TestWorld world(2, 2, 8, 0, kSentinel);
    world.world.rowbytes += c.rowbytesDelta;
    if (c.nullData) world.world.data = nullptr;
    PF_EffectWorld* argument = c.nullWorld ? nullptr : &world.world;
    CaptureStdout capture;
    if (c.upload)
      UploadToTexture(c.textureZero ? 0 : target.texture, argument, c.bitDepth);
    else
      DownloadFromTarget(target, argument, c.bitDepth, GL_COLOR_ATTACHMENT0);
    EXPECT_EQ(capture.Finish(), c.printed);
    for (uint8_t byte : world.memory) ASSERT_EQ(byte, kSentinel);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // The target is still all zero.
    TestWorld check(2, 2, 8, 0, kSentinel);
    DownloadFromTarget(target, &check.world, 8, GL_COLOR_ATTACHMENT0);
    for (uint8_t byte : check.memory) ASSERT_EQ(byte, 0);
    ReleaseRenderTarget(&target);
  }
}

// Each transfer puts back what it changed: row lengths, texture and frame-buffer bindings.
TEST_F(RenderTargetTest, TransfersLeaveRowLengthsAndBindingsAtZero) {
  RenderTarget target = CreateRenderTarget(3, 2, GL_MIRRORED_REPEAT, GL_RGBA32F);
  ASSERT_NE(target.framebuffer, 0u);
  for (const int bitDepth : {8, 32}) {
    for (const bool upload : {true, false}) {
      SCOPED_TRACE(std::to_string(bitDepth) + (upload ? " upload" : " download"));
      TestWorld world(3, 2, bitDepth, 2, kSentinel);
      if (upload)
        UploadToTexture(target.texture, &world.world, bitDepth);
      else
        DownloadFromTarget(target, &world.world, bitDepth, GL_COLOR_ATTACHMENT0);
      const GLenum queries[] = {GL_UNPACK_ROW_LENGTH, GL_PACK_ROW_LENGTH, GL_TEXTURE_BINDING_2D,
                                GL_FRAMEBUFFER_BINDING, GL_PIXEL_PACK_BUFFER_BINDING};
      for (const GLenum query : queries) {
        GLint value = -1;
        glGetIntegerv(query, &value);
        EXPECT_EQ(value, 0) << std::hex << query;
      }
      EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
  }
  ReleaseRenderTarget(&target);
}

TEST_F(RenderTargetTest, CreateBufferReportsAGlErrorAndStillReturnsTheName) {
  const float data[4] = {};
  CaptureStdout capture;
  const GLuint good = CreateBuffer(data, sizeof(data), GL_ARRAY_BUFFER, GL_STATIC_DRAW);
  EXPECT_EQ(capture.Finish(), "");
  GLint bound = 0;
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), good);

  CaptureStdout failing;
  GLuint bad = CreateBuffer(data, -1, GL_ARRAY_BUFFER, GL_STATIC_DRAW);
  EXPECT_EQ(failing.Finish(), "FXAA: create buffer error: 1281\n");
  EXPECT_NE(bad, 0u);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glDeleteBuffers(1, &bad);
  glDeleteBuffers(1, &good);
}

TEST_F(RenderTargetTest, FillQuadPodDescribesTheQuadAndKeepsBuffersItHasAlready) {
  const float positions[16] = {-1, -1, 0, 1, 1, -1, 0, 1, -1, 1, 0, 1, 1, 1, 0, 1};
  const float texCoords[8] = {0, 0, 1, 0, 0, 1, 1, 1};
  const UniformMap uniforms = {{"gain", UniformValue::Float(2)}};
  pod drawing;
  drawing.cullFace = GL_BACK;
  drawing.instanceCount = 3;
  FillQuadPod(drawing, 7, uniforms, positions, texCoords);
  EXPECT_EQ(drawing.drawMode, static_cast<GLenum>(GL_TRIANGLE_STRIP));
  EXPECT_EQ(drawing.vertexCount, 4);
  EXPECT_EQ(drawing.instanceCount, 1);
  EXPECT_EQ(drawing.cullFace, 0u);
  EXPECT_EQ(drawing.program, 7u);
  ASSERT_EQ(drawing.buffers.size(), 2u);
  ASSERT_EQ(drawing.uniforms.count("gain"), 1u);
  ASSERT_EQ(drawing.attributes.size(), 3u);
  const AttributeSource& vertex = drawing.attributes.at("vertex");
  const AttributeSource& tex = drawing.attributes.at("tex");
  const AttributeSource& texCoordIn = drawing.attributes.at("texCoordIn");
  EXPECT_EQ(vertex.buffer, drawing.buffers[0]);
  EXPECT_EQ(vertex.components, 4);
  EXPECT_EQ(vertex.stride, 16);
  EXPECT_EQ(tex.buffer, drawing.buffers[1]);
  EXPECT_EQ(tex.components, 2);
  EXPECT_EQ(tex.stride, 8);
  EXPECT_EQ(texCoordIn.buffer, tex.buffer);
  EXPECT_EQ(texCoordIn.type, static_cast<GLenum>(GL_FLOAT));
  float read[8] = {};
  glBindBuffer(GL_ARRAY_BUFFER, drawing.buffers[1]);
  glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(read), read);
  EXPECT_EQ(std::memcmp(read, texCoords, sizeof(read)), 0);

  const std::vector<GLuint> buffers = drawing.buffers;
  CaptureStdout capture;
  FillQuadPod(drawing, 8, uniforms, positions, texCoords);
  EXPECT_EQ(capture.Finish(), "FXAA: error: pod already has buffers\n");
  EXPECT_EQ(drawing.buffers, buffers);
  EXPECT_EQ(drawing.program, 8u);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glDeleteBuffers(2, drawing.buffers.data());
}

class QuadTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    copy_ = BuildQuadProgram(CopyFragmentSource());
    ASSERT_NE(copy_, 0u);
  }
  void TearDown() override {
    DeleteShaderProgram(&copy_);
    GlTest::TearDown();
  }
  ShaderProgram copy_ = 0;
};

// The quad puts texture row 0 on window row 0: a pass keeps the rows in their order.
TEST_F(QuadTest, FullQuadPassKeepsRowsAndColumnsInPlace) {
  TestWorld in(3, 4, 8, 2, kSentinel);
  FillBytePattern(in);
  RenderTarget source = CreateRenderTarget(3, 4, GL_MIRRORED_REPEAT, GL_RGBA32F);
  RenderTarget result = CreateRenderTarget(3, 4, GL_MIRRORED_REPEAT, GL_RGBA32F);
  UploadToTexture(source.texture, &in.world, 8);
  const double rect[4] = {0, 0, 0, 0};
  CaptureStdout capture;
  DrawFullQuad(result, copy_, {{"videoTexture", UniformValue::Texture2D(source.texture)}}, false,
               rect, false);
  EXPECT_EQ(capture.Finish(), "");
  TestWorld out(3, 4, 8, 2, kSentinel);
  DownloadFromTarget(result, &out.world, 8, GL_COLOR_ATTACHMENT0);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(std::memcmp(in.Row(y), out.Row(y), 3 * 4), 0) << y;
  EXPECT_TRUE(PaddingUntouched(out, 4));

  // Bindings are back at 0.
  GLint program = -1, framebuffer = -1, vertexArray = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
  glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
  EXPECT_EQ(program, 0);
  EXPECT_EQ(framebuffer, 0);
  EXPECT_EQ(vertexArray, 0);
  ReleaseRenderTarget(&source);
  ReleaseRenderTarget(&result);
}

TEST_F(QuadTest, RectChoosesTheTextureCoordinatesOfTheCorners) {
  // A 2x1 source: left texel 0.25, right texel 0.75 in every channel.
  const float texels[8] = {0.25f, 0.25f, 0.25f, 0.25f, 0.75f, 0.75f, 0.75f, 0.75f};
  TestWorld in(2, 1, 32);
  std::memcpy(in.FloatRow(0), texels, sizeof(texels));
  RenderTarget source = CreateRenderTarget(2, 1, GL_MIRRORED_REPEAT, GL_RGBA32F);
  UploadToTexture(source.texture, &in.world, 32);
  const UniformMap uniforms = {{"videoTexture", UniformValue::Texture2D(source.texture)}};
  for (const float texel : {0.25f, 0.75f}) {
    SCOPED_TRACE(texel);
    // Every corner at the centre of one texel: the whole target shows that texel.
    const double rect[4] = {texel, 0.5, texel, 0.5};
    RenderTarget result = CreateRenderTarget(4, 2, GL_MIRRORED_REPEAT, GL_RGBA32F);
    DrawFullQuad(result, copy_, uniforms, true, rect, true);
    TestWorld out(4, 2, 32);
    DownloadFromTarget(result, &out.world, 32, GL_COLOR_ATTACHMENT0);
    for (int y = 0; y < 2; ++y)
      for (int i = 0; i < 16; ++i) EXPECT_NEAR(out.FloatRow(y)[i], texel, 1e-6f);
    ReleaseRenderTarget(&result);
  }
  ReleaseRenderTarget(&source);
}

TEST_F(QuadTest, QuadBuffersAndVertexArrayAreDeletedAfterTheDraw) {
  RenderTarget result = CreateRenderTarget(2, 2, GL_MIRRORED_REPEAT, GL_RGBA32F);
  const double rect[4] = {0, 0, 0, 0};
  CaptureStdout capture;  // "videoTexture" is reported as not set
  DrawFullQuad(result, copy_, {}, false, rect, false);
  capture.Finish();
  // Names are handed out afresh from 1 in a new context; none of the first few survive.
  for (GLuint name = 1; name < 16; ++name) {
    EXPECT_FALSE(glIsBuffer(name)) << name;
    EXPECT_FALSE(glIsVertexArray(name)) << name;
  }
  ReleaseRenderTarget(&result);
}

}  // namespace
