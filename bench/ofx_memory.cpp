// fxaa_ofx_memory_bench: the resident memory of a host process that renders 1920x1080 float
// frames through one instance of the OpenFX plug-in on THREADS threads at once (the tests' OpenFX
// host, one source image shared, an output image per thread), and what is left after the end of
// the sequence and a purge of the plug-in's caches. Prints one row of a Markdown table (with the
// header when HEADER is given); scripts/bench-openfx.sh runs it once per thread count, each in a
// process of its own, and puts the table into docs/performance.md. BINARY: another build of the
// plug-in (an older one, to compare).
// Usage: fxaa_ofx_memory_bench THREADS [FRAMES] [HEADER] [BINARY]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/openfx/ofx_memory.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "fxaa_ofx_memory_bench: %s\n", why.c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const int threads = argc > 1 ? std::atoi(argv[1]) : 0;
  const int frames = argc > 2 ? std::atoi(argv[2]) : 3;
  const bool header = argc > 3 && std::string(argv[3]) == "header";
  const std::string binary = argc > 4 ? argv[4] : FXAA_OFX_BINARY;
  if (threads < 1 || frames < 1) Fail("usage: fxaa_ofx_memory_bench THREADS [FRAMES] [header] [BINARY]");
  ofxtest::TestHost host(binary);
  if (!host.Start()) Fail(host.error());
  OfxImageEffectStruct* instance = host.CreateInstance();
  if (instance == nullptr) Fail("the plug-in refused an instance");
  ofxtest::MemoryFigures figures;
  std::string error;
  if (!ofxtest::MeasureFrameMemory(host, instance, threads, frames, kWidth, kHeight, 4, &figures,
                                   &error))
    Fail(error);
  if (header) {
    std::printf("| host threads | frames each | before MiB | process peak MiB | frames' peak MiB "
                "| at rest MiB |\n|---|---|---|---|---|---|\n");
  }
  std::printf("| %d | %d | %.0f | %.0f | %.0f | %.0f |\n", threads, frames, figures.beforeMiB,
              figures.processPeakMiB, figures.peakMiB, figures.restMiB);
  return 0;
}
