#include "tests/windows/render_cases.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <thread>

#include "host_runtime/host.h"
#include "host_runtime/plugin_module.h"

namespace wintest {
namespace {

constexpr int kWidth = 24, kHeight = 16;
constexpr char kMagic[8] = {'F', 'X', 'D', 'U', 'M', 'P', '1', '\n'};

// A small deterministic generator, the same on every platform and library.
uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// Channel c (alpha, red, green, blue) of pixel (x, y) of picture `picture`, in 0..1: a hard
// diagonal edge with a half-transparent background, or noise.
float Picture(int picture, int x, int y, int c) {
  if (picture == 0) {
    const bool inside = 3 * x > 2 * y + 10;
    if (c == 0) return inside ? 1.0f : 0.5f;
    return inside ? (c == 1 ? 0.9f : c == 2 ? 0.6f : 0.1f) : (c == 3 ? 0.8f : 0.2f);
  }
  return float(Hash(uint32_t((y * kWidth + x) * 4 + c)) % 256) / 255.0f;
}

void Fill(host_runtime::World* world, int picture) {
  const bool bytes = world->bitDepth() != 32;
  for (int y = 0; y < world->height(); ++y)
    for (int x = 0; x < world->width(); ++x)
      for (int c = 0; c < 4; ++c) {
        const float v = Picture(picture, x, y, c);
        world->setChannel(x, y, c, bytes ? std::round(v * 255.0f) : v);
      }
}

struct Case {
  const char* picture;
  int pictureIndex;
  int source;  // 1 "Color", 2 "Alpha"
  int bitDepth;
  double strength;
};

Frame RenderOne(host_runtime::Host& host, const Case& c) {
  host_runtime::World input(kWidth, kHeight, c.bitDepth), output(kWidth, kHeight, c.bitDepth);
  Fill(&input, c.pictureIndex);
  Frame frame;
  frame.name = std::string(c.picture) + (c.source == 1 ? " color " : " alpha ") +
               std::to_string(c.bitDepth) + "-bit strength " + std::to_string(int(c.strength));
  frame.width = kWidth;
  frame.height = kHeight;
  frame.bitDepth = c.bitDepth;
  frame.err = host.SmartRender(&input, &output, c.bitDepth);
  const size_t rowBytes = size_t(kWidth) * size_t(output.bytesPerPixel());
  for (int y = 0; y < kHeight; ++y)
    frame.pixels.insert(frame.pixels.end(), output.row(y), output.row(y) + rowBytes);
  return frame;
}

void Put32(std::ostream& out, uint32_t v) {
  const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  out.write(bytes, 4);
}
bool Get32(std::istream& in, uint32_t* v) {
  unsigned char bytes[4];
  if (!in.read(reinterpret_cast<char*>(bytes), 4)) return false;
  *v = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
       uint32_t(bytes[3]) << 24;
  return true;
}

}  // namespace

bool RenderCases(const std::string& pluginPath, bool onThreads, std::vector<Frame>* frames,
                 std::string* error) {
  frames->clear();
  std::unique_ptr<host_runtime::PluginModule> module = host_runtime::PluginModule::Load(pluginPath, error);
  if (!module) return false;
  host_runtime::Host host(module->entry());
  if (PF_Err err = host.GlobalSetup()) {
    *error = "global set-up returned " + std::to_string(err);
    return false;
  }
  if (PF_Err err = host.ParamsSetup()) {
    *error = "parameter set-up returned " + std::to_string(err);
    return false;
  }

  if (!onThreads) {
    // Every combination on this thread; the parameters are the host's, set between frames.
    for (int source : {1, 2})
      for (double strength : {100.0, 60.0}) {
        host.SetParamValue(1, source);
        host.SetParamValue(2, strength);
        for (int bitDepth : {8, 32})
          for (int picture : {0, 1})
            frames->push_back(
                RenderOne(host, {picture ? "noise" : "edge", picture, source, bitDepth, strength}));
      }
    host.GlobalSetdown();
    return true;
  }

  // Two render threads at once, each with its own context, colour mode at full strength.
  host.SetParamValue(1, 1);
  host.SetParamValue(2, 100);
  Frame threaded[2][2];
  std::thread threads[2];
  for (int t = 0; t < 2; ++t)
    threads[t] = std::thread([&, t] {
      for (int f = 0; f < 2; ++f) {
        threaded[t][f] = RenderOne(host, {t ? "noise" : "edge", t, 1, t ? 32 : 8, 100});
        threaded[t][f].name += " thread " + std::to_string(t) + " frame " + std::to_string(f);
      }
    });
  for (std::thread& t : threads) t.join();
  for (auto& perThread : threaded)
    for (Frame& f : perThread) frames->push_back(f);

  host.GlobalSetdown();
  return true;
}

bool WriteFrames(const std::string& path, const std::vector<Frame>& frames, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(kMagic, sizeof kMagic);
  Put32(out, uint32_t(frames.size()));
  for (const Frame& f : frames) {
    Put32(out, uint32_t(f.name.size()));
    out.write(f.name.data(), std::streamsize(f.name.size()));
    for (uint32_t v : {uint32_t(f.width), uint32_t(f.height), uint32_t(f.bitDepth), uint32_t(f.err),
                       uint32_t(f.pixels.size())})
      Put32(out, v);
    out.write(reinterpret_cast<const char*>(f.pixels.data()), std::streamsize(f.pixels.size()));
  }
  if (!out.flush()) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

bool ReadFrames(const std::string& path, std::vector<Frame>* frames, std::string* error) {
  frames->clear();
  std::ifstream in(path, std::ios::binary);
  char magic[sizeof kMagic];
  uint32_t count = 0;
  if (!in.read(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0 ||
      !Get32(in, &count) || count > 1000) {
    *error = path + " is not a frame dump";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    Frame f;
    uint32_t nameSize = 0, w = 0, h = 0, depth = 0, err = 0, size = 0;
    if (!Get32(in, &nameSize) || nameSize > 256) break;
    f.name.resize(nameSize);
    if (!in.read(&f.name[0], nameSize) || !Get32(in, &w) || !Get32(in, &h) || !Get32(in, &depth) ||
        !Get32(in, &err) || !Get32(in, &size) || size > (1u << 24))
      break;
    f.pixels.resize(size);
    if (!in.read(reinterpret_cast<char*>(f.pixels.data()), size)) break;
    f.width = int(w);
    f.height = int(h);
    f.bitDepth = int(depth);
    f.err = PF_Err(err);
    frames->push_back(std::move(f));
  }
  if (frames->size() != count) {
    *error = path + " is cut short after " + std::to_string(frames->size()) + " frames";
    return false;
  }
  return true;
}

double LargestDifference(const Frame& a, const Frame& b) {
  if (a.bitDepth != b.bitDepth || a.pixels.size() != b.pixels.size())
    return std::numeric_limits<double>::infinity();
  double largest = 0;
  if (a.bitDepth == 32) {
    for (size_t i = 0; i + 4 <= a.pixels.size(); i += 4) {
      float x, y;
      std::memcpy(&x, &a.pixels[i], 4);
      std::memcpy(&y, &b.pixels[i], 4);
      if (std::isnan(x) || std::isnan(y)) {
        if (std::isnan(x) != std::isnan(y)) return std::numeric_limits<double>::infinity();
        continue;
      }
      largest = std::max(largest, std::fabs(double(x) - double(y)));
    }
  } else {
    for (size_t i = 0; i < a.pixels.size(); ++i)
      largest = std::max(largest, std::fabs(double(a.pixels[i]) - double(b.pixels[i])));
  }
  return largest;
}

bool HasContent(const Frame& frame) {
  for (uint8_t byte : frame.pixels)
    if (byte != 0) return true;
  return false;
}

}  // namespace wintest
