// OpenFX images and the host side's worlds. An OpenFX image runs bottom-up from the pixel at
// (bounds.x1, bounds.y1), its rows rowBytes apart (padded, or negative for a host that stores
// top-down); a world runs top-down from (0, 0), alpha first. Byte images travel as 8-bit
// worlds, 16-bit and float ones as float worlds, as the fxaa tool hands its files over; RGB
// images are opaque.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host_runtime/host.h"
#include "openfx/ofx_api.h"

namespace fxaa_ofx {

struct ImageView {
  uint8_t* data = nullptr;  // the bottom-left pixel
  OfxRectI bounds{};
  int rowBytes = 0;
  int sampleBytes = 1;  // 1 byte, 2 (16-bit), 4 (float)
  int components = 4;   // 4 RGBA, 3 RGB
  bool premultiplied = false;

  int width() const { return bounds.x2 - bounds.x1; }
  int height() const { return bounds.y2 - bounds.y1; }
  // Row `y` in pixel coordinates.
  uint8_t* Row(int y) const { return data + std::ptrdiff_t(y - bounds.y1) * rowBytes; }
};

// Reads `image`'s description through the property suite. False with *why set when the host
// gave no pixels, or a depth or components the plug-in did not ask for.
bool ReadImageView(const OfxPropertySuiteV1& props, OfxPropertySetHandle image, ImageView* view,
                   std::string* why);

// The depth of the world the image travels in: 8 for bytes, 32 (floats) otherwise.
inline int WorldDepthFor(const ImageView& image) { return image.sampleBytes == 1 ? 8 : 32; }

// The image's pixels into `world` (of the image's size and WorldDepthFor depth), top row first,
// straight colour.
void ToWorld(const ImageView& image, host_runtime::World* world);

// Writes the world, which stands at `origin` (its top-left is the pixel (origin.x1, origin.y2 -
// 1)), into `out` over `window` clipped to out's bounds, premultiplied when out is; pixels of
// the window that the world does not cover become transparent black.
void FromWorld(host_runtime::World* world, const OfxRectI& origin, const OfxRectI& window,
               const ImageView& out);

}  // namespace fxaa_ofx
