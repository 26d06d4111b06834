// What the tool knows of containers beyond what their muxers say. FFmpeg's MXF muxer lists no
// codecs, and refuses the ones it cannot hold only when the file is begun, with the first frame
// rendered; the tool knows them beforehand.
#pragma once

#include <string>

#include "cli/libav/libav.h"

namespace fxaa_cli::libav {

// 1 when `container` holds `codec`, 0 when it does not, negative when neither the tool nor the
// muxer knows (writing will tell): avformat_query_codec with the tool's own knowledge first.
int ContainerHolds(const AVOutputFormat* container, AVCodecID codec);

// The time base of a video stream `encoder` fills in `container`: the encoder's, but one frame in
// MXF, which counts its edit units in frames and refuses any other.
AVRational VideoStreamTimeBase(const AVOutputFormat* container, const AVCodecContext* encoder);

// Why `container` cannot hold the video `encoder` makes, named by --codec: "mxf cannot hold
// h264 video (from --codec libx264): it holds ..."; "" when it can or may.
std::string RefusedVideoCodec(const AVOutputFormat* container, const AVCodec* encoder);

// Refuses, before anything is rendered, a --codec `encoder` whose video the container of the
// output `path` cannot hold: a UsageError naming the output and the codecs it holds. An unknown
// encoder is left to the option's own check.
void CheckContainerTakesEncoder(const std::string& path, const std::string& encoder);

}  // namespace fxaa_cli::libav
