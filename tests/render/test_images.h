// Small test images in host order (alpha, red, green, blue) and their transfer into host worlds.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "host_runtime/host.h"

namespace testimages {

struct Argb {
  float a, r, g, b;
};

// Host-order channels (alpha, red, green, blue) of every pixel, rows top first. Images made
// here hold 0..1 for 8-bit content; images read from a world hold its units (bytes as 0..255).
struct Image {
  int width = 0, height = 0;
  std::vector<float> argb;
  float* at(int x, int y) { return &argb[(size_t(y) * width + x) * 4]; }
  const float* at(int x, int y) const { return &argb[(size_t(y) * width + x) * 4]; }
};

inline Image Make(int width, int height, const std::function<Argb(int, int)>& pixel) {
  Image image;
  image.width = width;
  image.height = height;
  image.argb.resize(size_t(width) * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Argb p = pixel(x, y);
      float* out = image.at(x, y);
      out[0] = p.a;
      out[1] = p.r;
      out[2] = p.g;
      out[3] = p.b;
    }
  return image;
}

// A hard edge through the centre at `degrees` from the horizontal, two opaque colours.
inline Image Edge(int width, int height, double degrees) {
  const double t = degrees * 3.14159265358979 / 180.0;
  const double cx = width / 2.0 + 0.3, cy = height / 2.0 - 0.2;
  return Make(width, height, [=](int x, int y) {
    const double side = (x + 0.5 - cx) * std::sin(t) - (y + 0.5 - cy) * std::cos(t);
    return side > 0 ? Argb{1, 1, 1, 1} : Argb{1, 20 / 255.f, 40 / 255.f, 200 / 255.f};
  });
}

// One-pixel lines: a horizontal, a vertical, a shallow and a steep diagonal on grey.
inline Image ThinLines(int width, int height) {
  return Make(width, height, [=](int x, int y) {
    const bool line = y == height / 3 || x == width / 4 || y == x / 3 + 2 || x == y / 2 + width / 2;
    return line ? Argb{1, 1, 240 / 255.f, 10 / 255.f} : Argb{1, 60 / 255.f, 60 / 255.f, 60 / 255.f};
  });
}

// Glyph-like strokes: 5x7 bitmaps of "FXA" with 1-pixel strokes, black on white.
inline Image TextLike(int width, int height) {
  static const char* const kGlyphs[3][7] = {
      {"#####", "#....", "#....", "####.", "#....", "#....", "#...."},
      {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"},
      {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}};
  return Make(width, height, [=](int x, int y) {
    const int gx = (x - 2) / 6, cx = (x - 2) % 6, cy = y - 3;
    bool ink = false;
    if (x >= 2 && gx < 3 && cx < 5 && cy >= 0 && cy < 7) ink = kGlyphs[gx][cy][cx] == '#';
    return ink ? Argb{1, 0, 0, 0} : Argb{1, 1, 1, 1};
  });
}

// An opaque orange disc on a fully transparent background: edges in alpha and colour at once.
inline Image AlphaDisc(int width, int height) {
  const double cx = width * 0.45, cy = height * 0.55, r = std::min(width, height) * 0.35;
  return Make(width, height, [=](int x, int y) {
    const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
    return dx * dx + dy * dy < r * r ? Argb{1, 1, 128 / 255.f, 0} : Argb{0, 0, 0, 0};
  });
}

// Seeded random channels; `levels` 255 gives 8-bit-exact values, 0 any float in [0, scale).
inline Image Random(int width, int height, unsigned seed, int levels, float scale = 1) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  auto value = [&] {
    const float v = unit(rng);
    return levels > 0 ? std::round(v * levels) / levels : v * scale;
  };
  return Make(width, height, [&](int, int) { return Argb{value(), value(), value(), value()}; });
}

inline Image Flat(int width, int height, Argb colour) {
  return Make(width, height, [=](int, int) { return colour; });
}

// Writes `image` into a world (8 bits: value x 255, rounded).
inline void Store(const Image& image, host_runtime::World* world) {
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      for (int c = 0; c < 4; ++c) {
        const float v = image.at(x, y)[c];
        world->setChannel(x, y, c, world->bitDepth() == 32 ? v : std::round(v * 255.0f));
      }
}

// What a world of `bitDepth` holds after Store, in its own units.
inline Image InWorldUnits(const Image& image, int bitDepth) {
  if (bitDepth == 32) return image;
  Image q = image;
  for (float& v : q.argb) v = std::round(std::fmin(1.0f, std::fmax(0.0f, v)) * 255.0f);
  return q;
}

// The world's pixels in its own units.
inline Image Read(const host_runtime::World& world) {
  return Make(world.width(), world.height(), [&](int x, int y) {
    return Argb{world.channel(x, y, 0), world.channel(x, y, 1), world.channel(x, y, 2),
                world.channel(x, y, 3)};
  });
}

}  // namespace testimages
