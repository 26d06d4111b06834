// MPEG transport streams as an entry of the format table: the files of broadcast captures (.ts)
// and of camcorders and Blu-ray discs (.m2ts, .mts, whose 188-byte packets each carry a 4-byte
// arrival time in front). They are videos like any other: the video entry's source and sink,
// with the packet size the name asks for.
#include <filesystem>

#include "cli/formats/format.h"
#include "cli/formats/video.h"

namespace fxaa_cli {

namespace {

constexpr uint8_t kSyncByte = 0x47;
constexpr size_t kPacketBytes = 188;

// Whether every packet of `stride` bytes in `head` starts with the sync byte `offset` bytes in,
// over at least three packets: one sync byte alone is too common to mean anything.
bool SyncedPackets(const uint8_t* head, size_t size, size_t stride, size_t offset) {
  size_t packets = 0;
  for (size_t at = offset; at < size; at += stride, ++packets)
    if (head[at] != kSyncByte) return false;
  return packets >= 3;
}

bool DetectTransportStream(const uint8_t* head, size_t size) {
  return SyncedPackets(head, size, kPacketBytes, 0) ||
         SyncedPackets(head, size, kPacketBytes + 4, 4);
}

std::unique_ptr<FrameSink> OpenTransportStreamSink(const std::string& path,
                                                   const WriteOptions& options) {
  return OpenVideoSink(path, options, TransportStreamMuxerOptions(path));
}

}  // namespace

// Packets with arrival times for the names that stand for them, plain packets for .ts.
std::string TransportStreamMuxerOptions(const std::string& path) {
  if (FormatForName(path) != &TransportStreamFormat()) return "";
  const bool timed = Lower(std::filesystem::path(path).extension().string()) != ".ts";
  return timed ? "mpegts_m2ts_mode=1" : "mpegts_m2ts_mode=0";
}

const Format& TransportStreamFormat() {
  static const Format format = {"MPEG-TS",
                                {".ts", ".m2ts", ".mts"},
                                {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/false,
                                DetectTransportStream,
                                /*read=*/nullptr,
                                /*write=*/nullptr,
                                {&kCodecOption, &kCrfOption, &kFpsOption},
                                OpenVideoSource,
                                OpenTransportStreamSink};
  return format;
}

}  // namespace fxaa_cli
