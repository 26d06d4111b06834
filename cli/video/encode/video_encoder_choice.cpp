#include "cli/video/encode/video_encoder_choice.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <new>

#include "cli/video/video_containers.h"
#include "cli/image.h"

namespace fxaa_cli::libav {

namespace {

// The encoder of the field for each codec that has several (the library's first pick may be a
// hardware wrapper, or a slow reference encoder).
const AVCodec* PreferredEncoder(AVCodecID id, AVPixelFormat format) {
  const char* names[2] = {nullptr, nullptr};
  switch (id) {
    case AV_CODEC_ID_H264: names[0] = IsRgbFormat(format) ? "libx264rgb" : "libx264"; break;
    case AV_CODEC_ID_HEVC: names[0] = "libx265"; break;
    case AV_CODEC_ID_VP9: names[0] = "libvpx-vp9"; break;
    case AV_CODEC_ID_VP8: names[0] = "libvpx"; break;
    case AV_CODEC_ID_AV1: names[0] = "libsvtav1", names[1] = "libaom-av1"; break;
    case AV_CODEC_ID_PRORES: names[0] = "prores_ks"; break;
    default: return avcodec_find_encoder(id);
  }
  for (const char* name : names)
    if (name != nullptr)
      if (const AVCodec* codec = avcodec_find_encoder_by_name(name)) return codec;
  return nullptr;
}

// The codec a container gets when the input's cannot be kept or there is no input video: ProRes
// in QuickTime (what editing software expects), VP9 in WebM, MPEG-4 Part 2 in AVI, DNxHD (DNxHR)
// in MXF, else H.264.
const AVCodec* ContainerDefault(const AVOutputFormat* container) {
  const std::string name = container->name;
  const char* preferred = name == "mov" ? "prores_ks"
                          : name == "webm" ? "libvpx-vp9"
                          : name == "avi"  ? "mpeg4"
                          : name == "mxf"  ? "dnxhd"
                                           : "libx264";
  if (const AVCodec* codec = avcodec_find_encoder_by_name(preferred)) return codec;
  return avcodec_find_encoder(container->video_codec);
}

bool ContainerTakes(const AVOutputFormat* container, AVCodecID id) {
  // 0 is a plain no; a negative answer means the muxer keeps no list, and writing will tell.
  return ContainerHolds(container, id) != 0;
}

// The pixel formats the encoder takes, ending in AV_PIX_FMT_NONE; null when it does not say.
const AVPixelFormat* PixelFormats(const AVCodec* codec) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
  const void* formats = nullptr;
  if (avcodec_get_supported_config(nullptr, codec, AV_CODEC_CONFIG_PIX_FORMAT, 0, &formats,
                                   nullptr) < 0)
    return nullptr;
  return static_cast<const AVPixelFormat*>(formats);
#else
  return codec->pix_fmts;
#endif
}

bool Offers(const AVCodec* codec, AVPixelFormat format) {
  const AVPixelFormat* formats = PixelFormats(codec);
  if (formats == nullptr) return true;
  for (const AVPixelFormat* f = formats; *f != AV_PIX_FMT_NONE; ++f)
    if (*f == format) return true;
  return false;
}

bool OffersAlpha(const AVCodec* codec) {
  const AVPixelFormat* formats = PixelFormats(codec);
  if (formats == nullptr) return true;
  for (const AVPixelFormat* f = formats; *f != AV_PIX_FMT_NONE; ++f)
    if (HasAlphaChannel(*f)) return true;
  return false;
}

bool IsDeliveryCodec(AVCodecID id) {
  return id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC || id == AV_CODEC_ID_VP8 ||
         id == AV_CODEC_ID_VP9 || id == AV_CODEC_ID_AV1 || id == AV_CODEC_ID_MPEG4;
}

bool Is444(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d != nullptr && d->log2_chroma_w == 0 && d->log2_chroma_h == 0;
}

const char* FormatName(AVPixelFormat format) {
  const char* name = av_get_pix_fmt_name(format);
  return name ? name : "(unknown)";
}

AVPixelFormat ChooseFormat(const AVCodec* codec, const FramesDescription& frames) {
  AVPixelFormat wanted = frames.sourceFormat();
  if (wanted == AV_PIX_FMT_NONE) {
    wanted = frames.deep ? (frames.alpha ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGB48)
                         : (frames.alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24);
  }
  if (Offers(codec, wanted)) return wanted;
  const bool keepAlpha = frames.alpha && OffersAlpha(codec);
  if (frames.source == nullptr) {
    // Frames from image files: ProRes as 4444 with alpha, else 422 HQ; the lossy delivery codecs
    // as 4:2:0, what every player takes. Lossless codecs keep RGB.
    if (codec->id == AV_CODEC_ID_PRORES)
      return keepAlpha ? AV_PIX_FMT_YUVA444P10 : AV_PIX_FMT_YUV422P10;
    const AVPixelFormat delivery = frames.deep ? AV_PIX_FMT_YUV420P10 : AV_PIX_FMT_YUV420P;
    if (IsDeliveryCodec(codec->id) && !keepAlpha && Offers(codec, delivery)) return delivery;
  }
  return avcodec_find_best_pix_fmt_of_list(PixelFormats(codec), wanted, keepAlpha, nullptr);
}

}  // namespace

bool HasCrfOption(const AVCodec* codec) {
  return codec->priv_class != nullptr &&
         av_opt_find(const_cast<AVClass**>(&codec->priv_class), "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

namespace {

// The encoder: the one named, else the source's codec where the container holds it and this
// FFmpeg encodes it, else the container's usual one (with a note saying why).
const AVCodec* ChooseCodec(const AVOutputFormat* container, const FramesDescription& frames,
                           const std::string& codecName, std::vector<std::string>* notes) {
  const AVCodecParameters* source = frames.source;
  if (!codecName.empty()) {
    const AVCodec* named = avcodec_find_encoder_by_name(codecName.c_str());
    if (named == nullptr) throw ImageError("no encoder named " + codecName);
    const std::string refused = RefusedVideoCodec(container, named);
    if (!refused.empty()) throw ImageError(refused);
    return named;
  }
  if (source == nullptr) return ContainerDefault(container);
  const AVCodec* same = PreferredEncoder(source->codec_id, frames.sourceFormat());
  if (same != nullptr && ContainerTakes(container, source->codec_id)) return same;
  const AVCodec* codec = ContainerDefault(container);
  const char* sourceName = avcodec_get_name(source->codec_id);
  if (codec != nullptr)
    notes->push_back(std::string(sourceName) + " video re-encoded as " + codec->name + " (" +
                     (same == nullptr ? std::string("no ") + sourceName + " encoder in this FFmpeg"
                                      : std::string(container->name) + " cannot hold " +
                                            sourceName) +
                     ")");
  return codec;
}

// The colour tags and the coding of the encoded values: the source's where it is Y'CbCr, the
// RGB coding for RGB formats, BT.709 for frames from image files.
void ChooseColour(const FramesDescription& frames, EncoderChoice* choice) {
  const AVCodecParameters* source = frames.source;
  const bool sourceIsYuv =
      frames.sourceFormat() != AV_PIX_FMT_NONE && !IsRgbFormat(frames.sourceFormat());
  if (source != nullptr) {
    choice->primaries = source->color_primaries;
    choice->transfer = source->color_trc;
  } else {
    // Image files hold sRGB-encoded values, or linear light in half and float files; the tags
    // say which, the values pass unchanged.
    choice->primaries = AVCOL_PRI_BT709;
    choice->transfer = frames.linear ? AVCOL_TRC_LINEAR : AVCOL_TRC_IEC61966_2_1;
  }
  if (IsRgbFormat(choice->format)) {
    choice->coding.matrix = AVCOL_SPC_RGB;
    choice->coding.range = AVCOL_RANGE_JPEG;
  } else if (sourceIsYuv) {
    choice->coding.matrix = source->color_space;
    choice->coding.range = source->color_range;
    choice->chromaLocation = source->chroma_location;
  } else {
    choice->coding.matrix = AVCOL_SPC_BT709;
    choice->coding.range = AVCOL_RANGE_MPEG;
  }
}

// ProRes's profile: the source's, else 4444 for alpha or 4:4:4 frames and 422 HQ otherwise;
// 4444 takes 4:4:4 frames, the other profiles 4:2:2.
int ProresProfile(const FramesDescription& frames, AVPixelFormat format) {
  const AVCodecParameters* source = frames.source;
  int profile = HasAlphaChannel(format) || Is444(format) ? 4 : 3;
  if (source != nullptr && source->codec_id == AV_CODEC_ID_PRORES && source->profile >= 0 &&
      source->profile <= 5)
    profile = source->profile;
  if ((profile >= 4) != Is444(format)) profile = Is444(format) ? 4 : 3;
  return profile;
}

// x265's parameters for the source's HDR10 metadata (":hdr10=1:master-display=...:max-cll=..."),
// "" without any. x265 counts chromaticities in 0.00002 and luminances in 0.0001 cd/m2.
std::string X265Hdr10(const FramesDescription& frames) {
  std::string params;
  if (const AVMasteringDisplayMetadata* m = frames.mastering) {
    auto xy = [](const AVRational* p) {
      return "(" + std::to_string(std::lround(av_q2d(p[0]) * 50000)) + "," +
             std::to_string(std::lround(av_q2d(p[1]) * 50000)) + ")";
    };
    if (m->has_primaries && m->has_luminance)
      params += ":master-display=G" + xy(m->display_primaries[1]) + "B" +
                xy(m->display_primaries[2]) + "R" + xy(m->display_primaries[0]) + "WP" +
                xy(m->white_point) + "L(" +
                std::to_string(std::lround(av_q2d(m->max_luminance) * 10000)) + "," +
                std::to_string(std::lround(av_q2d(m->min_luminance) * 10000)) + ")";
  }
  if (const AVContentLightMetadata* l = frames.light)
    params += ":max-cll=" + std::to_string(l->MaxCLL) + "," + std::to_string(l->MaxFALL);
  return params.empty() ? "" : ":hdr10=1" + params;
}

// SVT-AV1's parameters for the source's HDR10 metadata, "" without any: its values as numbers.
std::string SvtAv1Hdr10(const FramesDescription& frames) {
  std::vector<std::string> params;
  char text[256];
  const AVMasteringDisplayMetadata* m = frames.mastering;
  if (m != nullptr && m->has_primaries && m->has_luminance) {
    const AVRational(*p)[2] = m->display_primaries;
    std::snprintf(text, sizeof(text),
                  "mastering-display=G(%.5f,%.5f)B(%.5f,%.5f)R(%.5f,%.5f)WP(%.5f,%.5f)L(%.4f,%.4f)",
                  av_q2d(p[1][0]), av_q2d(p[1][1]), av_q2d(p[2][0]), av_q2d(p[2][1]),
                  av_q2d(p[0][0]), av_q2d(p[0][1]), av_q2d(m->white_point[0]),
                  av_q2d(m->white_point[1]), av_q2d(m->max_luminance), av_q2d(m->min_luminance));
    params.push_back(text);
  }
  if (const AVContentLightMetadata* l = frames.light) {
    std::snprintf(text, sizeof(text), "content-light=%u,%u", l->MaxCLL, l->MaxFALL);
    params.push_back(text);
  }
  std::string joined;
  for (const std::string& p : params) joined += (joined.empty() ? "" : ":") + p;
  return joined;
}

}  // namespace

void SetUp(const EncoderChoice& choice, const EncoderSetup& setup, AVCodecContext* encoder) {
  encoder->width = setup.width;
  encoder->height = setup.height;
  encoder->pix_fmt = choice.format;
  encoder->time_base = setup.timeBase;
  encoder->framerate = setup.frameRate;
  encoder->sample_aspect_ratio = setup.aspect;
  encoder->field_order = setup.fields;
  encoder->flags |= setup.flags;
  encoder->color_primaries = choice.primaries;
  encoder->color_trc = choice.transfer;
  encoder->colorspace = choice.coding.matrix;
  encoder->color_range = choice.coding.range;
  encoder->chroma_sample_location = choice.chromaLocation;
}

EncoderChoice ChooseEncoder(const AVOutputFormat* container, const FramesDescription& frames,
                            const std::string& codecName) {
  EncoderChoice choice;
  choice.codec = ChooseCodec(container, frames, codecName, &choice.notes);
  if (choice.codec == nullptr)
    throw ImageError(std::string("no video encoder for ") + container->name);

  choice.format = ChooseFormat(choice.codec, frames);
  if (choice.format == AV_PIX_FMT_NONE)
    throw ImageError(std::string(choice.codec->name) + " offers no pixel format to encode into");
  // VP8's and VP9's alpha is a second picture beside the first, which only Matroska and WebM
  // carry (as block additions).
  const std::string containerName = container->name;
  const bool alphaBeside = choice.codec->id == AV_CODEC_ID_VP8 || choice.codec->id == AV_CODEC_ID_VP9;
  if (frames.alpha && alphaBeside && HasAlphaChannel(choice.format) &&
      containerName != "matroska" && containerName != "webm") {
    choice.format = AV_PIX_FMT_YUV420P;
    choice.notes.push_back(std::string("alpha dropped: ") + container->name +
                           " cannot hold the alpha of " + avcodec_get_name(choice.codec->id));
  } else if (frames.alpha && !HasAlphaChannel(choice.format)) {
    choice.notes.push_back(std::string("alpha dropped: ") + choice.codec->name + " as " +
                           FormatName(choice.format) + " has none");
  }
  if (frames.deep && !IsDeep(choice.format))
    choice.notes.push_back(std::string("reduced to 8 bits: ") + choice.codec->name + " as " +
                           FormatName(choice.format));
  ChooseColour(frames, &choice);
  if (choice.codec->id == AV_CODEC_ID_PRORES) choice.proresProfile = ProresProfile(frames, choice.format);
  return choice;
}

namespace {

// Whether DNxHD takes frames set up as the real open sets them at `bitRate` in its DNxHD
// profile: it takes a few rates for each size, format and scan, and says which only in its log.
bool DnxhdTakes(const EncoderChoice& choice, const EncoderSetup& setup, int64_t bitRate) {
  CodecPtr trial(avcodec_alloc_context3(choice.codec));
  if (!trial) throw std::bad_alloc();
  SetUp(choice, setup, trial.get());
  trial->thread_count = 1;
  trial->bit_rate = bitRate;
  return avcodec_open2(trial.get(), choice.codec, nullptr) >= 0;
}

// DNxHD's profile and rate: the source's profile where it is DNxHD or DNxHR, and in the DNxHD
// profile the rate it takes nearest the source's, in whole megabits as it counts them. Frames
// of another codec, and DNxHD frames no DNxHD rate takes (a size of their own, as --downsample
// makes), go to DNxHR, which takes any size from 256 x 120, at the quality of the pixel format.
void SetDnxhdProfile(const EncoderChoice& choice, const EncoderSetup& setup,
                     const FramesDescription& frames, AVCodecContext* encoder,
                     AVDictionary** options, std::vector<std::string>* notes) {
  const AVCodecParameters* source = frames.source;
  const bool fromDnx = source != nullptr && source->codec_id == AV_CODEC_ID_DNXHD;
  const AVPixelFormat format = encoder->pix_fmt;
  const bool is444 = format == AV_PIX_FMT_YUV444P10 || format == AV_PIX_FMT_GBRP10;
  const int dnxhr = is444            ? FF_PROFILE_DNXHR_444
                    : IsDeep(format) ? FF_PROFILE_DNXHR_HQX
                                     : FF_PROFILE_DNXHR_HQ;
  int profile = fromDnx && source->profile >= FF_PROFILE_DNXHD &&
                        source->profile <= FF_PROFILE_DNXHR_444
                    ? source->profile
                    : dnxhr;
  if (profile == FF_PROFILE_DNXHD) {
    const int64_t wanted = std::max<int64_t>(1, (source->bit_rate + 500000) / 1000000);
    int64_t found = 0;
    for (int64_t step = 0; step <= wanted && found == 0; ++step)
      for (const int64_t mbps : {wanted - step, wanted + step})
        if (found == 0 && mbps > 0 && DnxhdTakes(choice, setup, mbps * 1000000))
          found = mbps;
    ClearLoggedError();
    if (found != 0) {
      encoder->bit_rate = found * 1000000;
    } else {
      profile = dnxhr;
      notes->push_back("DNxHD takes no " + std::to_string(encoder->width) + " x " +
                       std::to_string(encoder->height) + " " + FormatName(format) +
                       " frames: encoded as DNxHR " +
                       (dnxhr == FF_PROFILE_DNXHR_444   ? "444"
                        : dnxhr == FF_PROFILE_DNXHR_HQX ? "HQX"
                                                        : "HQ"));
    }
  }
  av_dict_set_int(options, "profile", profile, 0);
}

// MPEG-1 and MPEG-2's buffer model: the source's where it states a rate and a buffer, else the
// largest of the level its size belongs to (main, high 1440, high), so that the buffer the
// stream signals holds its frames; the encoder keeps them within it.
void SetMpegBuffer(const FramesDescription& frames, AVCodecContext* encoder) {
  if (const AVCPBProperties* b = frames.buffer; b && b->max_bitrate > 0 && b->buffer_size > 0) {
    encoder->rc_max_rate = b->max_bitrate;
    encoder->rc_buffer_size = static_cast<int>(b->buffer_size);
  } else {
    const int64_t samples = int64_t(encoder->width) * encoder->height;
    // The encoder sizes the buffer from the rate as the levels do: 1835008 bits at 15 Mb/s.
    encoder->rc_max_rate = samples <= 720 * 576 ? 15000000 : samples <= 1440 * 1152 ? 60000000
                                                                                    : 80000000;
    encoder->rc_buffer_size = 0;
  }
  encoder->rc_max_rate = std::max(encoder->rc_max_rate, encoder->bit_rate);
}

}  // namespace

void SetQuality(const EncoderChoice& choice, const EncoderSetup& setup,
                const FramesDescription& frames, int crf, AVCodecContext* encoder,
                AVDictionary** options, std::vector<std::string>* notes) {
  const AVCodec* codec = choice.codec;
  const std::string name = codec->name;
  // H.264's intra profiles (AVC-Intra among them) stay intra-only: every frame a key frame, as an
  // editing system cuts them.
  const AVCodecParameters* source = frames.source;
  if (source != nullptr && source->codec_id == AV_CODEC_ID_H264 && source->profile > 0 &&
      (source->profile & FF_PROFILE_H264_INTRA) && codec->id == AV_CODEC_ID_H264)
    encoder->gop_size = 1;
  if (HasCrfOption(codec)) {
    // x264's crf 0 is lossless at 8 bits only, its qp 0 at every depth; x265 and libvpx have a
    // lossless mode of their own; the AV1 encoders have none.
    const bool lossless = crf == 0;
    if (lossless && name.rfind("libx264", 0) == 0)
      av_dict_set_int(options, "qp", 0, 0);
    else
      av_dict_set_int(options, "crf", crf >= 0 ? crf : 16, 0);
    // x264 starts top field first and takes a frame's order late: its picture timing then says
    // top first where its fields' order counts say bottom first. It is told the order at once.
    const AVFieldOrder fields = encoder->field_order;
    if (name.rfind("libx264", 0) == 0 && fields != AV_FIELD_UNKNOWN && fields != AV_FIELD_PROGRESSIVE)
      av_dict_set(options, "x264-params",
                  fields == AV_FIELD_BB || fields == AV_FIELD_TB ? "bff=1" : "tff=1", 0);
    if (lossless && name.rfind("libvpx", 0) == 0) av_dict_set_int(options, "lossless", 1, 0);
    if (lossless && (name == "libsvtav1" || name == "libaom-av1"))
      notes->push_back("--crf 0 is " + name + "'s best quality, not lossless");
    // libvpx is in constant-quality mode only without a target rate.
    if (name.rfind("libvpx", 0) == 0) {
      encoder->bit_rate = 0;
      av_dict_set(options, "row-mt", "1", 0);
      av_dict_set(options, "cpu-used", "4", 0);
    }
    if (name == "libx265")
      av_dict_set(options, "x265-params",
                  ("log-level=error" + std::string(lossless ? ":lossless=1" : "") +
                   X265Hdr10(frames))
                      .c_str(),
                  0);
    if (name == "libsvtav1") {
      const std::string hdr10 = SvtAv1Hdr10(frames);
      if (!hdr10.empty()) av_dict_set(options, "svtav1-params", hdr10.c_str(), 0);
    }
    return;
  }
  if (codec->id == AV_CODEC_ID_PRORES) {
    av_dict_set_int(options, "profile", choice.proresProfile, 0);
    encoder->profile = choice.proresProfile;  // the stream states it: MXF's muxer needs it
    return;
  }
  if (codec->id == AV_CODEC_ID_DNXHD) {
    SetDnxhdProfile(choice, setup, frames, encoder, options, notes);
    return;
  }
  const bool sameCodec = frames.source != nullptr && frames.source->codec_id == codec->id;
  const bool mpeg12 =
      codec->id == AV_CODEC_ID_MPEG1VIDEO || codec->id == AV_CODEC_ID_MPEG2VIDEO;
  if (sameCodec && frames.source->bit_rate > 0) {
    encoder->bit_rate = frames.source->bit_rate;
    if (mpeg12) SetMpegBuffer(frames, encoder);
    // Sony's XDCAM (QuickTime tags xd5*, xdv*, xdh*) runs at a constant rate, its buffer's
    // (50 Mb/s for HD422), which players of the tag expect: the encoder fills every frame to it.
    const unsigned tag = frames.source->codec_tag;
    const bool xdcam = (tag & 0xFFFF) == MKTAG('x', 'd', 0, 0);
    if (mpeg12 && xdcam && frames.buffer != nullptr && frames.buffer->max_bitrate > 0) {
      encoder->bit_rate = encoder->rc_min_rate = encoder->rc_max_rate = frames.buffer->max_bitrate;
    }
    return;
  }
  if (mpeg12) SetMpegBuffer(frames, encoder);
  static const AVCodecID quantised[] = {AV_CODEC_ID_MPEG4, AV_CODEC_ID_MPEG2VIDEO,
                                        AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MJPEG,
                                        AV_CODEC_ID_MSMPEG4V3};
  for (AVCodecID id : quantised) {
    if (codec->id != id) continue;
    encoder->flags |= AV_CODEC_FLAG_QSCALE;
    encoder->global_quality = 2 * FF_QP2LAMBDA;
  }
}

}  // namespace fxaa_cli::libav
