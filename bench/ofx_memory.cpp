// fxaa_ofx_memory_bench: the resident memory of a host process that renders 1920x1080 float
// frames through one instance of the OpenFX plug-in on THREADS threads at once (the tests' OpenFX
// host, one source image shared, an output image per thread), and what is left after the end of
// the sequence and a purge of the plug-in's caches. Prints one row of a Markdown table, LABEL in
// its first column (--header prints the table's head); scripts/bench-openfx.sh runs it once per
// thread count, each in a process of its own, and puts the table into docs/performance.md.
// BINARY: another build of the plug-in (an older one, to compare).
// Usage: fxaa_ofx_memory_bench --header | THREADS FRAMES LABEL [BINARY]
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
  if (argc == 2 && std::string(argv[1]) == "--header") {
    std::printf("| build | host threads | frames each | before MiB | process peak MiB "
                "| frames' peak MiB | at rest MiB |\n|---|---|---|---|---|---|---|\n");
    return 0;
  }
  const int threads = argc > 3 ? std::atoi(argv[1]) : 0;
  const int frames = argc > 3 ? std::atoi(argv[2]) : 0;
  if (threads < 1 || frames < 1) Fail("usage: fxaa_ofx_memory_bench THREADS FRAMES LABEL [BINARY]");
  ofxtest::TestHost host(argc > 4 ? argv[4] : FXAA_OFX_BINARY);
  if (!host.Start()) Fail(host.error());
  OfxImageEffectStruct* instance = host.CreateInstance();
  if (instance == nullptr) Fail("the plug-in refused an instance");
  ofxtest::MemoryFigures figures;
  std::string error;
  if (!ofxtest::MeasureFrameMemory(host, instance, threads, frames, kWidth, kHeight, 4, &figures,
                                   &error))
    Fail(error);
  std::printf("| %s | %d | %d | %.0f | %.0f | %.0f | %.0f |\n", argv[3], threads, frames,
              figures.beforeMiB, figures.processPeakMiB, figures.peakMiB, figures.restMiB);
  return 0;
}
