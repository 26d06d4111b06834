#include "cli/video/video_containers.h"

#include <algorithm>
#include <iterator>

#include "cli/errors.h"

namespace fxaa_cli::libav {

namespace {

// MXF as broadcasters take delivery (OP1a): DNxHD and DNxHR, MPEG-2 (422 profile and XDCAM
// among its kinds) and ProRes video, 16 and 24-bit PCM audio. The muxer writes DV, JPEG 2000
// and AVC-Intra too, but only in the sizes and profiles of their own tape and camera formats.
const AVCodecID kMxfCodecs[] = {AV_CODEC_ID_DNXHD, AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_PRORES,
                                AV_CODEC_ID_PCM_S16LE, AV_CODEC_ID_PCM_S24LE};
const char* const kMxfVideoNames = "DNxHD/DNxHR (dnxhd), MPEG-2 (mpeg2video) or ProRes (prores_ks)";

bool IsMxf(const AVOutputFormat* container) { return std::string(container->name) == "mxf"; }

}  // namespace

int ContainerHolds(const AVOutputFormat* container, AVCodecID codec) {
  if (IsMxf(container))
    return std::find(std::begin(kMxfCodecs), std::end(kMxfCodecs), codec) != std::end(kMxfCodecs);
  return avformat_query_codec(container, codec, FF_COMPLIANCE_NORMAL);
}

AVRational VideoStreamTimeBase(const AVOutputFormat* container, const AVCodecContext* encoder) {
  if (IsMxf(container) && encoder->framerate.num > 0 && encoder->framerate.den > 0)
    return av_inv_q(encoder->framerate);
  return encoder->time_base;
}

std::string RefusedVideoCodec(const AVOutputFormat* container, const AVCodec* encoder) {
  if (ContainerHolds(container, encoder->id) != 0) return "";
  return std::string(container->name) + " cannot hold " + avcodec_get_name(encoder->id) +
         " video (from --codec " + encoder->name + ")" +
         (IsMxf(container) ? std::string(": it holds ") + kMxfVideoNames : "");
}

void CheckContainerTakesEncoder(const std::string& path, const std::string& encoder) {
  if (encoder.empty()) return;
  const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
  const AVCodec* codec = avcodec_find_encoder_by_name(encoder.c_str());
  if (container == nullptr || codec == nullptr) return;
  const std::string why = RefusedVideoCodec(container, codec);
  if (!why.empty()) throw UsageError(path + ": " + why);
}

}  // namespace fxaa_cli::libav
