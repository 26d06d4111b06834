#include "openfx/ofx_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "host_runtime/pixel_math.h"

namespace fxaa_ofx {
namespace {

// The string property `name` of `set`, "" when absent.
std::string StringOf(const OfxPropertySuiteV1& props, OfxPropertySetHandle set, const char* name) {
  char* value = nullptr;
  return props.propGetString(set, name, 0, &value) == kOfxStatOK && value ? value : "";
}

// A row of the image's samples into a world row of ARGB (bytes into bytes, words and floats
// into floats), and back. Written per layout so each loop is a plain pass over memory: these
// two passes are most of what the plug-in adds to the effect's own frame time.
template <typename Sample, int Components>
void LoadRow(const uint8_t* src, int width, uint8_t* dst) {
  const Sample* in = reinterpret_cast<const Sample*>(src);
  using Out = typename std::conditional<std::is_same<Sample, uint8_t>::value, uint8_t, float>::type;
  Out* out = reinterpret_cast<Out*>(dst);
  const Out opaque = std::is_same<Sample, uint8_t>::value ? Out(255) : Out(1);
  for (int x = 0; x < width; ++x, in += Components, out += 4) {
    if constexpr (std::is_same<Sample, uint16_t>::value) {
      out[0] = Components == 4 ? host_runtime::Word16ToFloat(in[3]) : opaque;
      out[1] = host_runtime::Word16ToFloat(in[0]);
      out[2] = host_runtime::Word16ToFloat(in[1]);
      out[3] = host_runtime::Word16ToFloat(in[2]);
    } else {
      out[0] = Components == 4 ? in[3] : opaque;
      out[1] = in[0], out[2] = in[1], out[3] = in[2];
    }
  }
}

template <typename Sample, int Components>
void StoreRow(const uint8_t* src, int width, uint8_t* dst) {
  using In = typename std::conditional<std::is_same<Sample, uint8_t>::value, uint8_t, float>::type;
  const In* in = reinterpret_cast<const In*>(src);
  Sample* out = reinterpret_cast<Sample*>(dst);
  for (int x = 0; x < width; ++x, in += 4, out += Components) {
    if constexpr (std::is_same<Sample, uint16_t>::value) {
      out[0] = host_runtime::FloatToWord16(in[1]);
      out[1] = host_runtime::FloatToWord16(in[2]);
      out[2] = host_runtime::FloatToWord16(in[3]);
      if (Components == 4) out[3] = host_runtime::FloatToWord16(in[0]);
    } else {
      out[0] = in[1], out[1] = in[2], out[2] = in[3];
      if (Components == 4) out[3] = in[0];
    }
  }
}

using RowFunction = void (*)(const uint8_t*, int, uint8_t*);

// The loop for the image's layout; `load` picks the image-to-world direction.
RowFunction RowFor(const ImageView& image, bool load) {
  const bool rgba = image.components == 4;
  switch (image.sampleBytes) {
    case 1:
      return load ? (rgba ? LoadRow<uint8_t, 4> : LoadRow<uint8_t, 3>)
                  : (rgba ? StoreRow<uint8_t, 4> : StoreRow<uint8_t, 3>);
    case 2:
      return load ? (rgba ? LoadRow<uint16_t, 4> : LoadRow<uint16_t, 3>)
                  : (rgba ? StoreRow<uint16_t, 4> : StoreRow<uint16_t, 3>);
    default:
      return load ? (rgba ? LoadRow<float, 4> : LoadRow<float, 3>)
                  : (rgba ? StoreRow<float, 4> : StoreRow<float, 3>);
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

void ToWorld(const ImageView& image, host_runtime::World* world) {
  const RowFunction load = RowFor(image, true);
  const bool bytes = image.sampleBytes == 1;
  for (int row = 0; row < image.height(); ++row) {
    uint8_t* dst = world->row(row);
    load(image.Row(image.bounds.y2 - 1 - row), image.width(), dst);
    if (image.premultiplied && bytes) host_runtime::UnpremultiplyArgb(dst, size_t(image.width()));
    if (image.premultiplied && !bytes)
      host_runtime::UnpremultiplyArgb(reinterpret_cast<float*>(dst), size_t(image.width()));
  }
}

void FromWorld(host_runtime::World* world, const OfxRectI& origin, const OfxRectI& window,
               const ImageView& out) {
  const bool bytes = world->bitDepth() == 8;
  const int x1 = std::max(window.x1, out.bounds.x1), x2 = std::min(window.x2, out.bounds.x2);
  const int y1 = std::max(window.y1, out.bounds.y1), y2 = std::min(window.y2, out.bounds.y2);
  if (x1 >= x2 || y1 >= y2) return;
  const size_t pixelBytes = size_t(out.sampleBytes) * out.components;
  const RowFunction store = RowFor(out, false);
  for (int y = y1; y < y2; ++y) {
    uint8_t* row = out.Row(y) + size_t(x1 - out.bounds.x1) * pixelBytes;
    const int worldRow = origin.y2 - 1 - y;
    int from = std::max(x1, origin.x1), to = std::min(x2, origin.x2);
    if (worldRow < 0 || worldRow >= world->height() || from >= to) from = to = x2;
    // Transparent black where the world does not reach.
    std::memset(row, 0, size_t(from - x1) * pixelBytes);
    std::memset(row + size_t(to - x1) * pixelBytes, 0, size_t(x2 - to) * pixelBytes);
    if (from == to) continue;
    uint8_t* src = world->row(worldRow);
    if (out.premultiplied && bytes) host_runtime::PremultiplyArgb(src, size_t(world->width()));
    if (out.premultiplied && !bytes)
      host_runtime::PremultiplyArgb(reinterpret_cast<float*>(src), size_t(world->width()));
    store(src + size_t(from - origin.x1) * (bytes ? 4 : 16), to - from,
          row + size_t(from - x1) * pixelBytes);
  }
}

}  // namespace fxaa_ofx
