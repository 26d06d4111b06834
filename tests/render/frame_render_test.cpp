#include "render/frame_render.h"

#include <gtest/gtest.h>

#include <string>

#include "render/thread_render_data.h"
#include "tests/render/render_unit_support.h"
#include "tests/support/capture_stdout.h"

namespace {

class FrameRenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gate_ = new GlobalGate(true); }
  static void TearDownTestSuite() {
    delete gate_;
    gate_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(gate_->HasRootContext()); }

  // Renders one frame on a fresh thread; *text receives what it printed.
  static PF_Err Render(RenderBlock* block, std::string* text, bool* madeRecord = nullptr) {
    PF_Err err = -1;
    OnFreshThread([&] {
      PF_InData in = InDataFor(gate_->handle());
      PF_OutData out{};
      CaptureStdout capture;
      err = RenderFrame(&in, &out, block);
      *text = capture.Finish();
      if (madeRecord) *madeRecord = local_render_data.get() != nullptr;
    });
    return err;
  }

  static GlobalGate* gate_;
};
GlobalGate* FrameRenderTest::gate_ = nullptr;

void FillPixels8(Pixels* p, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  for (int y = 0; y < p->world.height; ++y)
    for (int x = 0; x < p->world.width; ++x) {
      uint8_t* px = p->At(x, y);
      px[0] = a;
      px[1] = r;
      px[2] = g;
      px[3] = b;
    }
}

TEST_F(FrameRenderTest, OpaqueRedComesBackUnchangedAndTheThreadKeepsItsContext) {
  Pixels input(6, 5, 8), output(6, 5, 8, 0, 0x77);
  FillPixels8(&input, 255, 255, 0, 0);
  RenderBlock block = BlockFor(&input.world, &output.world, 8);
  OnFreshThread([&] {
    PF_InData in = InDataFor(gate_->handle());
    PF_OutData out{};
    EXPECT_EQ(RenderFrame(&in, &out, &block), PF_Err_NONE);
    ThreadRenderData* data = local_render_data.get();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(AnyContextCurrent());
    EXPECT_EQ(glIsProgram(data->fxaaProgram), GL_TRUE) << "the thread's own context is current";
  });
  EXPECT_EQ(output.storage, input.storage);
}

TEST_F(FrameRenderTest, UnsupportedBitDepthIsRefusedBeforeAnyGpuWork) {
  const short depths[] = {16, 0, 1, 24, -8, 64};
  for (short depth : depths) {
    SCOPED_TRACE(depth);
    Pixels input(4, 4, 8, 0, 0xFF), output(4, 4, 8, 0, 0);
    RenderBlock block = BlockFor(&input.world, &output.world, depth);
    std::string text;
    bool madeRecord = true;
    EXPECT_EQ(Render(&block, &text, &madeRecord), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(text, "error on unsupported bit depth err 516 err2 " + std::to_string(depth) + "\n");
    EXPECT_FALSE(madeRecord) << "not even a context was made";
    EXPECT_EQ(output.storage, Pixels(4, 4, 8, 0, 0).storage);
  }
}

// Rows shorter than a row of pixels, or no memory at all, would make the transfers refuse the
// world and the frame come back blank with success; the frame is refused up front instead.
TEST_F(FrameRenderTest, WorldWhoseRowsTheTransfersCannotReachIsRefused) {
  struct Case {
    const char* what;
    bool output;        // the output world is the malformed one
    int rowbytesDelta;  // added to the world's rowbytes
    bool noData;
    int bitDepth;
  };
  const Case cases[] = {
      {"input rows one byte short", false, -1, false, 8},
      {"input rows a pixel short", false, -16, false, 32},
      {"input rows backwards", false, -64, false, 8},
      {"input without memory", false, 0, true, 32},
      {"output rows one byte short", true, -1, false, 32},
      {"output without memory", true, 0, true, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Pixels input(4, 3, c.bitDepth, 0, 0xFF), output(4, 3, c.bitDepth, 0, 0x33);
    Pixels& bad = c.output ? output : input;
    bad.world.rowbytes += c.rowbytesDelta;
    if (c.noData) bad.world.data = nullptr;
    RenderBlock block = BlockFor(&input.world, &output.world, static_cast<short>(c.bitDepth));
    std::string text;
    bool madeRecord = true;
    EXPECT_EQ(Render(&block, &text, &madeRecord), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(text, "error on buffer layout err 516 err2 0\n");
    EXPECT_FALSE(madeRecord) << "refused before any GPU work";
    EXPECT_EQ(output.storage, Pixels(4, 3, c.bitDepth, 0, 0x33).storage) << "nothing written";
  }
}

TEST_F(FrameRenderTest, EmptyFrameDrawsNothingAndSucceeds) {
  const int sizes[][2] = {{0, 0}, {0, 5}, {5, 0}, {-3, 4}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
    Pixels input(0, 0, 8), output(3, 3, 8, 0, 0x42);
    input.world.width = size[0];
    input.world.height = size[1];
    input.world.data = nullptr;  // a host may hand out no memory for an empty layer
    RenderBlock block = BlockFor(&input.world, &output.world, 32);
    std::string text;
    EXPECT_EQ(Render(&block, &text), PF_Err_NONE);
    EXPECT_EQ(text, "");
    EXPECT_EQ(output.storage, Pixels(3, 3, 8, 0, 0x42).storage);
  }
}

TEST_F(FrameRenderTest, InputBeyondTheTextureLimitIsRefused) {
  GLint maxSize = 0;
  OnFreshThread([&] {
    GlContext* context = CreateGlContext(nullptr);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    DestroyGlContext(context);
    FreeGlContextRecord(context);
  });
  ASSERT_GT(maxSize, 0);
  const int sizes[][2] = {{maxSize + 1, 1}, {1, maxSize + 1}};
  for (const auto& size : sizes) {
    Pixels input(size[0], size[1], 8, 0, 0xFF), output(2, 2, 8, 0, 0);
    RenderBlock block = BlockFor(&input.world, &output.world, 8);
    std::string text;
    EXPECT_EQ(Render(&block, &text), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(text, "error on frame size err 4 err2 " + std::to_string(maxSize) + "\n");
    EXPECT_EQ(output.storage, Pixels(2, 2, 8, 0, 0).storage);
  }
}

TEST_F(FrameRenderTest, OutputOfAnotherSizeGetsOnlyTheOverlap) {
  struct Case {
    int inW, inH, outW, outH, outPadding, bitDepth;
  };
  // Hosts pad rows by whole pixels.
  const Case cases[] = {
      {8, 6, 10, 9, 0, 8},  {8, 6, 5, 4, 8, 8},   {8, 6, 12, 3, 4, 8},
      {6, 4, 9, 7, 16, 32}, {6, 4, 3, 2, 32, 32}, {6, 4, 2, 8, 0, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.outW) + "x" + std::to_string(c.outH));
    Pixels input(c.inW, c.inH, c.bitDepth);
    for (size_t i = 0; i < input.storage.size() - 2 * Pixels::kGuard; ++i)
      input.storage[Pixels::kGuard + i] = c.bitDepth == 8 ? uint8_t(255) : uint8_t(i % 4 == 3 ? 0x3F : 0);
    // Every 32-bit channel is 0x3F000000 = 0.5; every 8-bit one 255: a flat image either way.
    Pixels output(c.outW, c.outH, c.bitDepth, c.outPadding, 0x11);
    RenderBlock block = BlockFor(&input.world, &output.world, static_cast<short>(c.bitDepth));
    std::string text;
    EXPECT_EQ(Render(&block, &text), PF_Err_NONE);
    EXPECT_TRUE(output.GuardsIntact());
    for (int y = 0; y < c.outH; ++y) {
      const uint8_t* row = output.At(0, y);
      for (int i = 0; i < output.world.rowbytes; ++i) {
        const int x = i / output.bytesPerPixel;
        const bool inside = x < c.outW && x < c.inW && y < c.inH;
        const uint8_t expected =
            inside ? *(input.At(x, 0) + i % output.bytesPerPixel) : uint8_t(0x11);
        ASSERT_EQ(row[i], expected) << "byte " << i << " of row " << y;
      }
    }
  }
}

}  // namespace
