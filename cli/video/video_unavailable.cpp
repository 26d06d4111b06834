// Video in a build without FFmpeg's libraries (the Windows build): video files are still
// recognised, by their containers' signatures and their names, so that the user is told plainly
// that they need the Linux build rather than that the file is of an unknown type.
#include <cstring>

#include "cli/video/video.h"

namespace fxaa_cli {

bool VideoSupported() { return false; }

bool DetectVideo(const uint8_t* head, size_t size) {
  if (size < 12) return false;
  static const uint8_t kEbml[4] = {0x1A, 0x45, 0xDF, 0xA3};  // Matroska, WebM
  return std::memcmp(head + 4, "ftyp", 4) == 0 || std::memcmp(head + 4, "moov", 4) == 0 ||
         std::memcmp(head + 4, "mdat", 4) == 0 || std::memcmp(head + 4, "wide", 4) == 0 ||
         std::memcmp(head, kEbml, 4) == 0 ||
         (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0);
}

std::string CheckVideoEncoder(const std::string&) { return kVideoNeedsLinux; }

std::unique_ptr<FrameSource> OpenVideoSource(const std::string& path) {
  throw ImageError(path + ": " + kVideoNeedsLinux);
}
std::unique_ptr<FrameSink> OpenVideoSink(const std::string& path, const WriteOptions&,
                                         const std::string&) {
  throw ImageError(path + ": " + kVideoNeedsLinux);
}

struct VideoFrameIndex::State {};
VideoFrameIndex::VideoFrameIndex(const std::string& path) {
  throw ImageError(path + ": " + kVideoNeedsLinux);
}
VideoFrameIndex::~VideoFrameIndex() = default;
int VideoFrameIndex::count() const { return 0; }
int VideoFrameIndex::clockBackAt() const { return 0; }
FrameSpan VideoFrameIndex::Span(int, int) { return {}; }

void JoinVideoParts(const std::vector<std::string>& parts, const std::string&,
                    const std::string&, std::vector<std::string>*) {
  throw ImageError(parts.at(0) + ": " + kVideoNeedsLinux);
}

struct VideoReader::State {};
struct VideoWriter::State {
  std::vector<std::string> notes;
};

VideoReader::VideoReader(const std::string& path, DamagedFrames) {
  throw ImageError(path + ": " + kVideoNeedsLinux);
}
VideoReader::~VideoReader() = default;
std::shared_ptr<VideoMirror> VideoReader::ShareStreams() { throw ImageError(kVideoNeedsLinux); }
std::shared_ptr<VideoMirror> VideoReader::ShareVideoStream() {
  throw ImageError(kVideoNeedsLinux);
}
void VideoReader::ReadSpan(const FrameSpan&) {}
double VideoReader::Seconds(int64_t) const { return 0; }
int VideoReader::expectedFrames() const { return 0; }
int VideoReader::framesRead() const { return 0; }
bool VideoReader::Read(Image*, FrameTime*, std::string*) { return false; }
std::vector<std::string> VideoReader::TakeLeftOut() { return {}; }
std::vector<std::string> VideoReader::TakeNotes() { return {}; }

void TryVideoEncoder(const std::string& path, VideoMirror&, const VideoWriteOptions&, int) {
  throw ImageError(path + ": " + kVideoNeedsLinux);
}

VideoWriter::VideoWriter(const std::string& path, const Image&, std::shared_ptr<VideoMirror>,
                         const VideoWriteOptions&, FieldOrder) {
  throw ImageError(path + ": " + kVideoNeedsLinux);
}
VideoWriter::~VideoWriter() = default;
void VideoWriter::Write(const Image&, const FrameTime&) {}
void VideoWriter::Finish() {}
double VideoWriter::Seconds(const FrameTime&) const { return 0; }
const std::vector<std::string>& VideoWriter::notes() const { return state_->notes; }

}  // namespace fxaa_cli
