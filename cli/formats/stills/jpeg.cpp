// JPEG through libjpeg (libjpeg-turbo): 8-bit grey and colour; CMYK is refused. The output is
// written at --quality with the input's chroma subsampling, progressive mode and density, and
// carries its EXIF and XMP (APP1) and ICC profile (APP2) markers. libjpeg reports errors by
// longjmp, so each setjmp sits in a function that owns no C++ objects; the buffers live in the
// caller's state.
#include <csetjmp>
#include <cstdio>  // before jpeglib.h, which uses FILE
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/formats/format.h"
#include "cli/system.h"

namespace fxaa_cli {

namespace {

// What a JPEG looked like beyond its pixels.
struct JpegDetails : FormatDetails {
  struct Marker {
    int code;
    std::vector<uint8_t> data;
  };
  std::vector<Marker> markers;  // EXIF, XMP and ICC markers, in file order
  bool jfif = false;
  uint8_t densityUnit = 0;
  uint16_t xDensity = 1, yDensity = 1;
  int components = 0;
  int sampling[MAX_COMPONENTS][2] = {};
  bool progressive = false;
};

// libjpeg's error manager with the place to return to and the message.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
  JpegErrors* errors = reinterpret_cast<JpegErrors*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

// libjpeg fills what is missing from a damaged file with grey and carries on with a warning.
// Data cut short or corrupt fails the frame instead; other warnings (stray bytes between
// markers, odd but readable headers) do not.
void OnJpegMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace messages
  const int code = info->err->msg_code;
  if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE)
    OnJpegError(info);
}

// A progressive or multi-scan file keeps every coefficient of the frame in memory, which a small
// file can make large. libjpeg's memory, with no backing store, is capped at this or
// kMemoryPerFileByte times the file's length, whichever is more.
constexpr long kMemoryFloor = 128L << 20;
constexpr long kMemoryPerFileByte = 100;

// A decoder's or encoder's state (`Info`, libjpeg's decompress or compress struct) with the error
// handlers installed, its file and its row buffer; destroys and closes what was made.
template <typename Info>
struct JpegState {
  Info info;
  JpegErrors errors;
  bool created = false;
  FILE* file = nullptr;
  std::vector<uint8_t> row;

  JpegState() {
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnJpegError;
    errors.manager.emit_message = OnJpegMessage;
    errors.message[0] = '\0';
  }
  JpegState(const JpegState&) = delete;
  JpegState& operator=(const JpegState&) = delete;
  ~JpegState() {
    if (created) jpeg_destroy(reinterpret_cast<j_common_ptr>(&info));
    if (file != nullptr) std::fclose(file);
  }
};
using JpegReader = JpegState<jpeg_decompress_struct>;
using JpegWriter = JpegState<jpeg_compress_struct>;

// Reads the header and keeps the markers the output carries. False (message set) on an error.
bool ReadJpegHeader(JpegReader* reader, long memory) {
  if (setjmp(reader->errors.jump)) return false;
  jpeg_create_decompress(&reader->info);
  reader->created = true;
  reader->info.mem->max_memory_to_use = memory;
  jpeg_stdio_src(&reader->info, reader->file);
  jpeg_save_markers(&reader->info, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&reader->info, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&reader->info, TRUE);
  return true;
}

bool StartJpegDecoding(JpegReader* reader) {
  if (setjmp(reader->errors.jump)) return false;
  jpeg_start_decompress(&reader->info);
  return true;
}

bool ReadJpegRow(JpegReader* reader) {
  if (setjmp(reader->errors.jump)) return false;
  JSAMPROW rows[1] = {reader->row.data()};
  jpeg_read_scanlines(&reader->info, rows, 1);
  return true;
}

bool FinishJpegDecoding(JpegReader* reader) {
  if (setjmp(reader->errors.jump)) return false;
  jpeg_finish_decompress(&reader->info);
  return true;
}

bool IsJpeg(const uint8_t* head, size_t size) {
  return size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

bool IsIccMarker(const jpeg_saved_marker_ptr marker) {
  static const char kTag[] = "ICC_PROFILE";  // with its terminating zero
  return marker->data_length >= sizeof(kTag) &&
         std::memcmp(marker->data, kTag, sizeof(kTag)) == 0;
}

// What a JPEG output made from this file keeps of it: its markers (but multi-picture indexes),
// density, chroma subsampling and progressive mode.
std::shared_ptr<JpegDetails> DetailsOf(const jpeg_decompress_struct& info) {
  auto look = std::make_shared<JpegDetails>();
  for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 + 2 && !IsIccMarker(m)) continue;  // multi-picture indexes
    look->markers.push_back({m->marker, std::vector<uint8_t>(m->data, m->data + m->data_length)});
  }
  look->jfif = info.saw_JFIF_marker;
  look->densityUnit = info.density_unit;
  look->xDensity = info.X_density;
  look->yDensity = info.Y_density;
  look->components = std::min(info.num_components, MAX_COMPONENTS);
  for (int c = 0; c < look->components; ++c) {
    look->sampling[c][0] = info.comp_info[c].h_samp_factor;
    look->sampling[c][1] = info.comp_info[c].v_samp_factor;
  }
  look->progressive = info.progressive_mode;
  return look;
}

// The decoder's rows into `image` as ARGB; false when the data ends or is corrupt.
bool ReadJpegRows(JpegReader* reader, bool grey, Image* image) {
  const int channels = reader->info.output_components;
  reader->row.resize(size_t(reader->info.output_width) * channels);
  for (int y = 0; y < image->height; ++y) {
    if (!ReadJpegRow(reader)) return false;
    image->AllocateRows(y + 1);
    const uint8_t* src = reader->row.data();
    uint8_t* dst = image->byteRow(y);
    for (int x = 0; x < image->width; ++x, src += channels, dst += 4) {
      dst[0] = 255;
      dst[1] = src[0];
      dst[2] = grey ? src[0] : src[1];
      dst[3] = grey ? src[0] : src[2];
    }
  }
  return true;
}

Image ReadJpeg(const std::string& path) {
  JpegReader reader;
  reader.file = OpenFile(path, "rb");
  if (reader.file == nullptr) throw ImageError(path + ": cannot open: " + std::strerror(errno));
  const long length = static_cast<long>(FileLength(reader.file));  // within ftell's range
  // libjpeg's limit is a long, 32 bits on Windows: a file of more than 21 MB would overflow it.
  const long memory = std::max(kMemoryFloor, length > LONG_MAX / kMemoryPerFileByte
                                                 ? LONG_MAX
                                                 : length * kMemoryPerFileByte);
  auto corrupt = [&] {
    return ImageError(path + ": corrupt or truncated JPEG (" + OneLine(reader.errors.message) +
                      ")");
  };
  if (!ReadJpegHeader(&reader, memory)) throw corrupt();

  jpeg_decompress_struct& info = reader.info;
  CheckImageSize(path, info.image_width, info.image_height);
  const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
  if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK)
    throw ImageError(path + ": unsupported JPEG: CMYK colour (grey and RGB are read; convert "
                            "the file to RGB first)");
  if (!grey && info.jpeg_color_space != JCS_YCbCr && info.jpeg_color_space != JCS_RGB)
    throw ImageError(path + ": unsupported JPEG: colour space of " +
                     std::to_string(info.num_components) + " components (grey and RGB are read)");
  info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  std::shared_ptr<JpegDetails> look = DetailsOf(info);

  if (!StartJpegDecoding(&reader)) {
    if (reader.errors.manager.msg_code == JERR_NO_BACKING_STORE)
      throw ImageError(path + ": corrupt JPEG: the header promises " +
                       std::to_string(info.image_width) + " x " +
                       std::to_string(info.image_height) + " pixels, more than its " +
                       std::to_string(length) + " bytes can hold");
    throw corrupt();
  }
  Image image;
  image.width = int(info.output_width);
  image.height = int(info.output_height);
  image.type = SampleType::kUInt8;
  image.layout = grey ? ChannelLayout::kY : ChannelLayout::kRGB;
  // Up to the end marker: a file cut short after its last pixels is still cut short.
  if (!ReadJpegRows(&reader, grey, &image) || !FinishJpegDecoding(&reader)) throw corrupt();
  image.details = look;
  return image;
}

// Encodes `image` as `layout` (Y or RGB); false (message set) on an error.
bool EncodeJpeg(JpegWriter* writer, const Image& image, ChannelLayout layout, int quality,
                const JpegDetails* look) {
  if (setjmp(writer->errors.jump)) return false;
  const bool grey = IsGrey(layout);
  jpeg_compress_struct& info = writer->info;
  jpeg_create_compress(&info);
  writer->created = true;
  jpeg_stdio_dest(&info, writer->file);
  info.image_width = JDIMENSION(image.width);
  info.image_height = JDIMENSION(image.height);
  info.input_components = grey ? 1 : 3;
  info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (look != nullptr) {
    if (look->components == info.num_components) {
      for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = look->sampling[c][0];
        info.comp_info[c].v_samp_factor = look->sampling[c][1];
      }
    }
    if (look->progressive) jpeg_simple_progression(&info);
    info.write_JFIF_header = look->jfif;
    info.density_unit = look->densityUnit;
    info.X_density = look->xDensity;
    info.Y_density = look->yDensity;
  }
  jpeg_start_compress(&info, TRUE);
  if (look != nullptr) {
    for (const JpegDetails::Marker& m : look->markers)
      jpeg_write_marker(&info, m.code, m.data.data(), unsigned(m.data.size()));
  }
  JSAMPROW row[1] = {writer->row.data()};
  while (info.next_scanline < info.image_height) {
    PackRow(image, int(info.next_scanline), layout, SampleType::kUInt8, writer->row.data());
    jpeg_write_scanlines(&info, row, 1);
  }
  jpeg_finish_compress(&info);
  return true;
}

void WriteJpeg(const Image& image, const std::string& path, ChannelLayout layout, SampleType,
               const WriteOptions& options) {
  const int quality = QualityOf(options, path);
  JpegWriter writer;
  writer.row.resize(size_t(image.width) * ChannelCount(layout));
  writer.file = OpenFile(path, "wb");
  if (writer.file == nullptr) throw ImageError(path + ": cannot create: " + std::strerror(errno));
  errno = 0;
  if (!EncodeJpeg(&writer, image, layout, quality,
                  dynamic_cast<const JpegDetails*>(image.details.get()))) {
    // libjpeg's message on a failed write only guesses at the system's reason.
    const std::string system = errno != 0 ? std::string(": ") + std::strerror(errno) : "";
    throw ImageError(path + ": cannot write JPEG (" + OneLine(writer.errors.message) + system +
                     ")");
  }
  FILE* file = writer.file;
  writer.file = nullptr;
  CloseWrittenFile(file, path);
}

std::string CheckQuality(const std::string& value) {
  size_t used = 0;
  int quality = 0;
  try {
    quality = std::stoi(value, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != value.size() || quality < 1 || quality > 100)
    return "expected a whole number from 1 to 100";
  return "";
}

}  // namespace

const FormatOption kQualityOption = {
    "quality", "Q",
    "JPEG quality, 1 to 100, for JPEG files and JPEG-compressed TIFF files (default 95); lossy "
    "WebP at that quality (WebP is lossless without it)",
    "95",
    CheckQuality};

int QualityOf(const WriteOptions& options, const std::string& path) {
  const std::string value = FormatOptionValue(options, kQualityOption);
  const std::string why = CheckQuality(value);
  if (!why.empty()) throw ImageError(path + ": cannot write: --quality " + value + ": " + why);
  return std::stoi(value);
}

const Format& JpegFormat() {
  static const Format format = {"JPEG",
                                {".jpg", ".jpeg"},
                                {SampleType::kUInt8},
                                /*storesAlpha=*/false,
                                IsJpeg,
                                ReadJpeg,
                                WriteJpeg,
                                /*options=*/{&kQualityOption}};
  return format;
}

}  // namespace fxaa_cli
