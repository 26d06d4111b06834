#include "tests/openfx/ofx_memory.h"

#include <malloc.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tests/openfx/ofx_cases.h"
#include "tests/support/resident_memory.h"

namespace ofxtest {
namespace {

// A field of /proc/self/status in MiB; negative when unreadable.
double StatusMiB(const std::string& field) {
  return double(test_support::StatusBytes(field)) / (1 << 20);
}

}  // namespace

bool MeasureFrameMemory(TestHost& host, OfxImageEffectStruct* instance, int threads, int frames,
                        int width, int height, int sampleBytes, MemoryFigures* figures,
                        std::string* error) {
  Layout layout;
  layout.width = width, layout.height = height, layout.sampleBytes = sampleBytes;
  HostImage source(layout);
  source.SetPacked(TestPicture(width, height, sampleBytes));
  std::vector<std::unique_ptr<HostImage>> outputs;
  for (int t = 0; t < threads; ++t) outputs.push_back(std::make_unique<HostImage>(layout));
  // What the host freed before (its images of an earlier measurement) is not the plug-in's.
  malloc_trim(0);
  figures->beforeMiB = StatusMiB("VmRSS");
  if (!test_support::ResetPeakResident() || figures->beforeMiB < 0) {
    *error = "this system does not report or reset the peak resident size";
    return false;
  }
  std::atomic<int> failed{0};
  std::vector<std::thread> renderers;
  for (int t = 0; t < threads; ++t)
    renderers.emplace_back([&, t] {
      for (int f = 0; f < frames; ++f)
        if (host.Render(instance, t * 1000 + f, 1, &source, outputs[size_t(t)].get()) != kOfxStatOK)
          ++failed;
    });
  for (std::thread& r : renderers) r.join();
  figures->processPeakMiB = StatusMiB("VmHWM");
  figures->peakMiB = figures->processPeakMiB - figures->beforeMiB;
  if (host.EndSequenceAndPurge(instance) != kOfxStatOK) {
    *error = "the end of the sequence or the purge failed";
    return false;
  }
  figures->restMiB = StatusMiB("VmRSS") - figures->beforeMiB;
  if (failed > 0) *error = std::to_string(failed.load()) + " frames failed to render";
  return failed == 0;
}

}  // namespace ofxtest
