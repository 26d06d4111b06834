// Which encoder, pixel format, colour tags and quality settings a video output gets: the input's
// codec and pixel format where the container and an encoder allow, else the container's usual
// codec; what cannot be kept becomes a note for the user.
#pragma once

#include <string>
#include <vector>

#include "cli/libav/libav.h"

extern "C" {
#include <libavutil/mastering_display_metadata.h>
}
#include "cli/video/video_pixels.h"

namespace fxaa_cli::libav {

// What the frames handed to the writer look like, and the video they came from, if any.
struct FramesDescription {
  const AVCodecParameters* source = nullptr;  // the input video stream's parameters, or none
  bool alpha = false;  // the frames carry alpha worth keeping
  bool deep = false;   // more than 8 bits a sample
  bool linear = false; // frames from image files holding linear light (half or float)
  // HDR10's static metadata of the source video, where it has it.
  const AVMasteringDisplayMetadata* mastering = nullptr;
  const AVContentLightMetadata* light = nullptr;
  // The source video's buffer model (MPEG-1 and MPEG-2 state theirs), where it has one.
  const AVCPBProperties* buffer = nullptr;

  AVPixelFormat sourceFormat() const {
    return source != nullptr ? static_cast<AVPixelFormat>(source->format) : AV_PIX_FMT_NONE;
  }
};

struct EncoderChoice {
  const AVCodec* codec = nullptr;
  AVPixelFormat format = AV_PIX_FMT_NONE;
  AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
  AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
  ColourCoding coding;  // matrix and range of the encoded values
  AVChromaLocation chromaLocation = AVCHROMA_LOC_UNSPECIFIED;
  int proresProfile = -1;
  std::vector<std::string> notes;
};

// What an encoder opens with besides the choice's pixel format and colour tags, its quality and
// its threads: the frames' size, timeline, scan and flags. The real open and the trial opens
// that look for a rate the encoder takes (DNxHD's) set their contexts up from the same values.
struct EncoderSetup {
  int width = 0, height = 0;
  AVRational timeBase{0, 1};
  AVRational frameRate{0, 1};
  AVRational aspect{0, 1};  // of a sample
  AVFieldOrder fields = AV_FIELD_UNKNOWN;
  int flags = 0;  // AV_CODEC_FLAG_*
};

// Sets `encoder` up for an open: `setup`, and the choice's pixel format and colour tags.
void SetUp(const EncoderChoice& choice, const EncoderSetup& setup, AVCodecContext* encoder);

// The choice for `container` ("mp4", "mov", ...). `codecName` is an encoder the user named, or
// empty. Throws ImageError (without the file name) when the named encoder's codec does not fit
// the container.
EncoderChoice ChooseEncoder(const AVOutputFormat* container, const FramesDescription& frames,
                            const std::string& codecName);

// Sets the encoder's quality: a crf of `crf` (16 when -1) where it has that option (0: lossless
// where the encoder has a lossless mode), ProRes's profile, DNxHD's profile and a bit rate it
// takes, the input's bit rate for other codecs it keeps, else a fine quantiser; MPEG-1 and
// MPEG-2 get a buffer model their frames fit. `encoder` is set up with SetUp(choice, setup).
// What the user should know goes to `notes`.
void SetQuality(const EncoderChoice& choice, const EncoderSetup& setup,
                const FramesDescription& frames, int crf, AVCodecContext* encoder,
                AVDictionary** options, std::vector<std::string>* notes);

// True when the encoder has a crf option.
bool HasCrfOption(const AVCodec* codec);

}  // namespace fxaa_cli::libav
