#include "openfx/ofx_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "hostsim/pixel_math.h"

namespace fxaa_ofx {
namespace {

// The string property `name` of `set`, "" when absent.
std::string StringOf(const OfxPropertySuiteV1& props, OfxPropertySetHandle set, const char* name) {
  char* value = nullptr;
  return props.propGetString(set, name, 0, &value) == kOfxStatOK && value ? value : "";
}

// One pixel of the image as straight-or-not ARGB floats (bytes as 0..255 in an 8-bit world are
// handled apart).
void LoadPixel(const ImageView& image, const uint8_t* p, float* argb) {
  float v[4] = {0, 0, 0, 1};
  for (int c = 0; c < image.components; ++c) {
    if (image.sampleBytes == 2) {
      uint16_t word;
      std::memcpy(&word, p + 2 * c, 2);
      v[c] = hostsim::Word16ToFloat(word);
    } else {
      std::memcpy(&v[c], p + 4 * c, 4);
    }
  }
  argb[0] = v[3], argb[1] = v[0], argb[2] = v[1], argb[3] = v[2];
}

void StorePixel(const ImageView& image, const float* argb, uint8_t* p) {
  const float v[4] = {argb[1], argb[2], argb[3], argb[0]};
  for (int c = 0; c < image.components; ++c) {
    if (image.sampleBytes == 2) {
      const uint16_t word = hostsim::FloatToWord16(v[c]);
      std::memcpy(p + 2 * c, &word, 2);
    } else {
      std::memcpy(p + 4 * c, &v[c], 4);
    }
  }
}

}  // namespace

bool ReadImageView(const OfxPropertySuiteV1& props, OfxPropertySetHandle image, ImageView* view,
                   std::string* why) {
  void* data = nullptr;
  int bounds[4] = {};
  if (props.propGetPointer(image, kOfxImagePropData, 0, &data) != kOfxStatOK || data == nullptr ||
      props.propGetIntN(image, kOfxImagePropBounds, 4, bounds) != kOfxStatOK ||
      props.propGetInt(image, kOfxImagePropRowBytes, 0, &view->rowBytes) != kOfxStatOK) {
    *why = "the host gave an image without pixels";
    return false;
  }
  view->data = static_cast<uint8_t*>(data);
  view->bounds = OfxRectI{bounds[0], bounds[1], bounds[2], bounds[3]};
  const std::string depth = StringOf(props, image, kOfxImageEffectPropPixelDepth);
  const std::string components = StringOf(props, image, kOfxImageEffectPropComponents);
  view->sampleBytes = depth == kOfxBitDepthByte    ? 1
                      : depth == kOfxBitDepthShort ? 2
                      : depth == kOfxBitDepthFloat ? 4
                                                   : 0;
  view->components = components == kOfxImageComponentRGBA  ? 4
                     : components == kOfxImageComponentRGB ? 3
                                                           : 0;
  if (view->sampleBytes == 0 || view->components == 0) {
    *why = "the host gave " + depth + " " + components + " pixels, which the effect does not take";
    return false;
  }
  view->premultiplied =
      StringOf(props, image, kOfxImageEffectPropPreMultiplication) == kOfxImagePreMultiplied;
  if (view->width() <= 0 || view->height() <= 0 ||
      std::abs(std::ptrdiff_t(view->rowBytes)) <
          std::ptrdiff_t(view->width()) * view->sampleBytes * view->components) {
    *why = "the host gave an image of impossible bounds or row bytes";
    return false;
  }
  return true;
}

std::unique_ptr<hostsim::World> ToWorld(const ImageView& image) {
  const bool bytes = image.sampleBytes == 1;
  auto world = std::make_unique<hostsim::World>(image.width(), image.height(), bytes ? 8 : 32);
  const size_t pixelBytes = size_t(image.sampleBytes) * image.components;
  for (int row = 0; row < image.height(); ++row) {
    const uint8_t* src = image.Row(image.bounds.y2 - 1 - row);
    uint8_t* dst = world->row(row);
    for (int x = 0; x < image.width(); ++x, src += pixelBytes) {
      if (bytes) {
        uint8_t* p = dst + 4 * size_t(x);
        p[0] = image.components == 4 ? src[3] : 255;
        p[1] = src[0], p[2] = src[1], p[3] = src[2];
      } else {
        LoadPixel(image, src, reinterpret_cast<float*>(dst) + 4 * size_t(x));
      }
    }
    if (image.premultiplied && bytes) hostsim::UnpremultiplyArgb(dst, size_t(image.width()));
    if (image.premultiplied && !bytes)
      hostsim::UnpremultiplyArgb(reinterpret_cast<float*>(dst), size_t(image.width()));
  }
  return world;
}

void FromWorld(hostsim::World* world, const OfxRectI& origin, const OfxRectI& window,
               const ImageView& out) {
  const bool bytes = world->bitDepth() == 8;
  const int x1 = std::max(window.x1, out.bounds.x1), x2 = std::min(window.x2, out.bounds.x2);
  const int y1 = std::max(window.y1, out.bounds.y1), y2 = std::min(window.y2, out.bounds.y2);
  if (x1 >= x2 || y1 >= y2) return;
  const size_t pixelBytes = size_t(out.sampleBytes) * out.components;
  for (int y = y1; y < y2; ++y) {
    uint8_t* row = out.Row(y) + size_t(x1 - out.bounds.x1) * pixelBytes;
    std::memset(row, 0, size_t(x2 - x1) * pixelBytes);
    const int worldRow = origin.y2 - 1 - y;
    if (worldRow < 0 || worldRow >= world->height()) continue;
    uint8_t* src = world->row(worldRow);
    if (out.premultiplied && bytes) hostsim::PremultiplyArgb(src, size_t(world->width()));
    if (out.premultiplied && !bytes)
      hostsim::PremultiplyArgb(reinterpret_cast<float*>(src), size_t(world->width()));
    for (int x = std::max(x1, origin.x1); x < std::min(x2, origin.x2); ++x) {
      uint8_t* dst = row + size_t(x - x1) * pixelBytes;
      const uint8_t* p = src + size_t(x - origin.x1) * (bytes ? 4 : 16);
      if (bytes) {
        dst[0] = p[1], dst[1] = p[2], dst[2] = p[3];
        if (out.components == 4) dst[3] = p[0];
      } else {
        StorePixel(out, reinterpret_cast<const float*>(p), dst);
      }
    }
  }
}

}  // namespace fxaa_ofx
