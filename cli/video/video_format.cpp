// Video files as an entry of the format table: found by their first bytes (the libraries' probe,
// or the containers' signatures in a build without them), named by the usual container
// extensions, written with the encoder options below. They open as a source and a sink of frames
// (video.h), not one image at a time.
#include <cstdlib>

#include "cli/formats/format.h"
#include "cli/video/video.h"

namespace fxaa_cli {

namespace {

std::string CheckCrf(const std::string& value) {
  char* end = nullptr;
  const long crf = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || crf < 0 || crf > 63) return "expected 0 to 63";
  return "";
}

std::string CheckFps(const std::string& value) {
  char* end = nullptr;
  const double fps = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !(fps > 0 && fps <= 1000))
    return "expected a frame rate above 0, at most 1000 (24, 23.976, 29.97, 60)";
  return "";
}

// The sink of the usual containers, which need no options of their own.
std::unique_ptr<FrameSink> OpenContainerSink(const std::string& path, const WriteOptions& options) {
  return OpenVideoSink(path, options);
}

}  // namespace

const FormatOption kCodecOption = {
    "codec", "NAME",
    "video output: an FFmpeg encoder (libx264, libx265, prores_ks, libvpx-vp9, ffv1, ...); "
    "default the input's codec, else the container's usual one",
    "", CheckVideoEncoder};
const FormatOption kCrfOption = {
    "crf", "N",
    "video output: constant quality of x264, x265, VP9 and AV1, 0 (best: lossless but for AV1) "
    "to 63; default 16",
    "", CheckCrf};
std::string CheckUnfitStreams(const std::string& value) {
  return value == "fail" || value == "leave-out" ? "" : "expected fail or leave-out";
}

const FormatOption kUnfitStreamsOption = {
    "unfit-streams", "fail|leave-out",
    "video output: what to do with an input's audio, subtitle or other stream the output's "
    "container cannot hold: refuse the output (fail, the default) or leave the stream out with "
    "a note",
    "fail", CheckUnfitStreams};
const FormatOption kFpsOption = {"fps", "RATE",
                           "video output from image files: frames per second; default 24", "24",
                           CheckFps};

VideoWriteOptions VideoWriteOptionsFrom(const WriteOptions& options) {
  VideoWriteOptions video;
  video.codec = FormatOptionValue(options, kCodecOption);
  const std::string crf = FormatOptionValue(options, kCrfOption);
  video.crf = crf.empty() ? -1 : std::atoi(crf.c_str());
  video.fps = std::atof(FormatOptionValue(options, kFpsOption).c_str());
  video.leaveOutUnfit = FormatOptionValue(options, kUnfitStreamsOption) == "leave-out";
  return video;
}

const Format& VideoFormat() {
  static const Format format = {"video",
                                {".mp4", ".mov", ".mkv", ".webm", ".avi", ".m4v"},
                                {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/true,
                                DetectVideo,
                                /*read=*/nullptr,
                                /*write=*/nullptr,
                                {&kCodecOption, &kCrfOption, &kFpsOption, &kUnfitStreamsOption},
                                OpenVideoSource,
                                OpenContainerSink};
  return format;
}

}  // namespace fxaa_cli
