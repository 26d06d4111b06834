// Moving frames between the tool's images and the host's pixel worlds, and the reduced-resolution
// frame the host hands an effect during a downsampled preview. (Un-premultiplying and
// premultiplying are with the image model, cli/image.h: file formats use them too.)
#pragma once

#include <memory>

#include "cli/image.h"
#include "host_runtime/host.h"

namespace fxaa_cli {

// Padding the tool adds after every world row, as the host does: rows start 64-byte aligned and
// there are always some padding bytes, so a plug-in that ignores rowbytes is caught.
int RowPaddingFor(int width, int bitDepth);

// A world of the image's size and depth (8 for byte images, 32 otherwise) holding its pixels.
std::unique_ptr<host_runtime::World> ImageToWorld(const Image& image);

// An image with `like`'s file description (format, layout, type, header) and `world`'s pixels.
// `world` must have the depth `like` travels in.
Image WorldToImage(const host_runtime::World& world, const Image& like);

// The frame at 1/factor resolution: each pixel the alpha-weighted box average of the
// factor x factor block it covers (fewer at the right and bottom edges); size rounded up.
Image Downsample(const Image& image, int factor);

// One field of an interlaced frame, as a frame of its own: the even lines (`parity` 0, the top
// field) or the odd ones.
Image FieldOf(const Image& image, int parity);
// The frame whose even lines are `top`'s and odd lines `bottom`'s: `top` has as many lines as
// `bottom` or one more, and the same width.
Image Weave(const Image& top, const Image& bottom);

}  // namespace fxaa_cli
