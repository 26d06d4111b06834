// The demo's pictures: a test scene drawn with one sample per pixel, so every edge is a hard
// staircase (polygons at several angles, thin lines, a circle, letter strokes, a soft alpha
// ramp), and the comparison picture that puts before and after side by side with a magnified
// crop of an edge.
#pragma once

#include <string>

#include "cli/image.h"

namespace fxaa_cli {

struct CropRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// The scene, 8-bit RGBA, straight colour.
Image DrawDemoScene(int width = 640, int height = 360);

// A part of DrawDemoScene(width, height) dense with shallow edges, for the magnified view.
CropRect DemoCrop(int width = 640, int height = 360);

// before | after on top; both crops below, each magnified `zoom` times by repeating pixels;
// transparent parts shown over a checkerboard; labels in a small built-in pixel font.
// Both images must be 8-bit and of one size.
Image ComposeComparison(const Image& before, const Image& after, const CropRect& crop, int zoom);

// Draws `text` (capitals, digits, space and a few signs) at (x, y) with pixels `scale` wide.
void DrawLabel(Image* image, int x, int y, const std::string& text, int scale, const uint8_t rgb[3]);

// Width in pixels of `text` drawn at `scale`.
int LabelWidth(const std::string& text, int scale);

}  // namespace fxaa_cli
