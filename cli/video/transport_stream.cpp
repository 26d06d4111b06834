// MPEG transport streams as an entry of the format table: the files of broadcast captures (.ts)
// and of camcorders and Blu-ray discs (.m2ts, .mts, whose 188-byte packets each carry a 4-byte
// arrival time in front). They are videos like any other: the video entry's source and sink,
// with the packet size the name asks for, and a source that can tell a file cut short.
#include <filesystem>

#include "cli/formats/format.h"
#include "cli/video/video.h"

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

// Whether the transport stream at `path` ends inside a packet, as a file cut short does: its
// demuxer ends there without a word, and there is no index to say how much is missing.
bool EndsInsideAPacket(const std::string& path) {
  std::vector<uint8_t> head;
  ReadFileHead(path, &head);
  if (!DetectTransportStream(head.data(), head.size())) return false;  // no packets to count
  const size_t stride = SyncedPackets(head.data(), head.size(), kPacketBytes, 0)
                            ? kPacketBytes
                            : kPacketBytes + 4;
  std::error_code ec;
  const auto length = std::filesystem::file_size(std::filesystem::u8path(path), ec);
  return !ec && length % stride != 0;
}

// The video entry's source, which, when damage is concealed, also tells at the end a file that
// ends inside a packet.
class TransportStreamSource : public FrameSource {
 public:
  explicit TransportStreamSource(const std::string& path) : video_(OpenVideoSource(path)) {}
  void ConcealDamage() override {
    conceal_ = true;
    video_->ConcealDamage();
  }
  void SelectFrames(const std::vector<int>& numbers) override { video_->SelectFrames(numbers); }
  void Open() override { video_->Open(); }
  int expectedFrames() const override { return video_->expectedFrames(); }
  bool Next(Frame* frame) override {
    ended_ = !video_->Next(frame);
    if (!ended_) last_ = frame->number;
    return !ended_;
  }
  std::vector<std::string> TakeLeftOut() override {
    std::vector<std::string> leftOut = video_->TakeLeftOut();
    if (conceal_ && ended_ && !told_ && EndsInsideAPacket(name())) {
      told_ = true;
      leftOut.push_back(name() + ": cut short after frame " + std::to_string(last_) +
                        ": the file ends inside a packet");
    }
    return leftOut;
  }
  std::vector<std::string> TakeNotes() override { return video_->TakeNotes(); }
  std::shared_ptr<VideoMirror> mirror() override { return video_->mirror(); }
  const std::string& name() const override { return video_->name(); }

 private:
  std::unique_ptr<FrameSource> video_;
  bool conceal_ = false, ended_ = false, told_ = false;
  int last_ = 0;  // the number of the last frame given
};

std::unique_ptr<FrameSource> OpenTransportStreamSource(const std::string& path) {
  return std::make_unique<TransportStreamSource>(path);
}

std::unique_ptr<FrameSink> OpenTransportStreamSink(const std::string& path,
                                                   const WriteOptions& options) {
  return OpenVideoSink(path, options, TransportStreamMuxerOptions(path));
}

}  // namespace

// Packets with arrival times for the names that stand for them, plain packets for .ts.
std::string TransportStreamMuxerOptions(const std::string& path) {
  if (FormatForName(path) != &TransportStreamFormat()) return "";
  const bool timed = Lower(std::filesystem::u8path(path).extension().u8string()) != ".ts";
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
                                {&kCodecOption, &kCrfOption, &kFpsOption, &kUnfitStreamsOption},
                                OpenTransportStreamSource,
                                OpenTransportStreamSink};
  return format;
}

}  // namespace fxaa_cli
