// The OpenFX bundle in the test host, as a command for the portable build's userland: loads the
// binary as hosts do, renders 8-bit RGBA frames (raw, top row first, as ffmpeg writes them)
// through one instance at the given Strength and FXAA Span, and writes them raw.
// Usage: ofx_render_raw BINARY WIDTH HEIGHT STRENGTH SPAN IN OUT [IN OUT]...
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/openfx/ofx_test_host.h"

static int Fail(const std::string& message) {
  std::fprintf(stderr, "ofx_render_raw: %s\n", message.c_str());
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 8 || argc % 2 != 0) return Fail("usage: BINARY WIDTH HEIGHT STRENGTH SPAN IN OUT...");
  ofxtest::Layout layout;
  layout.width = std::atoi(argv[2]);
  layout.height = std::atoi(argv[3]);
  ofxtest::TestHost host(argv[1]);
  if (!host.Start()) return Fail(host.error());
  OfxImageEffectStruct* instance = host.CreateInstance();
  if (instance == nullptr) return Fail("the plug-in refused an instance");
  ofxtest::TestHost::SetValue(instance, "Strength", std::atof(argv[4]));
  ofxtest::TestHost::SetValue(instance, "FXAASpan", std::atof(argv[5]));

  for (int i = 6; i < argc; i += 2) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::vector<uint8_t> rgba{std::istreambuf_iterator<char>(in), {}};
    if (layout.width <= 0 || rgba.size() != size_t(layout.width) * size_t(layout.height) * 4)
      return Fail(std::string(argv[i]) + " is not one frame of that size");
    ofxtest::HostImage source(layout), output(layout);
    source.SetPacked(rgba);
    if (host.Render(instance, double(i), 1.0, &source, &output) != kOfxStatOK) {
      for (const std::string& message : host.messages()) Fail(message);
      return Fail(std::string("the render of ") + argv[i] + " failed");
    }
    const std::vector<uint8_t> result = output.Packed();
    std::ofstream out(argv[i + 1], std::ios::binary);
    if (!out.write(reinterpret_cast<const char*>(result.data()), std::streamsize(result.size())))
      return Fail(std::string("cannot write ") + argv[i + 1]);
  }
  host.DestroyInstance(instance);
  return 0;
}
