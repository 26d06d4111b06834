// Host-owned pixel worlds: layout, channel access and the checks that catch stray writes.
#include <gtest/gtest.h>

#include <cstring>

#include "host_runtime/host.h"

namespace {

using host_runtime::World;

TEST(World, RowsAreWidthTimesPixelSizePlusPadding) {
  const struct {
    int depth, padding, bytesPerPixel;
  } cases[] = {{8, 0, 4}, {8, 3, 4}, {16, 6, 8}, {32, 0, 16}, {32, 20, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.depth * 100 + c.padding);
    World w(7, 5, c.depth, c.padding);
    EXPECT_EQ(w.rowbytes(), 7 * c.bytesPerPixel + c.padding);
    EXPECT_EQ(w.get()->rowbytes, w.rowbytes());
    EXPECT_EQ(w.row(1) - w.row(0), w.rowbytes());
    EXPECT_EQ(World::BitDepthOf(w.get()), c.depth);
    EXPECT_TRUE(w.AllZero());
    EXPECT_TRUE(w.PaddingIntact());
    EXPECT_TRUE(w.GuardsIntact());
  }
}

TEST(World, ChannelsRoundTripAtEachDepth) {
  World w8(3, 2, 8), w16(3, 2, 16), w32(3, 2, 32);
  w8.setChannel(2, 1, 3, 300.f);  // clamped
  w8.setChannel(1, 1, 0, 12.4f);
  EXPECT_EQ(w8.channel(2, 1, 3), 255.f);
  EXPECT_EQ(w8.pixel8(1, 1)->alpha, 12);
  w16.setChannel(0, 1, 2, 32768.f);
  EXPECT_EQ(w16.channel(0, 1, 2), 32768.f);
  w32.setChannel(2, 0, 1, 7.5f);
  EXPECT_EQ(w32.pixelF(2, 0)->red, 7.5f);
  EXPECT_FALSE(w32.AllZero());
}

TEST(World, ChecksDetectWritesOutsideThePixels) {
  const struct {
    const char* where;
    long offset;  // from the first pixel byte; negative: before the rows
    bool guards, padding;
  } cases[] = {
      {"just before the rows", -1, false, true},
      {"first guard byte", -64, false, true},
      {"padding of row 0", 5 * 4, true, false},
      {"just after the rows", 4 * (5 * 4 + 2), false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    World w(5, 4, 8, 2, 64);
    *(w.row(0) + c.offset) ^= 0xFF;
    EXPECT_EQ(w.GuardsIntact(), c.guards);
    EXPECT_EQ(w.PaddingIntact(), c.padding);
    EXPECT_TRUE(w.AllZero());
  }
}

TEST(World, IsForgottenByTheHostOnceDestroyed) {
  PF_EffectWorld* address;
  {
    World w(2, 2, 32);
    address = w.get();
    EXPECT_EQ(World::BitDepthOf(address), 32);
  }
  EXPECT_EQ(World::BitDepthOf(address), 0);
}

}  // namespace
