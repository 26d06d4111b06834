#include "cli/video/video_pixels.h"

#include <cstring>

extern "C" {
#include <libavutil/opt.h>
}

namespace fxaa_cli::libav {

namespace {

// Into RGB, chroma interpolated bicubically at full resolution; back into Y'CbCr, each chroma
// sample the average of the area it covers. A bicubic filter both ways rings beside chroma
// edges: a round trip comes back 0.5 to 2 dB worse in Cb and Cr than with the area average.
// Both rounded accurately, with chroma taken to sit between luma samples both ways, whatever the
// stream's tag says: FFmpeg tags H.264 it made from RGB "left" though its converter put the
// chroma between, and a round trip at the tagged place comes back 2.5 dB worse in Cb and Cr.
constexpr int kToRgbFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;
constexpr int kToYuvFlags = SWS_AREA | SWS_ACCURATE_RND;

bool IsYuvjFormat(AVPixelFormat format) {
  return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
         format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P ||
         format == AV_PIX_FMT_YUVJ411P;
}

bool IsGreyFormat(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d != nullptr && d->nb_components <= 2 && !(d->flags & AV_PIX_FMT_FLAG_PAL) &&
         !(d->flags & AV_PIX_FMT_FLAG_RGB);
}

// swscale's coefficient table for the matrix, as the frame's height suggests when unspecified.
const int* Coefficients(AVColorSpace matrix, int height) {
  switch (matrix) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_FCC:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_BT2020_NCL:
      return sws_getCoefficients(matrix);
    case AVCOL_SPC_BT2020_CL:
      return sws_getCoefficients(AVCOL_SPC_BT2020_NCL);
    default:
      return sws_getCoefficients(height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601);
  }
}

// Whether the format's values span the full range: as tagged, else full for RGB, grey and the
// JPEG-range formats, limited for other Y'CbCr.
bool FullRange(AVPixelFormat format, AVColorRange range) {
  if (IsRgbFormat(format)) return true;
  if (range == AVCOL_RANGE_JPEG) return true;
  if (range == AVCOL_RANGE_MPEG) return false;
  return IsYuvjFormat(format) || IsGreyFormat(format);
}

// A scaler from one format to another at the same size, with the coding's matrix and ranges;
// `frameHeight` (a field's frame's) picks the matrix of an untagged stream.
ScalerPtr MakeScaler(int width, int height, int frameHeight, AVPixelFormat from, AVPixelFormat to,
                     const ColourCoding& coding) {
  ScalerPtr scaler(sws_alloc_context());
  if (!scaler) return scaler;
  SwsContext* s = scaler.get();
  const bool toRgb = IsRgbFormat(to);
  av_opt_set_int(s, "sws_flags", toRgb ? kToRgbFlags : kToYuvFlags, 0);
  av_opt_set_int(s, "srcw", width, 0);
  av_opt_set_int(s, "srch", height, 0);
  av_opt_set_int(s, "dstw", width, 0);
  av_opt_set_int(s, "dsth", height, 0);
  av_opt_set_pixel_fmt(s, "src_format", from, 0);
  av_opt_set_pixel_fmt(s, "dst_format", to, 0);
  if (sws_init_context(s, nullptr, nullptr) < 0) return nullptr;
  const int* table = Coefficients(coding.matrix, frameHeight);
  sws_setColorspaceDetails(scaler.get(), table, FullRange(from, coding.range), table,
                           FullRange(to, coding.range), 0, 1 << 16, 1 << 16);
  return scaler;
}

}  // namespace

bool IsDeep(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  if (d == nullptr) return false;
  if (d->flags & AV_PIX_FMT_FLAG_FLOAT) return true;
  for (int c = 0; c < d->nb_components; ++c)
    if (d->comp[c].depth > 8) return true;
  return false;
}

bool HasAlphaChannel(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

bool IsRgbFormat(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d != nullptr && (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) != 0;
}

bool ConvertsByField(AVPixelFormat format, int height) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d != nullptr && d->log2_chroma_h > 0 && height % (2 << d->log2_chroma_h) == 0;
}

namespace {

// Scales `lines` lines from `in` to `out` once, or, `byField`, each field's lines on their own:
// every plane's rows from the field's first, two rows a step.
void ScaleLines(SwsContext* scaler, const uint8_t* const in[4], const int inStrides[4],
                uint8_t* const out[4], const int outStrides[4], int lines, bool byField) {
  for (int parity = 0; parity < (byField ? 2 : 1); ++parity) {
    const uint8_t* from[4] = {};
    uint8_t* to[4] = {};
    int fromStrides[4] = {}, toStrides[4] = {};
    for (int p = 0; p < 4; ++p) {
      const int step = byField ? 2 : 1;
      if (in[p] != nullptr) from[p] = in[p] + parity * inStrides[p];
      if (out[p] != nullptr) to[p] = out[p] + parity * outStrides[p];
      fromStrides[p] = inStrides[p] * step;
      toStrides[p] = outStrides[p] * step;
    }
    sws_scale(scaler, from, fromStrides, 0, lines, to, toStrides);
  }
}

}  // namespace

void FrameToImage::Convert(const AVFrame& frame, const ColourCoding& coding, bool alpha,
                           bool fields, Image* image) {
  const AVPixelFormat format = static_cast<AVPixelFormat>(frame.format);
  const bool deep = IsDeep(format);
  const bool byField = fields && ConvertsByField(format, frame.height);
  const int lines = byField ? frame.height / 2 : frame.height;
  if (!scaler_ || frame.width != width_ || lines != height_ || format != format_) {
    // Bytes go straight into the host's pixel order; deeper values through 16-bit words.
    scaler_ = MakeScaler(frame.width, lines, frame.height, format,
                         deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_ARGB, coding);
    if (!scaler_) {
      const char* name = av_get_pix_fmt_name(format);
      throw ImageError(std::string("unsupported pixel format ") + (name ? name : "(unknown)"));
    }
    width_ = frame.width, height_ = lines, format_ = format;
  }
  image->width = frame.width;
  image->height = frame.height;
  image->layout = alpha ? ChannelLayout::kRGBA : ChannelLayout::kRGB;
  image->type = deep ? SampleType::kUInt16 : SampleType::kUInt8;
  image->Allocate();
  if (!deep) {
    uint8_t* const planes[4] = {image->bytes.data()};
    const int strides[4] = {frame.width * 4};
    ScaleLines(scaler_.get(), frame.data, frame.linesize, planes, strides, lines, byField);
    return;
  }
  words_.resize(size_t(frame.width) * frame.height * 4);
  uint8_t* const planes[4] = {reinterpret_cast<uint8_t*>(words_.data())};
  const int strides[4] = {frame.width * 8};
  ScaleLines(scaler_.get(), frame.data, frame.linesize, planes, strides, lines, byField);
  float* out = image->floats.data();
  for (size_t i = 0; i < words_.size(); i += 4) {
    out[i] = Word16ToFloat(words_[i + 3]);
    out[i + 1] = Word16ToFloat(words_[i]);
    out[i + 2] = Word16ToFloat(words_[i + 1]);
    out[i + 3] = Word16ToFloat(words_[i + 2]);
  }
}

void ImageToFrame::Convert(const Image& image, const ColourCoding& coding, bool fields,
                           AVFrame* frame) {
  const bool deep = image.type != SampleType::kUInt8;
  const AVPixelFormat format = static_cast<AVPixelFormat>(frame->format);
  const bool byField = fields && ConvertsByField(format, frame->height);
  const int lines = byField ? frame->height / 2 : frame->height;
  if (!scaler_ || deep != deepSource_ || lines != lines_) {
    scaler_ = MakeScaler(frame->width, lines, frame->height,
                         deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_ARGB, format, coding);
    if (!scaler_) {
      const char* name = av_get_pix_fmt_name(format);
      throw ImageError(std::string("cannot convert frames to ") + (name ? name : "(unknown)"));
    }
    deepSource_ = deep;
    lines_ = lines;
  }
  // The image's own lines, as many as the frame takes (an image may hold a line more).
  if (!deep) {
    const uint8_t* const planes[4] = {image.bytes.data()};
    const int strides[4] = {image.width * 4};
    ScaleLines(scaler_.get(), planes, strides, frame->data, frame->linesize, lines, byField);
    return;
  }
  words_.resize(image.floats.size());
  const float* in = image.floats.data();
  for (size_t i = 0; i < words_.size(); i += 4) {
    words_[i] = FloatToWord16(in[i + 1]);
    words_[i + 1] = FloatToWord16(in[i + 2]);
    words_[i + 2] = FloatToWord16(in[i + 3]);
    words_[i + 3] = FloatToWord16(in[i]);
  }
  const uint8_t* const planes[4] = {reinterpret_cast<const uint8_t*>(words_.data())};
  const int strides[4] = {image.width * 8};
  ScaleLines(scaler_.get(), planes, strides, frame->data, frame->linesize, lines, byField);
}

}  // namespace fxaa_cli::libav
