// What the OpenFX plug-in's frames keep in resident memory while a host renders on many threads
// at once, and what is left once the host is at rest, read from /proc/self (Linux): for the
// memory benchmark and the test of its bound.
#pragma once

#include <string>

#include "tests/openfx/ofx_test_host.h"

namespace ofxtest {

struct MemoryFigures {
  double beforeMiB = 0;       // resident before the frames: the host's images, the loaded binary
  double processPeakMiB = 0;  // the whole process's peak while they render
  double peakMiB = 0;         // the frames' peak above `beforeMiB`
  double restMiB = 0;         // above `beforeMiB` after end-of-sequence and purge-caches
};

// `threads` host threads at once, each rendering `frames` frames (width x height, `sampleBytes`
// per sample, RGBA) on `instance`, a source image shared and an output image of its own each,
// allocated before the measurement starts; then the end of the sequence and a purge. False with
// *error set when a render fails or the peak cannot be reset.
bool MeasureFrameMemory(TestHost& host, OfxImageEffectStruct* instance, int threads, int frames,
                        int width, int height, int sampleBytes, MemoryFigures* figures,
                        std::string* error);

}  // namespace ofxtest
