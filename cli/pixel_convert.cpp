#include "cli/pixel_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace fxaa_cli {

int RowPaddingFor(int width, int bitDepth) {
  const int used = width * host_runtime::World::BytesPerPixel(bitDepth);
  const int aligned = (used + 63) / 64 * 64;
  return aligned - used + 64;
}

std::unique_ptr<host_runtime::World> ImageToWorld(const Image& image) {
  const int depth = image.worldDepth();
  auto world = std::make_unique<host_runtime::World>(image.width, image.height, depth,
                                                RowPaddingFor(image.width, depth));
  const size_t rowBytes = size_t(image.width) * host_runtime::World::BytesPerPixel(depth);
  for (int y = 0; y < image.height; ++y) {
    const void* src = depth == 8 ? static_cast<const void*>(image.byteRow(y))
                                 : static_cast<const void*>(image.floatRow(y));
    std::memcpy(world->row(y), src, rowBytes);
  }
  return world;
}

namespace {

// Zeroed pixels of `width` x `height` with `like`'s file description.
Image BlankLike(const Image& like, int width, int height) {
  Image image;
  image.format = like.format;
  image.layout = like.layout;
  image.type = like.type;
  image.fromPalette = like.fromPalette;
  image.details = like.details;
  image.width = width;
  image.height = height;
  image.Allocate();
  return image;
}

}  // namespace

Image FieldOf(const Image& image, int parity) {
  Image field = BlankLike(image, image.width, (image.height + 1 - parity) / 2);
  const size_t rowValues = size_t(image.width) * 4;
  for (int y = 0; y < field.height; ++y) {
    if (image.type == SampleType::kUInt8)
      std::memcpy(field.byteRow(y), image.byteRow(2 * y + parity), rowValues);
    else
      std::memcpy(field.floatRow(y), image.floatRow(2 * y + parity), rowValues * sizeof(float));
  }
  return field;
}

Image Weave(const Image& top, const Image& bottom) {
  Image frame = BlankLike(top, top.width, top.height + bottom.height);
  const size_t rowValues = size_t(top.width) * 4;
  for (int y = 0; y < frame.height; ++y) {
    const Image& field = y % 2 == 0 ? top : bottom;
    if (frame.type == SampleType::kUInt8)
      std::memcpy(frame.byteRow(y), field.byteRow(y / 2), rowValues);
    else
      std::memcpy(frame.floatRow(y), field.floatRow(y / 2), rowValues * sizeof(float));
  }
  return frame;
}

Image WorldToImage(const host_runtime::World& world, const Image& like) {
  Image image = BlankLike(like, world.width(), world.height());
  const size_t rowBytes = size_t(image.width) * host_runtime::World::BytesPerPixel(image.worldDepth());
  for (int y = 0; y < image.height; ++y) {
    void* dst = image.worldDepth() == 8 ? static_cast<void*>(image.byteRow(y))
                                        : static_cast<void*>(image.floatRow(y));
    std::memcpy(dst, world.row(y), rowBytes);
  }
  return image;
}

Image Downsample(const Image& image, int factor) {
  if (factor <= 1) return image;
  Image out = BlankLike(image, (image.width + factor - 1) / factor,
                        (image.height + factor - 1) / factor);
  const bool bytes = image.type == SampleType::kUInt8;
  const float scale = bytes ? 255.0f : 1.0f;

  for (int oy = 0; oy < out.height; ++oy) {
    for (int ox = 0; ox < out.width; ++ox) {
      // Sums in double: a 64 x 64 block of floats keeps its precision.
      double alpha = 0, weighted[3] = {0, 0, 0}, plain[3] = {0, 0, 0};
      int count = 0;
      for (int y = oy * factor; y < std::min(image.height, (oy + 1) * factor); ++y) {
        for (int x = ox * factor; x < std::min(image.width, (ox + 1) * factor); ++x) {
          double p[4];
          if (bytes) {
            const uint8_t* s = image.byteRow(y) + 4 * size_t(x);
            for (int c = 0; c < 4; ++c) p[c] = s[c] / 255.0;
          } else {
            const float* s = image.floatRow(y) + 4 * size_t(x);
            for (int c = 0; c < 4; ++c) p[c] = s[c];
          }
          alpha += p[0];
          for (int c = 0; c < 3; ++c) {
            weighted[c] += p[c + 1] * p[0];
            plain[c] += p[c + 1];
          }
          ++count;
        }
      }
      double result[4];
      result[0] = alpha / count;
      // Colour of transparent pixels must not bleed into the visible average; a block with no
      // coverage at all keeps its plain average.
      for (int c = 0; c < 3; ++c)
        result[c + 1] = alpha > 0 ? weighted[c] / alpha : plain[c] / count;
      if (bytes) {
        uint8_t* d = out.byteRow(oy) + 4 * size_t(ox);
        for (int c = 0; c < 4; ++c)
          d[c] = static_cast<uint8_t>(std::clamp(std::lround(result[c] * scale), 0L, 255L));
      } else {
        float* d = out.floatRow(oy) + 4 * size_t(ox);
        for (int c = 0; c < 4; ++c) d[c] = static_cast<float>(result[c]);
      }
    }
  }
  return out;
}

}  // namespace fxaa_cli
