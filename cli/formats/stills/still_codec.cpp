#include "cli/formats/stills/still_codec.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "cli/formats/format.h"
#include "cli/libav/libav.h"
#include "cli/system.h"

namespace fxaa_cli {

using namespace libav;

namespace {

// A file may decode into at most this many pixels per byte of it, or kPixelsFloor, whichever
// is more. No run-length code of these formats gives more than 128 pixels a byte (TGA, SGI, QOI
// and BMP's), stored samples take a byte or more; only LZ and wavelet codes (WebP, JPEG 2000)
// reach further, on flat pictures, and the floor leaves them any picture up to 16 million pixels
// (4096 x 4096). A header that promises more from a few bytes is refused before the decoder
// commits memory to it.
constexpr long long kPixelsPerFileByte = 256;
constexpr long long kPixelsFloor = 16ll << 20;

// What the decoder's buffer callback may allocate, and what it was asked for.
struct BufferLimit {
  long long maxPixels = 0;
  int width = 0, height = 0;
  bool refused = false;
};

// The decoder's frame buffers, refused beyond the tool's sides and the file's limit.
int LimitedBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
  BufferLimit* limit = static_cast<BufferLimit*>(context->opaque);
  limit->width = frame->width;
  limit->height = frame->height;
  if (frame->width > kMaxImageSide || frame->height > kMaxImageSide ||
      static_cast<long long>(frame->width) * frame->height > limit->maxPixels) {
    limit->refused = true;
    return AVERROR(ERANGE);
  }
  return avcodec_default_get_buffer2(context, frame, flags);
}

// The whole file as one packet, with the library's zeroed padding after it.
PacketPtr ReadPacket(const std::string& path, const StillCodec& codec) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenFile(path, "rb"), std::fclose);
  if (!file) throw ImageError(path + ": cannot open: " + std::strerror(errno));
  const unsigned long long length = FileLength(file.get());
  // CheckImageSize takes pictures whose float copy (16 bytes a pixel) fits in an eighth of the
  // memory; stored at 8 bytes a pixel at the most, they fit in a sixteenth.
  const unsigned long long memory = PhysicalMemoryBytes();
  if (length == 0) throw ImageError(path + ": empty file");
  if (length > static_cast<unsigned long long>(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE ||
      (memory != 0 && length > memory / 16))
    throw ImageError(path + ": too large for a " + codec.format + " picture the tool takes (" +
                     std::to_string(length) + " bytes)");
  PacketPtr packet(av_packet_alloc());
  if (!packet || av_new_packet(packet.get(), static_cast<int>(length)) < 0) throw std::bad_alloc();
  if (std::fread(packet->data, 1, length, file.get()) != length)
    throw ImageError(path + ": cannot read: " +
                     (std::ferror(file.get()) ? std::strerror(errno) : "the file shrank"));
  return packet;
}

// Whether a frame of `format` is read component by component as it is: RGB or grey samples,
// neither palette, bit-packed, float nor Y'CbCr.
bool ReadsDirectly(const AVPixFmtDescriptor* d) {
  const uint64_t other = AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_FLOAT |
                         AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER;
  return d != nullptr && !(d->flags & other) &&
         ((d->flags & AV_PIX_FMT_FLAG_RGB) || d->nb_components <= 2);
}

bool IsDeepFormat(const AVPixFmtDescriptor* d) {
  if (d->flags & AV_PIX_FMT_FLAG_FLOAT) return true;
  for (int c = 0; c < d->nb_components; ++c)
    if (d->comp[c].depth > 8) return true;
  return false;
}

// A frame of `format` and size with its buffers.
FramePtr AllocatedFrame(AVPixelFormat format, int width, int height) {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  frame->format = format;
  frame->width = width;
  frame->height = height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
  return frame;
}

// A frame converted by swscale into packed RGB of the source's depth and alpha: palette,
// bit-packed, float and Y'CbCr frames, the last with the matrix and range they are tagged with
// (BT.601, limited range, where untagged: what still-picture codecs use).
FramePtr ToPackedRgb(const AVFrame& frame, const std::string& path, const StillCodec& codec) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  const bool alpha = d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA);
  const bool deep = d != nullptr && IsDeepFormat(d);
  const AVPixelFormat to = deep ? (alpha ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGB48)
                                : (alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24);
  FramePtr out = AllocatedFrame(to, frame.width, frame.height);
  ScalerPtr scaler(sws_getContext(frame.width, frame.height,
                                  static_cast<AVPixelFormat>(frame.format), frame.width,
                                  frame.height, to,
                                  SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                  nullptr, nullptr));
  if (!scaler) {
    const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame.format));
    throw ImageError(path + ": " + codec.format + " in an unsupported pixel format " +
                     (name ? name : "(unknown)"));
  }
  const int* matrix = sws_getCoefficients(frame.colorspace == AVCOL_SPC_UNSPECIFIED
                                              ? SWS_CS_ITU601
                                              : static_cast<int>(frame.colorspace));
  sws_setColorspaceDetails(scaler.get(), matrix, frame.color_range == AVCOL_RANGE_JPEG, matrix, 1,
                           0, 1 << 16, 1 << 16);
  // Its output frame holds whatever was in memory until the conversion fills it.
  if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, out->data,
                out->linesize) != frame.height)
    throw ImageError(path + ": cannot convert " + codec.format + " from " +
                     av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame.format)) + " into RGB");
  return out;
}

// `value` of `bits` bits as the nearest value of `to` bits.
uint32_t Rescale(uint32_t value, int bits, int to) {
  if (bits == to) return value;
  const uint64_t from = (1ull << bits) - 1, into = (1ull << to) - 1;
  return static_cast<uint32_t>((value * into + from / 2) / from);
}

// The image of a frame whose components ReadsDirectly.
Image ImageOf(const AVFrame& frame) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  const bool grey = !(d->flags & AV_PIX_FMT_FLAG_RGB);
  const bool alpha = (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
  Image image;
  image.width = frame.width;
  image.height = frame.height;
  image.layout = grey ? (alpha ? ChannelLayout::kYA : ChannelLayout::kY)
                      : (alpha ? ChannelLayout::kRGBA : ChannelLayout::kRGB);
  image.type = IsDeepFormat(d) ? SampleType::kUInt16 : SampleType::kUInt8;
  image.Allocate();
  // The file's components in ARGB order: alpha last in the descriptor, grey read as R, G and B.
  const int alphaComponent = alpha ? d->nb_components - 1 : -1;
  const int argb[4] = {alphaComponent, 0, grey ? 0 : 1, grey ? 0 : 2};
  const int outBits = image.type == SampleType::kUInt8 ? 8 : 16;
  const uint8_t* planes[4] = {frame.data[0], frame.data[1], frame.data[2], frame.data[3]};
  std::vector<uint32_t> line(static_cast<size_t>(frame.width));
  for (int y = 0; y < frame.height; ++y) {
    for (int channel = 0; channel < 4; ++channel) {
      const int c = argb[channel];
      if (c < 0) {
        std::fill(line.begin(), line.end(), (1u << outBits) - 1);
      } else {
        av_read_image_line2(line.data(), planes, frame.linesize, d, 0, y, c, frame.width, 0, 4);
        for (uint32_t& v : line) v = Rescale(v, d->comp[c].depth, outBits);
      }
      if (outBits == 8) {
        uint8_t* row = image.byteRow(y);
        for (int x = 0; x < frame.width; ++x) row[4 * x + channel] = static_cast<uint8_t>(line[x]);
      } else {
        float* row = image.floatRow(y);
        for (int x = 0; x < frame.width; ++x)
          row[4 * x + channel] = Word16ToFloat(static_cast<uint16_t>(line[x]));
      }
    }
  }
  return image;
}

// Sends `packet` and the end of the stream to `decoder`, and takes the frame it gives.
int DecodeOne(AVCodecContext* decoder, const AVPacket* packet, AVFrame* frame) {
  int err = avcodec_send_packet(decoder, packet);
  if (err < 0) return err;
  err = avcodec_send_packet(decoder, nullptr);
  if (err < 0 && err != AVERROR_EOF) return err;
  return avcodec_receive_frame(decoder, frame);
}

}  // namespace

StillPicture ReadStill(const std::string& path, const StillCodec& codec) {
  KeepLogQuiet();
  ClearLoggedError();
  PacketPtr packet = ReadPacket(path, codec);
  StillPicture picture;
  picture.head.assign(packet->data,
                      packet->data + std::min<size_t>(packet->size, kFormatHeadBytes));
  if (!codec.detect(picture.head.data(), picture.head.size()))
    throw ImageError(path + ": not a " + codec.format + " file");
  const std::string corrupt = path + ": cannot read " + codec.format + ": ";
  if (codec.checkWhole != nullptr) {
    const std::string why = codec.checkWhole(packet->data, static_cast<size_t>(packet->size));
    if (!why.empty()) throw ImageError(corrupt + why);
  }

  const AVCodec* found = avcodec_find_decoder_by_name(codec.decoder);
  if (found == nullptr)
    throw ImageError(path + ": this FFmpeg has no " + codec.format + " decoder (" +
                     codec.decoder + ")");
  CodecPtr decoder(avcodec_alloc_context3(found));
  if (!decoder) throw std::bad_alloc();
  BufferLimit limit;
  LoggedErrors logged(&limit);  // of this decoder, whichever of its threads logs
  const LoggedErrors::Scope scope(logged);
  limit.maxPixels = std::max(kPixelsFloor, kPixelsPerFileByte * packet->size);
  decoder->opaque = &limit;
  decoder->get_buffer2 = LimitedBuffer;
  decoder->max_pixels = limit.maxPixels;  // decoders that size their own buffers by it first
  // Slices (JPEG 2000's tiles) decode on every core; frame threads would only delay one frame.
  decoder->thread_type = FF_THREAD_SLICE;
  int err = avcodec_open2(decoder.get(), found, nullptr);
  if (err < 0) throw ImageError(corrupt + ErrorText(err));

  const unsigned decoderErrors = logged.count(Logger::kDecoder);
  FramePtr frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  err = DecodeOne(decoder.get(), packet.get(), frame.get());
  if (limit.refused) {
    CheckImageSize(path, limit.width, limit.height);
    throw ImageError(path + ": " + codec.format + " of " + std::to_string(limit.width) + " x " +
                     std::to_string(limit.height) + " pixels from " +
                     std::to_string(packet->size) +
                     " bytes: more than the tool takes from so short a file (" +
                     std::to_string(kPixelsPerFileByte) + " pixels a byte)");
  }
  if (err == AVERROR(ENOMEM)) throw std::bad_alloc();
  if (err < 0) throw ImageError(corrupt + ErrorText(err));
  // A decoder that meets damage may still give a picture, saying so only in its log or flags.
  if (logged.count(Logger::kDecoder) != decoderErrors || frame->decode_error_flags != 0 ||
      (frame->flags & AV_FRAME_FLAG_CORRUPT))
    throw ImageError(corrupt + ErrorText(AVERROR_INVALIDDATA));
  CheckImageSize(path, frame->width, frame->height);

  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
  if (ReadsDirectly(d)) {
    picture.image = ImageOf(*frame);
    picture.bits = decoder->bits_per_raw_sample > 0 ? decoder->bits_per_raw_sample
                                                    : d->comp[0].depth;
  } else {
    picture.image = ImageOf(*ToPackedRgb(*frame, path, codec));
    picture.bits = picture.image.type == SampleType::kUInt8 ? 8 : 16;
    if (d != nullptr && (d->flags & AV_PIX_FMT_FLAG_PAL)) {
      picture.image.fromPalette = true;
      if (Opaque(picture.image)) picture.image.layout = ChannelLayout::kRGB;
    }
  }
  for (const AVDictionaryEntry* e = nullptr;
       (e = av_dict_get(frame->metadata, "", e, AV_DICT_IGNORE_SUFFIX));)
    picture.metadata[e->key] = e->value;
  if (decoder->framerate.num > 0 && decoder->framerate.den > 0) {
    picture.rateNumerator = decoder->framerate.num;
    picture.rateDenominator = decoder->framerate.den;
  }
  if (frame->sample_aspect_ratio.num > 0 && frame->sample_aspect_ratio.den > 0) {
    picture.aspectNumerator = frame->sample_aspect_ratio.num;
    picture.aspectDenominator = frame->sample_aspect_ratio.den;
  }
  return picture;
}

namespace {

// Fills `frame` (allocated, of a format whose components ReadsDirectly) with `image` written as
// `layout`: grey values as PackRow makes them, in every colour component of a colour format;
// alpha where both have it, else opaque; each sample rounded to its component's bits.
void FillFrame(const Image& image, ChannelLayout layout, const AVPixFmtDescriptor* d,
               AVFrame* frame) {
  const bool grey = IsGrey(layout) || !(d->flags & AV_PIX_FMT_FLAG_RGB);
  const bool formatAlpha = (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
  const bool alpha = formatAlpha && HasAlpha(layout);
  const ChannelLayout packed = grey ? (alpha ? ChannelLayout::kYA : ChannelLayout::kY)
                                    : (alpha ? ChannelLayout::kRGBA : ChannelLayout::kRGB);
  const SampleType type = IsDeepFormat(d) ? SampleType::kUInt16 : SampleType::kUInt8;
  const int typeBits = type == SampleType::kUInt8 ? 8 : 16;
  const int channels = ChannelCount(packed);
  const int colours = formatAlpha ? d->nb_components - 1 : d->nb_components;
  // av_write_image_line2 adds its bits to what is there.
  for (int p = 0; p < 4 && frame->data[p] != nullptr; ++p)
    std::memset(frame->data[p], 0, size_t(frame->linesize[p]) * size_t(frame->height));
  std::vector<uint8_t> row(size_t(image.width) * channels * SampleBytes(type));
  const uint16_t* words = reinterpret_cast<const uint16_t*>(row.data());
  std::vector<uint32_t> line(static_cast<size_t>(image.width));
  for (int y = 0; y < image.height; ++y) {
    PackRow(image, y, packed, type, row.data());
    for (int c = 0; c < d->nb_components; ++c) {
      const int depth = d->comp[c].depth;
      const int from = c < colours ? (grey ? 0 : c) : alpha ? channels - 1 : -1;
      for (int x = 0; x < image.width; ++x) {
        const size_t at = size_t(x) * channels + size_t(std::max(from, 0));
        const uint32_t v = from < 0                     ? (1u << typeBits) - 1
                           : type == SampleType::kUInt8 ? row[at]
                                                        : words[at];
        line[x] = Rescale(v, typeBits, depth);
      }
      av_write_image_line2(line.data(), frame->data, frame->linesize, d, 0, y, c, image.width, 4);
    }
  }
}

}  // namespace

std::vector<uint8_t> EncodeStill(const Image& image, ChannelLayout layout, const StillCodec& codec,
                                 const StillEncoding& encoding, const std::string& path) {
  KeepLogQuiet();
  ClearLoggedError();
  const std::string failed = path + ": cannot write " + codec.format + ": ";
  const AVCodec* found = avcodec_find_encoder_by_name(codec.encoder);
  if (found == nullptr)
    throw ImageError(path + ": this FFmpeg has no " + codec.format + " encoder (" +
                     codec.encoder + ")");
  const AVPixelFormat format = av_get_pix_fmt(encoding.pixelFormat.c_str());
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  if (!ReadsDirectly(d))
    throw ImageError(failed + "no pixel format " + encoding.pixelFormat + " to fill");
  CodecPtr encoder(avcodec_alloc_context3(found));
  if (!encoder) throw std::bad_alloc();
  encoder->width = image.width;
  encoder->height = image.height;
  encoder->pix_fmt = format;
  encoder->time_base = {1, 25};  // one picture: any rate
  encoder->sample_aspect_ratio = {encoding.aspectNumerator, encoding.aspectDenominator};
  // No library version in the file: the same pixels make the same bytes.
  encoder->flags |= AV_CODEC_FLAG_BITEXACT;
  encoder->thread_count = 1;
  AVDictionary* options = nullptr;
  for (const auto& [key, value] : encoding.options)
    av_dict_set(&options, key.c_str(), value.c_str(), 0);
  int err = avcodec_open2(encoder.get(), found, &options);
  const bool unused = av_dict_count(options) > 0;
  av_dict_free(&options);
  if (err < 0) throw ImageError(failed + ErrorText(err));
  if (unused) throw ImageError(failed + codec.encoder + " does not take every option given");

  FramePtr frame = AllocatedFrame(format, image.width, image.height);
  FillFrame(image, layout, d, frame.get());

  PacketPtr packet(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  err = avcodec_send_frame(encoder.get(), frame.get());
  if (err >= 0) err = avcodec_send_frame(encoder.get(), nullptr);
  if (err >= 0) err = avcodec_receive_packet(encoder.get(), packet.get());
  if (err == AVERROR(ENOMEM)) throw std::bad_alloc();
  if (err < 0) throw ImageError(failed + ErrorText(err));
  return std::vector<uint8_t>(packet->data, packet->data + packet->size);
}

}  // namespace fxaa_cli
