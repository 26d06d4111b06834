// Video in a build without FFmpeg's libraries (the Windows build): video files are still
// recognised, by name and by their first bytes, so that the user is told plainly that they need
// the Linux build rather than that the file is of an unknown type.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "cli/formats/video.h"
#include "cli/sequence.h"  // UsageError

namespace fxaa_cli {

namespace {

const char* kNeedsLinux = "video needs the Linux build of fxaa (this build has no FFmpeg)";

}  // namespace

bool IsVideoName(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* known : {"mp4", "m4v", "mov", "mkv", "webm", "avi"})
    if (ext == known) return true;
  return false;
}

bool LooksLikeVideo(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  unsigned char head[12] = {};
  const size_t got = std::fread(head, 1, sizeof(head), file);
  std::fclose(file);
  if (got < 12) return false;
  static const unsigned char kEbml[4] = {0x1A, 0x45, 0xDF, 0xA3};  // Matroska, WebM
  return std::memcmp(head + 4, "ftyp", 4) == 0 || std::memcmp(head + 4, "moov", 4) == 0 ||
         std::memcmp(head + 4, "mdat", 4) == 0 || std::memcmp(head + 4, "wide", 4) == 0 ||
         std::memcmp(head, kEbml, 4) == 0 ||
         (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0);
}

struct VideoReader::State {};
struct VideoWriter::State {
  std::vector<std::string> notes;
};

VideoReader::VideoReader(const std::string& path) { throw ImageError(path + ": " + kNeedsLinux); }
VideoReader::~VideoReader() = default;
VideoSource VideoReader::source() const { return {}; }
int VideoReader::expectedFrames() const { return 0; }
int VideoReader::framesRead() const { return 0; }
bool VideoReader::Read(Image*, FrameTime*) { return false; }

void CheckVideoWriteOptions(const VideoWriteOptions&) { throw UsageError(kNeedsLinux); }

VideoWriter::VideoWriter(const std::string& path, const Image&, const VideoSource*,
                         const VideoWriteOptions&) {
  throw ImageError(path + ": " + kNeedsLinux);
}
VideoWriter::~VideoWriter() = default;
void VideoWriter::Write(const Image&, const FrameTime&) {}
void VideoWriter::Finish() {}
const std::vector<std::string>& VideoWriter::notes() const { return state_->notes; }

}  // namespace fxaa_cli
