#include "tests/openfx/ofx_cases.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "tests/openfx/ofx_test_host.h"

namespace ofxtest {
namespace {

constexpr char kMagic[8] = {'F', 'X', 'O', 'F', 'X', '1', '\n', 0};

// Sample `value` (0..1) at `sampleBytes`, stored at `p`.
void StoreSample(float value, int sampleBytes, uint8_t* p) {
  if (sampleBytes == 1) {
    *p = uint8_t(std::lround(value * 255));
  } else if (sampleBytes == 2) {
    const uint16_t word = uint16_t(std::lround(value * 65535));
    std::memcpy(p, &word, 2);
  } else {
    std::memcpy(p, &value, 4);
  }
}

float Sample(const OfxFrame& frame, size_t i) {
  if (frame.sampleBytes == 1) return frame.rgba[i];
  if (frame.sampleBytes == 2) {
    uint16_t word;
    std::memcpy(&word, &frame.rgba[2 * i], 2);
    return word / 257.0f;  // in byte steps, as bytes are compared
  }
  float value;
  std::memcpy(&value, &frame.rgba[4 * i], 4);
  return value;
}

}  // namespace

std::vector<uint8_t> TestPicture(int width, int height, int sampleBytes) {
  std::vector<uint8_t> picture(size_t(width) * height * 4 * sampleBytes);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int dx = x - 30, dy = y - 12;
      const bool inside = 3 * x > 2 * y + 10 && dx * dx + dy * dy > 64;
      const float rgba[4] = {inside ? 0.9f : x / 50.0f, inside ? 0.16f : y / 36.0f,
                             inside ? 0.47f : 0.08f, x < width / 4 ? 0.5f : 1.0f};
      for (int c = 0; c < 4; ++c)
        StoreSample(rgba[c], sampleBytes,
                    &picture[((size_t(y) * width + x) * 4 + c) * sampleBytes]);
    }
  return picture;
}

bool RenderOfxCases(const std::string& binary, std::vector<std::string>* names,
                    std::vector<OfxFrame>* frames, std::string* error) {
  TestHost host(binary);
  if (!host.Start()) {
    *error = host.error();
    return false;
  }
  names->assign(1, host.descriptor().String("OfxPropLabel"));
  for (const std::string& name : host.filterDescriptor().params.order)
    names->push_back(host.filterDescriptor().params.params.at(name)->props.String("OfxPropLabel"));
  OfxImageEffectStruct* instance = host.CreateInstance();
  if (instance == nullptr) {
    *error = "the plug-in refused an instance";
    return false;
  }
  const struct {
    const char* name;
    int sampleBytes;
    double strength, span;
  } cases[] = {{"8-bit, defaults", 1, 100, 8}, {"8-bit, Strength 60, FXAA Span 4", 1, 60, 4},
               {"float, defaults", 4, 100, 8}};
  frames->clear();
  for (const auto& c : cases) {
    Layout layout;
    layout.width = kPictureWidth, layout.height = kPictureHeight, layout.sampleBytes = c.sampleBytes;
    HostImage source(layout), output(layout);
    source.SetPacked(TestPicture(kPictureWidth, kPictureHeight, c.sampleBytes));
    TestHost::SetValue(instance, "Strength", c.strength);
    TestHost::SetValue(instance, "FXAASpan", c.span);
    if (host.Render(instance, double(frames->size()), 1.0, &source, &output) != kOfxStatOK) {
      *error = std::string(c.name) + ": the render failed";
      return false;
    }
    frames->push_back(OfxFrame{c.name, c.sampleBytes, output.Packed()});
  }
  return true;
}

bool WriteOfxFrames(const std::string& path, const std::vector<OfxFrame>& frames, std::string* error) {
  std::ofstream file(path, std::ios::binary);
  file.write(kMagic, sizeof(kMagic));
  for (const OfxFrame& f : frames) {
    const uint32_t header[3] = {uint32_t(f.name.size()), uint32_t(f.sampleBytes), uint32_t(f.rgba.size())};
    file.write(reinterpret_cast<const char*>(header), sizeof(header));
    file.write(f.name.data(), std::streamsize(f.name.size()));
    file.write(reinterpret_cast<const char*>(f.rgba.data()), std::streamsize(f.rgba.size()));
  }
  if (!file.flush()) *error = "cannot write " + path;
  return bool(file);
}

bool ReadOfxFrames(const std::string& path, std::vector<OfxFrame>* frames, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  char magic[sizeof(kMagic)] = {};
  if (!file.read(magic, sizeof(magic)) || std::memcmp(magic, kMagic, sizeof(kMagic)) != 0) {
    *error = path + " is not a frame file of the OpenFX test";
    return false;
  }
  frames->clear();
  uint32_t header[3];
  while (file.read(reinterpret_cast<char*>(header), sizeof(header))) {
    if (header[0] > 256 || header[2] > (1u << 24)) break;
    OfxFrame f;
    f.name.resize(header[0]);
    f.sampleBytes = int(header[1]);
    f.rgba.resize(header[2]);
    file.read(&f.name[0], std::streamsize(f.name.size()));
    file.read(reinterpret_cast<char*>(f.rgba.data()), std::streamsize(f.rgba.size()));
    if (!file) break;
    frames->push_back(std::move(f));
  }
  if (!file.eof()) {
    *error = path + " ends inside a frame";
    return false;
  }
  return true;
}

double LargestDifference(const OfxFrame& a, const OfxFrame& b) {
  if (a.sampleBytes != b.sampleBytes || a.rgba.size() != b.rgba.size())
    return std::numeric_limits<double>::infinity();
  double largest = 0;
  for (size_t i = 0; i < a.rgba.size() / size_t(a.sampleBytes); ++i) {
    const float x = Sample(a, i), y = Sample(b, i);
    // Not a number where the other frame has one is as far apart as samples get.
    if (std::isnan(x) != std::isnan(y)) return std::numeric_limits<double>::infinity();
    if (!std::isnan(x)) largest = std::max(largest, double(std::fabs(x - y)));
  }
  return largest;
}

}  // namespace ofxtest
