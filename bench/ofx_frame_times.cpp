// fxaa_ofx_bench: the OpenFX plug-in's frame time through the test host (its render action:
// images fetched, converted, rendered on a worker, converted back) beside the tool's pure render
// of the same frame (the host side's effect session on a world), at 1920x1080 in 8-bit and float,
// side by side: the two paths alternate frame by frame, so load on the machine slows both alike.
// Prints a Markdown table; scripts/bench-openfx.sh puts it into docs/performance.md.
// Usage: fxaa_ofx_bench [ROUNDS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "host_runtime/effect_session.h"
#include "tests/openfx/ofx_cases.h"
#include "tests/openfx/ofx_test_host.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

template <typename F>
double Time(F&& frame) {
  const auto start = std::chrono::steady_clock::now();
  frame();
  return Milliseconds(std::chrono::steady_clock::now() - start);
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "fxaa_ofx_bench: %s\n", why.c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  if (rounds < 1) Fail("ROUNDS must be a positive number");
  ofxtest::TestHost host(FXAA_OFX_BINARY);
  if (!host.Start()) Fail(host.error());
  OfxImageEffectStruct* instance = host.CreateInstance();
  std::string error;
  std::unique_ptr<host_runtime::EffectSession> session =
      host_runtime::EffectSession::Open(FXAA_PLUGIN_PATH, &error);
  if (!instance || !session) Fail("cannot set up: " + error);

  std::printf("| depth | rounds | OpenFX plug-in ms | tool's render ms | plug-in / tool [95%%] |\n");
  std::printf("|---|---|---|---|---|\n");
  for (int sampleBytes : {1, 4}) {
    ofxtest::Layout layout;
    layout.width = kWidth, layout.height = kHeight, layout.sampleBytes = sampleBytes;
    ofxtest::HostImage source(layout), output(layout);
    source.SetPacked(ofxtest::TestPicture(kWidth, kHeight, sampleBytes));
    const int depth = sampleBytes == 1 ? 8 : 32;
    host_runtime::World in(kWidth, kHeight, depth), out(kWidth, kHeight, depth);
    const std::vector<uint8_t> rgba = source.Packed();
    for (int y = 0; y < kHeight; ++y)  // the same picture; channel order does not change the cost
      std::memcpy(in.row(y), &rgba[size_t(y) * kWidth * 4 * sampleBytes],
                  size_t(kWidth) * 4 * sampleBytes);

    std::vector<double> ofx, tool;
    for (int round = -1; round < rounds; ++round) {  // round -1 warms both paths up
      const double a = Time([&] {
        if (host.Render(instance, 0, 1, &source, &output) != kOfxStatOK) Fail("a render failed");
      });
      const double b = Time([&] {
        if (session->Render(&in, &out) != PF_Err_NONE) Fail("the session's render failed");
      });
      if (round >= 0) ofx.push_back(a), tool.push_back(b);
    }
    const fxaa_bench::Interval ratio = fxaa_bench::MedianRatio(ofx, tool);
    std::printf("| %s | %d | %.1f | %.1f | %.3f [%.3f, %.3f] |\n", depth == 8 ? "8-bit" : "float",
                rounds, fxaa_bench::Median(ofx), fxaa_bench::Median(tool), ratio.estimate,
                ratio.low, ratio.high);
  }
  return 0;
}
