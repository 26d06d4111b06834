#include "cli/demo_scene.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

namespace fxaa_cli {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Colour {
  uint8_t r, g, b, a;
};

struct Point {
  double x, y;
};

void Put(Image* image, int x, int y, Colour c) {
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return;
  uint8_t* p = image->byteRow(y) + 4 * size_t(x);
  p[0] = c.a, p[1] = c.r, p[2] = c.g, p[3] = c.b;
}

// Point-sampled fill: a pixel is painted when its centre is inside. No coverage is computed,
// which is exactly what makes the staircase the demo is about.
template <typename Inside>
void FillWhere(Image* image, Colour c, Inside inside) {
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x)
      if (inside(x + 0.5, y + 0.5)) Put(image, x, y, c);
}

// Inside test of a convex polygon given counter-clockwise or clockwise.
bool InConvex(const std::vector<Point>& poly, double x, double y) {
  bool positive = false, negative = false;
  for (size_t i = 0; i < poly.size(); ++i) {
    const Point& a = poly[i];
    const Point& b = poly[(i + 1) % poly.size()];
    const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
    positive |= cross > 0;
    negative |= cross < 0;
  }
  return !(positive && negative);
}

std::vector<Point> RotatedRect(double cx, double cy, double w, double h, double degrees) {
  const double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a);
  std::vector<Point> corners;
  for (const Point& p : {Point{-w / 2, -h / 2}, Point{w / 2, -h / 2}, Point{w / 2, h / 2},
                         Point{-w / 2, h / 2}})
    corners.push_back({cx + p.x * c - p.y * s, cy + p.x * s + p.y * c});
  return corners;
}

// Distance from (x, y) to the segment a-b.
double SegmentDistance(Point a, Point b, double x, double y) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  const double px = a.x + t * dx - x, py = a.y + t * dy - y;
  return std::sqrt(px * px + py * py);
}

void Stroke(Image* image, Point a, Point b, double width, Colour c) {
  const int x0 = static_cast<int>(std::floor(std::min(a.x, b.x) - width));
  const int x1 = static_cast<int>(std::ceil(std::max(a.x, b.x) + width));
  const int y0 = static_cast<int>(std::floor(std::min(a.y, b.y) - width));
  const int y1 = static_cast<int>(std::ceil(std::max(a.y, b.y) + width));
  for (int y = std::max(0, y0); y <= std::min(image->height - 1, y1); ++y)
    for (int x = std::max(0, x0); x <= std::min(image->width - 1, x1); ++x)
      if (SegmentDistance(a, b, x + 0.5, y + 0.5) <= width / 2) Put(image, x, y, c);
}

// 5 x 7 glyphs, one byte a row, bit 4 the left column.
struct Glyph {
  char c;
  uint8_t rows[7];
};
const Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}}, {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}}, {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
};

const Glyph* FindGlyph(char c) {
  for (const Glyph& g : kFont)
    if (g.c == c) return &g;
  return nullptr;
}

// The scene's ink, drawn over the background.
void DrawShapes(Image* image) {
  const double w = image->width, h = image->height;
  const double u = std::min(w / 640.0, h / 360.0);  // scene unit: the design is for 640 x 360

  // Squares turned by small, medium and steep angles: each gives a different staircase.
  const double angles[] = {3, 12, 27, 45, 63};
  const Colour fills[] = {{240, 200, 60, 255}, {90, 200, 240, 255}, {240, 110, 90, 255},
                          {140, 230, 120, 255}, {200, 140, 240, 255}};
  for (int i = 0; i < 5; ++i) {
    const auto square = RotatedRect((60 + i * 110) * u, 70 * u, 70 * u, 70 * u, angles[i]);
    FillWhere(image, fills[i], [&](double x, double y) { return InConvex(square, x, y); });
  }

  // A long, almost horizontal bar: the hardest case, one step every 20 pixels.
  const auto bar = RotatedRect(320 * u, 150 * u, 560 * u, 16 * u, 2.5);
  FillWhere(image, {230, 230, 230, 255}, [&](double x, double y) { return InConvex(bar, x, y); });

  // A triangle with three different edge slopes.
  const std::vector<Point> triangle = {{40 * u, 330 * u}, {150 * u, 190 * u}, {210 * u, 320 * u}};
  FillWhere(image, {250, 160, 40, 255}, [&](double x, double y) { return InConvex(triangle, x, y); });

  // A circle and a ring: every slope at once.
  const double cx = 300 * u, cy = 265 * u;
  FillWhere(image, {80, 160, 250, 255}, [&](double x, double y) {
    const double d = std::hypot(x - cx, y - cy);
    return d <= 55 * u && !(d > 35 * u && d <= 42 * u);
  });

  // A fan of thin lines, each about one pixel wide: point sampling breaks them into dashes.
  for (int i = 0; i < 9; ++i) {
    const double a = (4 + i * 10) * kPi / 180.0;
    const Point from{380 * u, 340 * u};
    const Point to{from.x + 120 * u * std::cos(a), from.y - 120 * u * std::sin(a)};
    Stroke(image, from, to, 1.1, {255, 255, 255, 255});
  }

  // Letter strokes: "FXAA" in slanted capitals made of thick segments.
  const Colour ink{250, 250, 120, 255};
  const double s = 2.0 * u, ox = 520 * u, oy = 195 * u, slant = 0.25;
  auto at = [&](double x, double y) { return Point{ox + (x + slant * (20 - y)) * s, oy + y * s}; };
  const double pen = 3.2 * u;
  // F
  Stroke(image, at(0, 0), at(0, 20), pen, ink);
  Stroke(image, at(0, 0), at(9, 0), pen, ink);
  Stroke(image, at(0, 9), at(7, 9), pen, ink);
  // X
  Stroke(image, at(13, 0), at(23, 20), pen, ink);
  Stroke(image, at(23, 0), at(13, 20), pen, ink);
  // A, A
  for (double x0 : {26.0, 40.0}) {
    Stroke(image, at(x0, 20), at(x0 + 5, 0), pen, ink);
    Stroke(image, at(x0 + 5, 0), at(x0 + 10, 20), pen, ink);
    Stroke(image, at(x0 + 2.5, 12), at(x0 + 7.5, 12), pen, ink);
  }
}

// A checkerboard behind transparent pixels, as image editors show them.
Colour Checker(int x, int y) {
  const bool dark = ((x / 8) + (y / 8)) % 2 == 0;
  return dark ? Colour{102, 102, 102, 255} : Colour{153, 153, 153, 255};
}

// Copies `src` (a part of it) into `dst` at (dx, dy), each pixel zoom x zoom, flattened over the
// checkerboard so the comparison is fully opaque.
void Blit(const Image& src, const CropRect& part, int zoom, Image* dst, int dx, int dy) {
  for (int y = 0; y < part.height * zoom; ++y) {
    for (int x = 0; x < part.width * zoom; ++x) {
      const int sx = part.x + x / zoom, sy = part.y + y / zoom;
      if (sx < 0 || sy < 0 || sx >= src.width || sy >= src.height) continue;
      const uint8_t* p = src.byteRow(sy) + 4 * size_t(sx);
      const Colour back = Checker(x, y);
      const unsigned a = p[0];
      auto mix = [a](unsigned over, unsigned under) {
        return static_cast<uint8_t>((over * a + under * (255 - a) + 127) / 255);
      };
      Put(dst, dx + x, dy + y, {mix(p[1], back.r), mix(p[2], back.g), mix(p[3], back.b), 255});
    }
  }
}

void FrameRect(Image* image, int x, int y, int w, int h, Colour c) {
  for (int i = -1; i <= w; ++i) {
    Put(image, x + i, y - 1, c);
    Put(image, x + i, y + h, c);
  }
  for (int j = -1; j <= h; ++j) {
    Put(image, x - 1, y + j, c);
    Put(image, x + w, y + j, c);
  }
}

}  // namespace

Image DrawDemoScene(int width, int height) {
  Image image;
  image.layout = ChannelLayout::kRGBA;
  image.type = SampleType::kUInt8;
  image.width = width;
  image.height = height;
  image.Allocate();

  // A dark background that fades out to the right over a wide, soft alpha ramp: FXAA should
  // leave a smooth gradient alone while it smooths the hard edges in front of it.
  const double rampStart = width * 0.78, rampEnd = width * 0.98;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double t = std::clamp((x + 0.5 - rampStart) / (rampEnd - rampStart), 0.0, 1.0);
      const auto alpha = static_cast<uint8_t>(std::lround(255.0 * (1.0 - t)));
      Put(&image, x, y, {28, 34, 52, alpha});
    }
  }
  DrawShapes(&image);
  return image;
}

CropRect DemoCrop(int width, int height) {
  // The triangle's steep right edge and the circle's left side: two kinds of staircase.
  const double u = std::min(width / 640.0, height / 360.0);
  CropRect crop;
  crop.width = std::max(8, static_cast<int>(std::lround(96 * u)));
  crop.height = std::max(6, static_cast<int>(std::lround(54 * u)));
  crop.x = std::clamp(static_cast<int>(std::lround(165 * u)), 0, std::max(0, width - crop.width));
  crop.y = std::clamp(static_cast<int>(std::lround(228 * u)), 0, std::max(0, height - crop.height));
  return crop;
}

int LabelWidth(const std::string& text, int scale) {
  return text.empty() ? 0 : static_cast<int>(text.size()) * 6 * scale - scale;
}

void DrawLabel(Image* image, int x, int y, const std::string& text, int scale, const uint8_t rgb[3]) {
  const Colour c{rgb[0], rgb[1], rgb[2], 255};
  for (size_t i = 0; i < text.size(); ++i) {
    const char ch = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    const Glyph* glyph = FindGlyph(ch);
    if (glyph == nullptr) continue;  // spaces and unknown signs leave a gap
    const int gx = x + static_cast<int>(i) * 6 * scale;
    for (int row = 0; row < 7; ++row)
      for (int col = 0; col < 5; ++col)
        if (glyph->rows[row] & (0x10 >> col))
          for (int dy = 0; dy < scale; ++dy)
            for (int dx = 0; dx < scale; ++dx) Put(image, gx + col * scale + dx, y + row * scale + dy, c);
  }
}

Image ComposeComparison(const Image& before, const Image& after, const CropRect& crop, int zoom) {
  const int margin = 16, labelScale = 2, labelHeight = 7 * labelScale + 10;
  const int w = before.width, h = before.height;
  const int zw = crop.width * zoom, zh = crop.height * zoom;
  const int column = std::max(w, zw);

  Image out;
  out.layout = ChannelLayout::kRGB;
  out.type = SampleType::kUInt8;
  out.width = margin * 3 + column * 2;
  out.height = margin * 3 + labelHeight * 2 + h + zh;
  out.Allocate();
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) Put(&out, x, y, {18, 18, 22, 255});

  const uint8_t text[3] = {235, 235, 235};
  const uint8_t accent[3] = {255, 200, 60};
  const int left = margin, right = margin * 2 + column;
  const int top = margin + labelHeight;
  DrawLabel(&out, left, margin, "BEFORE", labelScale, text);
  DrawLabel(&out, right, margin, "AFTER FXAA", labelScale, text);
  const CropRect whole{0, 0, w, h};
  Blit(before, whole, 1, &out, left, top);
  Blit(after, whole, 1, &out, right, top);
  // Where the magnified part comes from.
  const Colour mark{accent[0], accent[1], accent[2], 255};
  FrameRect(&out, left + crop.x, top + crop.y, crop.width, crop.height, mark);
  FrameRect(&out, right + crop.x, top + crop.y, crop.width, crop.height, mark);

  const int zoomTop = top + h + margin + labelHeight;
  const std::string times = " X" + std::to_string(zoom);
  DrawLabel(&out, left, zoomTop - labelHeight, "BEFORE" + times, labelScale, accent);
  DrawLabel(&out, right, zoomTop - labelHeight, "AFTER" + times, labelScale, accent);
  Blit(before, crop, zoom, &out, left, zoomTop);
  Blit(after, crop, zoom, &out, right, zoomTop);
  return out;
}

}  // namespace fxaa_cli
