// Frames between FFmpeg's pixel formats and the tool's images, through swscale, honouring the
// stream's colour matrix and range. The RGB values are those the stream encodes: primaries and
// transfer are left as they are and written back as the same tags.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/libav/libav.h"
#include "cli/image.h"

namespace fxaa_cli::libav {

// More than 8 bits in some component: such frames travel as float images.
bool IsDeep(AVPixelFormat format);
bool HasAlphaChannel(AVPixelFormat format);
bool IsRgbFormat(AVPixelFormat format);

// How a frame's Y'CbCr values map to RGB. An unspecified matrix is read as most players do:
// BT.709 from 720 lines up, BT.601 below.
struct ColourCoding {
  AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
  AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
};

// Whether an interlaced frame of `format` and `height` lines is converted a field at a time: its
// chroma is subsampled vertically, each field's lines holding their own, and the height is a
// whole number of chroma lines in each field. Through the whole frame, each chroma line would mix
// two moments.
bool ConvertsByField(AVPixelFormat format, int height);

// Converts decoded frames into images of the tool's model, keeping one scaler while the frames'
// size and format stay the same.
class FrameToImage {
 public:
  // Throws ImageError (without a file name) when swscale cannot convert the format. `fields`: the
  // frame is interlaced (ConvertsByField).
  void Convert(const AVFrame& frame, const ColourCoding& coding, bool alpha, bool fields,
               Image* image);

 private:
  ScalerPtr scaler_;
  int width_ = 0, height_ = 0;
  AVPixelFormat format_ = AV_PIX_FMT_NONE;
  std::vector<uint16_t> words_;
};

// Converts images into frames of an encoder's format (`frame` allocated with its format and size),
// a field at a time for an interlaced frame (`fields`), as FrameToImage.
class ImageToFrame {
 public:
  void Convert(const Image& image, const ColourCoding& coding, bool fields, AVFrame* frame);

 private:
  ScalerPtr scaler_;
  std::vector<uint16_t> words_;
  bool deepSource_ = false;
  int lines_ = 0;  // the scaler's height: the frame's, or a field's
};

}  // namespace fxaa_cli::libav
