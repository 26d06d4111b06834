#include "cli/video/encode/video_encoder.h"

#include <cmath>

#include <algorithm>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace fxaa_cli::libav {

namespace {

// The rate of a video from image files: NTSC rates (23.976, 29.97, 59.94) as their exact ratios.
AVRational RateFromFps(double fps) {
  for (int n : {24, 30, 48, 60, 120}) {
    const double ntsc = n * 1000.0 / 1001.0;
    if (std::fabs(fps - ntsc) < 0.005) return AVRational{n * 1000, 1001};
  }
  return av_d2q(fps, 1000000);
}

// The source's frame rate: the rate its frames are timed at (FFmpeg's real base rate) where it
// runs at one rate with frames lost (the average then falls short of it), or the codec has one
// rate (MPEG-1 and MPEG-2, whose encoders take nothing else); else the average, which is all a
// variable rate has.
AVRational StreamRate(const AVStream* source) {
  const AVRational average = source->avg_frame_rate, base = source->r_frame_rate;
  if (base.num <= 0 || base.den <= 0) return average;
  if (average.num <= 0 || average.den <= 0) return base;
  const AVCodecID id = source->codecpar->codec_id;
  const double ratio = av_q2d(average) / av_q2d(base);
  const bool framesLost = ratio < 1 && ratio >= 0.9;
  return id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO || framesLost ? base
                                                                                    : average;
}

// What the frames handed to the writer look like.
FramesDescription Describe(const Image& first, const AVStream* source) {
  FramesDescription frames;
  frames.alpha = HasAlpha(first.layout);
  frames.deep = first.type != SampleType::kUInt8;
  frames.linear = first.type == SampleType::kHalf || first.type == SampleType::kFloat;
  frames.source = source != nullptr ? source->codecpar : nullptr;
  if (source != nullptr) {
    const auto data = [source](AVPacketSideDataType type) -> const uint8_t* {
      const AVPacketSideData* sd = StreamSideData(source, type);
      return sd != nullptr ? sd->data : nullptr;
    };
    frames.mastering = reinterpret_cast<const AVMasteringDisplayMetadata*>(
        data(AV_PKT_DATA_MASTERING_DISPLAY_METADATA));
    frames.light =
        reinterpret_cast<const AVContentLightMetadata*>(data(AV_PKT_DATA_CONTENT_LIGHT_LEVEL));
    frames.buffer = reinterpret_cast<const AVCPBProperties*>(data(AV_PKT_DATA_CPB_PROPERTIES));
  }
  return frames;
}

}  // namespace

VideoEncoder::VideoEncoder(const std::string& path, const AVOutputFormat* container,
                           const Image& first, const AVStream* source,
                           const VideoWriteOptions& options, FieldOrder firstFields)
    : path_(path) {
  if (!frame_ || !packet_) throw ImageError(path + ": not enough memory");
  const FramesDescription frames = Describe(first, source);
  try {
    choice_ = ChooseEncoder(container, frames, options.codec);
  } catch (const ImageError& e) {
    throw ImageError(path + ": " + e.what());
  }
  notes_ = choice_.notes;
  const AVCodec* codec = choice_.codec;
  if (options.crf >= 0 && !HasCrfOption(codec))
    notes_.push_back(std::string("--crf left unused: ") + codec->name + " has no crf setting");

  Configure(first, source, options, firstFields);
  if (container->flags & AVFMT_GLOBALHEADER) setup_.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const std::vector<std::string> chosen = notes_;
  // An encoder on frame threads that refuses the settings says only that its threads failed:
  // on one thread it says why.
  int err = 0;
  for (const int threads : {0, 1}) {
    encoder_.reset(avcodec_alloc_context3(codec));
    if (!encoder_) throw ImageError(path + ": not enough memory");
    notes_ = chosen;
    SetUp(choice_, setup_, encoder_.get());
    encoder_->thread_count = threads;
    AVDictionary* encoderOptions = nullptr;
    SetQuality(choice_, setup_, frames, options.crf, encoder_.get(), &encoderOptions, &notes_);
    // Captions are written where the encoder can write them: x265's setting is off by default.
    if (CarriesCaptions()) av_dict_set(&encoderOptions, "a53cc", "1", 0);
    ClearLoggedError();
    err = avcodec_open2(encoder_.get(), codec, &encoderOptions);
    av_dict_free(&encoderOptions);
    if (err >= 0 || !(codec->capabilities & AV_CODEC_CAP_FRAME_THREADS)) break;
  }
  if (err < 0)
    Fail(std::string("cannot open the ") + codec->name + " encoder for " +
             std::to_string(encoder_->width) + " x " + std::to_string(encoder_->height) + " " +
             av_get_pix_fmt_name(encoder_->pix_fmt),
         err);
  PrepareFrame();
}

VideoEncoder::~VideoEncoder() {
  if (flushed_ || !encoder_ || !avcodec_is_open(encoder_.get()) ||
      std::string(encoder_->codec->name) != "libsvtav1")
    return;
  AVFrame* f = frame_.get();
  if (framesIn_ == 0) {
    const ptrdiff_t linesizes[4] = {f->linesize[0], f->linesize[1], f->linesize[2], f->linesize[3]};
    av_image_fill_black(f->data, linesizes, encoder_->pix_fmt, encoder_->color_range, f->width,
                        f->height);
    f->pts = 0;
    if (avcodec_send_frame(encoder_.get(), f) < 0) return;
  }
  if (avcodec_send_frame(encoder_.get(), nullptr) < 0) return;
  while (avcodec_receive_packet(encoder_.get(), packet_.get()) >= 0) av_packet_unref(packet_.get());
}

// The frames' size, the source's timeline (or the rate of image files) and scan.
void VideoEncoder::Configure(const Image& first, const AVStream* source,
                             const VideoWriteOptions& options, FieldOrder firstFields) {
  EncoderSetup& setup = setup_;
  imageWidth_ = first.width;
  imageHeight_ = first.height;
  setup.width = first.width;
  setup.height = first.height;
  if (source != nullptr) {
    setup.timeBase = source->time_base;
    setup.frameRate = StreamRate(source);
    setup.aspect = source->sample_aspect_ratio.num > 0 ? source->sample_aspect_ratio
                                                       : source->codecpar->sample_aspect_ratio;
    // Interlaced video stays interlaced: coded as fields where the encoder can, and tagged as the
    // stream is, else as its frames are (a container may not say).
    setup.fields = source->codecpar->field_order;
    const bool taggedInterlaced =
        setup.fields != AV_FIELD_UNKNOWN && setup.fields != AV_FIELD_PROGRESSIVE;
    if (!taggedInterlaced && firstFields != FieldOrder::kProgressive)
      setup.fields = firstFields == FieldOrder::kTopFirst ? AV_FIELD_TT : AV_FIELD_BB;
    if (setup.fields != AV_FIELD_UNKNOWN && setup.fields != AV_FIELD_PROGRESSIVE)
      setup.flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
  } else {
    setup.frameRate = RateFromFps(options.fps);
    setup.timeBase = av_inv_q(setup.frameRate);
    setup.aspect = AVRational{1, 1};
  }
  framesTimeBase_ = setup.timeBase;
  // MPEG-1 and MPEG-2 store their frame rate as their time base and take only their standard
  // rates: a broadcast stream's 1/90000 becomes one tick a frame, the frames' times rescaled.
  const AVCodecID id = choice_.codec->id;
  const bool mpeg12 = id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO;
  if (mpeg12 && setup.frameRate.num > 0) setup.timeBase = av_inv_q(setup.frameRate);
  CropToWholeChroma();
}

// A size the pixel format cannot hold (an odd height of 4:2:0, as --downsample makes) is cropped
// to the largest it holds: whole chroma samples, in each field when interlaced.
void VideoEncoder::CropToWholeChroma() {
  EncoderSetup& setup = setup_;
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(choice_.format);
  if (d == nullptr) return;
  const bool interlaced = setup.fields != AV_FIELD_UNKNOWN && setup.fields != AV_FIELD_PROGRESSIVE;
  const int across = 1 << d->log2_chroma_w;
  const int down = (1 << d->log2_chroma_h) * (interlaced && d->log2_chroma_h > 0 ? 2 : 1);
  const int width = setup.width / across * across, height = setup.height / down * down;
  if (width == setup.width && height == setup.height) return;
  if (width == 0 || height == 0)
    throw ImageError(path_ + ": frames of " + std::to_string(setup.width) + " x " +
                     std::to_string(setup.height) + " are too small for " + d->name);
  notes_.push_back(std::to_string(setup.width) + " x " + std::to_string(setup.height) +
                   " frames cropped to " + std::to_string(width) + " x " +
                   std::to_string(height) + ": " + d->name + (interlaced ? " interlaced" : "") +
                   " takes widths divisible by " + std::to_string(across) + " and heights by " +
                   std::to_string(down));
  setup.width = width;
  setup.height = height;
}

// The frame every image is converted into, with the encoder's size, format and tags.
void VideoEncoder::PrepareFrame() {
  const AVCodecContext* enc = encoder_.get();
  AVFrame* f = frame_.get();
  f->format = enc->pix_fmt;
  f->width = enc->width;
  f->height = enc->height;
  f->sample_aspect_ratio = enc->sample_aspect_ratio;
  // Some encoders (ProRes) take the tags from each frame rather than from their settings.
  f->color_primaries = enc->color_primaries;
  f->color_trc = enc->color_trc;
  f->colorspace = enc->colorspace;
  f->color_range = enc->color_range;
  f->chroma_location = enc->chroma_sample_location;
  const int err = av_frame_get_buffer(f, 0);
  if (err < 0) Fail("cannot hold a frame", err);
}

void VideoEncoder::Send(const Image& image, const FrameTime& time, const PacketTaker& take) {
  const int width = imageWidth_, height = imageHeight_;
  if (image.width != width || image.height != height)
    throw ImageError(path_ + ": frame " + std::to_string(framesIn_ + 1) + " is " +
                     std::to_string(image.width) + " x " + std::to_string(image.height) +
                     ", the video " + std::to_string(width) + " x " + std::to_string(height));
  // The encoder may still hold the previous frame's buffers; the copy keeps the frame's tags.
  int err = av_frame_make_writable(frame_.get());
  if (err < 0) Fail("cannot hold a frame", err);
  const bool interlaced = time.fields != FieldOrder::kProgressive;
  const bool topFirst = time.fields == FieldOrder::kTopFirst;
#ifdef AV_FRAME_FLAG_INTERLACED
  frame_->flags &= ~(AV_FRAME_FLAG_INTERLACED | AV_FRAME_FLAG_TOP_FIELD_FIRST);
  frame_->flags |= (interlaced ? AV_FRAME_FLAG_INTERLACED : 0) |
                   (topFirst ? AV_FRAME_FLAG_TOP_FIELD_FIRST : 0);
#else
  frame_->interlaced_frame = interlaced;
  frame_->top_field_first = topFirst;
#endif
  av_frame_remove_side_data(frame_.get(), AV_FRAME_DATA_A53_CC);
  if (!time.captions.empty()) {
    AVFrameSideData* captions =
        av_frame_new_side_data(frame_.get(), AV_FRAME_DATA_A53_CC, time.captions.size());
    if (captions == nullptr) throw ImageError(path_ + ": not enough memory");
    std::copy(time.captions.begin(), time.captions.end(), captions->data);
  }
  converter_.Convert(image, choice_.coding, interlaced, frame_.get());
  if (origin_ == AV_NOPTS_VALUE)
    origin_ = av_cmp_q(framesTimeBase_, encoder_->time_base) == 0 ? 0 : time.pts;
  frame_->pts = av_rescale_q(time.pts - origin_, framesTimeBase_, encoder_->time_base);
  if (time.duration > 0)
    durations_[frame_->pts] = av_rescale_q(time.duration, framesTimeBase_, encoder_->time_base);
  ++framesIn_;
  err = avcodec_send_frame(encoder_.get(), frame_.get());
  if (err < 0) Fail("cannot encode frame " + std::to_string(framesIn_), err);
  Drain(take);
}

bool VideoEncoder::CarriesCaptions() const {
  const AVClass* options = encoder_->codec->priv_class;
  return options != nullptr && av_opt_find(&options, "a53cc", nullptr, 0,
                                           AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

void VideoEncoder::Flush(const PacketTaker& take) {
  if (framesIn_ == 0) throw ImageError(path_ + ": no frames to write");
  flushed_ = true;
  const int err = avcodec_send_frame(encoder_.get(), nullptr);
  if (err < 0) Fail("cannot encode", err);
  Drain(take);
}

// Hands over what the encoder has ready.
void VideoEncoder::Drain(const PacketTaker& take) {
  for (;;) {
    const int err = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
    if (err < 0) Fail("cannot encode", err);
    if (packet_->duration <= 0) {
      const auto it = durations_.find(packet_->pts);
      if (it != durations_.end()) packet_->duration = it->second;
    }
    durations_.erase(durations_.begin(), durations_.upper_bound(packet_->pts));
    av_packet_rescale_ts(packet_.get(), encoder_->time_base, framesTimeBase_);
    if (packet_->pts != AV_NOPTS_VALUE) packet_->pts += origin_;
    if (packet_->dts != AV_NOPTS_VALUE) packet_->dts += origin_;
    take(packet_.get());
    av_packet_unref(packet_.get());
  }
}

void VideoEncoder::Fail(const std::string& what, int err) const {
  throw ImageError(path_ + ": " + what + ": " + ErrorText(err));
}

}  // namespace fxaa_cli::libav
