// MXF, the container broadcasters take delivery in, as an entry of the format table: read as any
// video; written as OP1a with the codecs it holds (video_containers.cpp), DNxHD or DNxHR by
// default, keeping the input's time code and its PCM audio. It numbers its frames from the first:
// a part of a video (a range run's) keeps no place in it.
#include <algorithm>

#include "cli/formats/format.h"
#include "cli/video/video.h"

namespace fxaa_cli {

namespace {

// The key of the header partition pack, after a run-in of at most the head's bytes.
bool IsMxf(const uint8_t* head, size_t size) {
  static const uint8_t kHeaderPartition[14] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x05, 0x01,
                                               0x01, 0x0D, 0x01, 0x02, 0x01, 0x01, 0x02};
  for (size_t at = 0; at + sizeof kHeaderPartition <= size; ++at)
    if (std::equal(kHeaderPartition, kHeaderPartition + sizeof kHeaderPartition, head + at))
      return true;
  return false;
}

std::unique_ptr<FrameSink> OpenMxfSink(const std::string& path, const WriteOptions& options) {
  return OpenVideoSink(path, options);
}

}  // namespace

const Format& MxfFormat() {
  static const Format format = {"MXF",
                                {".mxf"},
                                {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/false,
                                IsMxf,
                                /*read=*/nullptr,
                                /*write=*/nullptr,
                                {&kCodecOption, &kCrfOption, &kFpsOption},
                                OpenVideoSource,
                                OpenMxfSink,
                                /*holdsParts=*/false};
  return format;
}

}  // namespace fxaa_cli
