// TIFF through libtiff: 8/16-bit integer and 16/32-bit float samples; grey or RGB, with or
// without alpha; palette colour, white-is-zero grey and grey or palette samples of 1, 2 or 4 bits
// as 8-bit RGB or grey (tiff_expansion.h); strips or tiles, interleaved or in separate planes, in
// any compression the library decodes; the first page of the file. Associated (premultiplied)
// alpha becomes straight colour on reading, as the host keeps it, and is premultiplied again on
// writing. The output keeps the input's byte order, compression (where the codec holds 8-bit
// samples), predictor, alpha kind, colour profile, resolution, orientation and descriptive text.
#include <tiffio.h>

#include <Imath/half.h>
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "cli/formats/format.h"
#include "cli/formats/stills/tiff_expansion.h"

namespace fxaa_cli {

namespace {

// What a TIFF looked like beyond its pixels. The defaults are those of a TIFF written from
// another format: Deflate with the predictor that suits the samples, straight alpha.
struct TiffDetails : FormatDetails {
  bool bigTiff = false;
  bool bigEndian = false;
  uint16_t compression = COMPRESSION_ADOBE_DEFLATE;
  uint16_t predictor = 0;  // 0: the one that suits the output's samples
  bool ycbcr = false;      // JPEG-compressed as YCbCr
  uint16_t subsampling[2] = {2, 2};
  uint16_t alphaKind = EXTRASAMPLE_UNASSALPHA;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  std::vector<uint8_t> iccProfile;
  bool hasResolution = false;
  float xResolution = 0, yResolution = 0;
  uint16_t resolutionUnit = RESUNIT_INCH;
  std::vector<std::pair<uint32_t, std::string>> text;
};

// Descriptive text carried from input to output.
constexpr uint32_t kTextTags[] = {TIFFTAG_DOCUMENTNAME, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE,
                                  TIFFTAG_MODEL,        TIFFTAG_SOFTWARE,         TIFFTAG_DATETIME,
                                  TIFFTAG_ARTIST,       TIFFTAG_HOSTCOMPUTER,     TIFFTAG_COPYRIGHT};

// libtiff's own allocations (tag arrays, strip buffers) for any file the tool takes stay far
// below this; a header whose counts would need more is refused by the library instead of
// committing gigabytes to a few bytes of file.
constexpr tmsize_t kLibraryAllocationMax = tmsize_t(256) << 20;
// Tiles are decoded whole: a header that declares tiles larger than this is refused.
constexpr uint64_t kTileBytesMax = uint64_t(64) << 20;
// Colour, alpha and a few more: a header claiming thousands of samples a pixel is refused
// before a scan line of them is allocated.
constexpr int kSamplesMax = 16;
// Classic TIFF offsets are 32-bit: larger outputs are written as BigTIFF.
constexpr uint64_t kClassicBytesMax = uint64_t(3) << 30;

// An open TIFF and the library's first error message on it; closes the file when it goes.
struct TiffFile {
  TIFF* tiff = nullptr;
  std::string message;

  TiffFile() = default;
  TiffFile(const TiffFile&) = delete;
  TiffFile& operator=(const TiffFile&) = delete;
  ~TiffFile() {
    if (tiff != nullptr) TIFFClose(tiff);
  }
};

// The library's message, or a stand-in when it gave none.
std::string Why(const TiffFile& file) {
  return file.message.empty() ? std::string("libtiff gave no reason") : file.message;
}

// Keeps the first error: later ones are consequences of it. Called from C, so nothing is thrown
// through it: a message there is no memory for is lost, and Why stands in.
int OnTiffError(TIFF*, void* user, const char*, const char* format, va_list args) noexcept {
  TiffFile* file = static_cast<TiffFile*>(user);
  if (file->message.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof(text), format, args);
    try {
      file->message = OneLine(text);
    } catch (...) {
    }
  }
  return 1;
}

// Warnings (unknown tags, odd values the library works around) do not stop the frame.
int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Opens `path` with `mode`; false (errno and file->message set) when it cannot.
bool OpenTiff(TiffFile* file, const std::string& path, const char* mode) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) throw std::bad_alloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, file);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, file);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, kLibraryAllocationMax);
  errno = 0;
#if defined(_WIN32)
  // The name is UTF-8; the narrow call would read it in the ANSI code page.
  file->tiff = TIFFOpenWExt(std::filesystem::u8path(path).c_str(), mode, options);
#else
  file->tiff = TIFFOpenExt(path.c_str(), mode, options);
#endif
  const int err = errno;
  TIFFOpenOptionsFree(options);
  errno = err;
  return file->tiff != nullptr;
}

bool IsTiff(const uint8_t* head, size_t size) {
  if (size < 4) return false;
  // Little- or big-endian, classic (42) or BigTIFF (43).
  return (head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0) ||
         (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43));
}

const char* PhotometricName(uint16_t photometric) {
  switch (photometric) {
    case PHOTOMETRIC_MASK: return "transparency mask";
    case PHOTOMETRIC_SEPARATED: return "CMYK (separated) colour";
    case PHOTOMETRIC_YCBCR: return "YCbCr colour without JPEG compression";
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
    case PHOTOMETRIC_ITULAB: return "L*a*b* colour";
    case PHOTOMETRIC_LOGL:
    case PHOTOMETRIC_LOGLUV: return "LogLuv colour";
    default: return "an unknown photometric interpretation";
  }
}

// Where file sample `i` goes in an ARGB pixel: colour first, then alpha; -1 for samples the
// tool does not keep (extra samples after the alpha).
int SlotOf(int sample, int colourSamples, bool alpha) {
  if (sample < colourSamples) return colourSamples == 1 ? 1 : 1 + sample;
  if (sample == colourSamples && alpha) return 0;
  return -1;
}

// The decoding of one file: how its samples map onto the image's ARGB pixels.
struct SampleMap {
  SampleType type;
  int colourSamples;
  bool alpha;
  const TiffExpansion* expansion;  // null when the samples are the channels' own values

  // Stores `count` pixels of `src`, each `stride` samples of which the first is file sample
  // `first`, into row `y` of `image` from column `x`.
  void Store(const uint8_t* src, int count, int stride, int first, Image* image, int y,
             int x) const {
    // Samples past the fourth are never colour or alpha.
    const int kept = std::min(stride, 4);
    int slots[4];
    for (int k = 0; k < kept; ++k) slots[k] = SlotOf(first + k, colourSamples, alpha);
    if (expansion != nullptr) {
      uint8_t* dst = image->byteRow(y) + 4 * size_t(x);
      for (int p = 0; p < count; ++p, dst += 4)
        for (int k = 0; k < kept; ++k) {
          if (slots[k] < 0) continue;
          const unsigned v = expansion->ValueAt(src, size_t(p) * size_t(stride) + size_t(k));
          if (slots[k] == 0)
            dst[0] = expansion->alpha[v];
          else
            std::memcpy(dst + 1, expansion->colour[v].data(), 3);
        }
      return;
    }
    if (type == SampleType::kUInt8) {
      uint8_t* dst = image->byteRow(y) + 4 * size_t(x);
      for (int p = 0; p < count; ++p, src += stride, dst += 4)
        for (int k = 0; k < kept; ++k)
          if (slots[k] >= 0) dst[slots[k]] = src[k];
      return;
    }
    float* dst = image->floatRow(y) + 4 * size_t(x);
    const size_t bytes = SampleBytes(type);
    for (int p = 0; p < count; ++p, src += stride * bytes, dst += 4) {
      for (int k = 0; k < kept; ++k) {
        if (slots[k] < 0) continue;
        const uint8_t* s = src + k * bytes;
        if (type == SampleType::kFloat) {
          std::memcpy(&dst[slots[k]], s, sizeof(float));
          continue;
        }
        uint16_t word;
        std::memcpy(&word, s, sizeof(word));
        if (type == SampleType::kUInt16) {
          dst[slots[k]] = Word16ToFloat(word);
        } else {
          half h;
          h.setBits(word);
          dst[slots[k]] = float(h);
        }
      }
    }
  }
};

// Decodes every row into `image` (its size and type set), strips or tiles, one plane or several.
// Returns false (file->message set) on a library error.
bool DecodePixels(TiffFile* file, const std::string& path, const SampleMap& map, int samples,
                  bool planar, Image* image) {
  TIFF* tif = file->tiff;
  const int planes = planar ? samples : 1;
  const int stride = planar ? 1 : samples;
  std::vector<uint8_t> buffer;
  if (!TIFFIsTiled(tif)) {
    // Scan lines one at a time: libtiff decodes strips of any length progressively.
    const tmsize_t lineBytes = TIFFScanlineSize(tif);
    if (lineBytes <= 0) return false;
    buffer.resize(size_t(lineBytes));
    for (int plane = 0; plane < planes; ++plane) {
      if (planar && SlotOf(plane, map.colourSamples, map.alpha) < 0) continue;
      for (int y = 0; y < image->height; ++y) {
        if (plane == 0) image->AllocateRows(y + 1);
        if (TIFFReadScanline(tif, buffer.data(), uint32_t(y), uint16_t(plane)) < 0) return false;
        map.Store(buffer.data(), image->width, stride, planar ? plane : 0, image, y, 0);
      }
    }
    return true;
  }
  uint32_t tileWidth = 0, tileHeight = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
  const uint64_t tileBytes = TIFFTileSize64(tif);
  const uint64_t rowBytes = TIFFTileRowSize64(tif);
  if (tileWidth == 0 || tileHeight == 0 || tileBytes == 0) return false;
  if (tileBytes > kTileBytesMax) {
    throw ImageError(path + ": unsupported TIFF: tiles of " + std::to_string(tileWidth) + " x " +
                     std::to_string(tileHeight) + " pixels are larger than the reader takes");
  }
  buffer.resize(size_t(tileBytes));
  for (uint32_t top = 0; top < uint32_t(image->height); top += tileHeight) {
    const int rows = int(std::min<uint32_t>(tileHeight, uint32_t(image->height) - top));
    image->AllocateRows(int(top) + rows);
    for (int plane = 0; plane < planes; ++plane) {
      if (planar && SlotOf(plane, map.colourSamples, map.alpha) < 0) continue;
      for (uint32_t left = 0; left < uint32_t(image->width); left += tileWidth) {
        if (TIFFReadTile(tif, buffer.data(), left, top, 0, uint16_t(plane)) < 0) return false;
        const int columns = int(std::min<uint32_t>(tileWidth, uint32_t(image->width) - left));
        for (int r = 0; r < rows; ++r)
          map.Store(buffer.data() + r * rowBytes, columns, stride, planar ? plane : 0, image,
                    int(top) + r, int(left));
      }
    }
  }
  return true;
}

// The sample type of `bits`-bit samples of `format`; false when the tool reads no such samples.
bool SampleTypeOf(uint16_t bits, uint16_t format, SampleType* type) {
  if (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID) {
    if (bits == 8) *type = SampleType::kUInt8;
    else if (bits == 16) *type = SampleType::kUInt16;
    else return false;
    return true;
  }
  if (format == SAMPLEFORMAT_IEEEFP) {
    if (bits == 16) *type = SampleType::kHalf;
    else if (bits == 32) *type = SampleType::kFloat;
    else return false;
    return true;
  }
  return false;
}

// Whether `compression` takes a predictor.
bool TakesPredictor(uint16_t compression) {
  return compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
         compression == COMPRESSION_DEFLATE || compression == COMPRESSION_ZSTD ||
         compression == COMPRESSION_LZMA;
}

// What a written file keeps of the encoding of the open file: TIFF kind, byte order, compression
// and predictor.
std::shared_ptr<TiffDetails> EncodingOf(TIFF* tif, uint16_t compression) {
  auto look = std::make_shared<TiffDetails>();
  look->bigTiff = TIFFIsBigTIFF(tif);
  look->bigEndian = TIFFIsBigEndian(tif);
  look->compression = compression;
  // The predictor tag exists only for the codecs that take one.
  if (TakesPredictor(compression)) TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &look->predictor);
  return look;
}

// The tags a written file carries over besides its pixels.
void ReadLook(TIFF* tif, TiffDetails* look) {
  uint32_t count = 0;
  void* data = nullptr;
  if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &count, &data) && data != nullptr) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    look->iccProfile.assign(bytes, bytes + count);
  }
  float x = 0, y = 0;
  if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y)) {
    look->hasResolution = true;
    look->xResolution = x;
    look->yResolution = y;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &look->resolutionUnit);
  }
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &look->orientation);
  for (uint32_t tag : kTextTags) {
    char* text = nullptr;
    if (TIFFGetField(tif, tag, &text) && text != nullptr) look->text.emplace_back(tag, text);
  }
}

// The tags that say how a file's samples are stored.
struct SampleTags {
  uint16_t bits = 0, format = 0, samples = 0, planar = 0, photometric = 0, compression = 0;
};

// The sample tags of the open file; ImageError naming `path` when it has no photometric
// interpretation.
SampleTags ReadSampleTags(TIFF* tif, const std::string& path) {
  SampleTags tags;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &tags.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &tags.format);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &tags.samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &tags.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &tags.compression);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &tags.photometric))
    throw ImageError(path + ": corrupt TIFF (no photometric interpretation)");
  return tags;
}

// The colour samples of a pixel whose samples are the channels' own values: 1 grey, 3 RGB. Sets
// the JPEG codec to deliver YCbCr as RGB; ImageError naming `path` for colour it does not read.
int ColourSamplesOf(TiffFile* file, const std::string& path, const SampleTags& tags,
                    TiffDetails* look) {
  TIFF* tif = file->tiff;
  if (tags.photometric == PHOTOMETRIC_MINISBLACK || tags.photometric == PHOTOMETRIC_RGB) {
    if (StoredPhotometric(tif, path) == PHOTOMETRIC_PALETTE)
      throw ImageError(path + ": corrupt TIFF (palette colour without a colormap of 3 x 2^" +
                       std::to_string(tags.bits) + " entries)");
    return tags.photometric == PHOTOMETRIC_MINISBLACK ? 1 : 3;
  }
  if (tags.photometric == PHOTOMETRIC_YCBCR && tags.compression == COMPRESSION_JPEG) {
    // The JPEG codec converts to RGB and undoes the subsampling itself.
    look->ycbcr = true;
    TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &look->subsampling[0],
                          &look->subsampling[1]);
    if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
      throw ImageError(path + ": corrupt TIFF (" + Why(*file) + ")");
    return 3;
  }
  throw ImageError(path + ": unsupported TIFF: " + PhotometricName(tags.photometric) +
                   " (grey, palette and RGB are read)");
}

// The kind of the first extra sample, which is alpha; one the file leaves unspecified is taken
// as straight alpha.
uint16_t AlphaKindOf(TIFF* tif) {
  uint16_t count = 0;
  uint16_t* kinds = nullptr;
  return TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) && count > 0
             ? kinds[0]
             : uint16_t(EXTRASAMPLE_UNSPECIFIED);
}

// Spreads grey to green and blue, and makes a frame without alpha opaque; RGBA has nothing to
// fill.
void CompletePixels(Image* image, bool alpha) {
  const bool grey = IsGrey(image->layout);
  if (!grey && alpha) return;
  const size_t pixels = size_t(image->width) * size_t(image->height);
  for (size_t i = 0; i < pixels; ++i) {
    if (image->type == SampleType::kUInt8) {
      uint8_t* p = image->bytes.data() + 4 * i;
      if (grey) p[2] = p[3] = p[1];
      if (!alpha) p[0] = 255;
    } else {
      float* p = image->floats.data() + 4 * i;
      if (grey) p[2] = p[3] = p[1];
      if (!alpha) p[0] = 1.0f;
    }
  }
}

Image ReadTiff(const std::string& path) {
  TiffFile file;
  if (!OpenTiff(&file, path, "r"))
    throw ImageError(path + ": corrupt or unreadable TIFF (" + Why(file) + ")");
  TIFF* tif = file.tiff;
  auto unsupported = [&](const std::string& what) {
    return ImageError(path + ": unsupported TIFF: " + what);
  };

  uint32_t width = 0, height = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  CheckImageSize(path, width, height);

  const SampleTags tags = ReadSampleTags(tif, path);
  const bool expanded = IsExpanded(tags.photometric, tags.bits);
  SampleType type = SampleType::kUInt8;
  if (!expanded && !SampleTypeOf(tags.bits, tags.format, &type)) {
    const char* kind = tags.format == SAMPLEFORMAT_IEEEFP ? "float"
                       : tags.format == SAMPLEFORMAT_INT  ? "signed integer"
                                                          : "integer";
    throw unsupported(std::to_string(tags.bits) + "-bit " + kind +
                      " samples (1, 2 and 4-bit grey or palette, 8 and 16-bit integer, 16 and "
                      "32-bit float are read)");
  }
  if (!TIFFIsCODECConfigured(tags.compression))
    throw unsupported("compression " + std::to_string(tags.compression) +
                      " (not built into libtiff)");

  auto look = EncodingOf(tif, tags.compression);
  TiffExpansion expansion;
  if (expanded) expansion = ExpansionOf(tif, tags.photometric, tags.bits, tags.format, path);
  const int colourSamples = expanded ? 1 : ColourSamplesOf(&file, path, tags, look.get());
  if (tags.samples > kSamplesMax)
    throw unsupported(std::to_string(tags.samples) + " samples a pixel (at most " +
                      std::to_string(kSamplesMax) + " are read)");
  if (tags.samples < colourSamples)
    throw ImageError(path + ": corrupt TIFF (" + std::to_string(tags.samples) +
                     " samples a pixel, fewer than its colour needs)");
  const bool alpha = tags.samples > colourSamples;
  if (alpha) look->alphaKind = AlphaKindOf(tif);
  ReadLook(tif, look.get());

  Image image;
  image.width = int(width);
  image.height = int(height);
  image.type = type;
  image.fromPalette = expanded && expansion.palette;
  const bool grey = colourSamples == 1 && !image.fromPalette;
  image.layout = grey ? (alpha ? ChannelLayout::kYA : ChannelLayout::kY)
                      : (alpha ? ChannelLayout::kRGBA : ChannelLayout::kRGB);
  const SampleMap map{type, colourSamples, alpha, expanded ? &expansion : nullptr};
  if (!DecodePixels(&file, path, map, tags.samples, tags.planar == PLANARCONFIG_SEPARATE, &image))
    throw ImageError(path + ": corrupt or truncated TIFF (" + Why(file) + ")");
  CompletePixels(&image, alpha);
  if (alpha && look->alphaKind == EXTRASAMPLE_ASSOCALPHA) Unpremultiply(&image);
  image.details = look;
  return image;
}

// Whether this build writes `compression` for samples of `type`.
bool Writable(uint16_t compression, SampleType type) {
  switch (compression) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_ZSTD:
    case COMPRESSION_LZMA:
      return TIFFIsCODECConfigured(compression);
    case COMPRESSION_JPEG:
      return type == SampleType::kUInt8 && TIFFIsCODECConfigured(compression);
    default:  // decode-only codecs (old-style JPEG, ...) and those for other kinds of image
      return false;
  }
}

// Sets every tag of the output; false on a library error.
bool SetTags(TIFF* tif, const Image& image, ChannelLayout layout, SampleType type,
             const TiffDetails& look, int quality) {
  const bool isFloat = type == SampleType::kHalf || type == SampleType::kFloat;
  const bool grey = IsGrey(layout);
  uint16_t compression = look.compression;
  if (!Writable(compression, type)) compression = TiffDetails().compression;
  const bool ycbcr = compression == COMPRESSION_JPEG && look.ycbcr && layout == ChannelLayout::kRGB;
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(image.width)) &&
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(image.height)) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8 * SampleBytes(type))) &&
            TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT,
                         isFloat ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(ChannelCount(layout))) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, compression) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                         ycbcr ? PHOTOMETRIC_YCBCR
                               : grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
  if (ok && HasAlpha(layout)) {
    const uint16_t kind = look.alphaKind;
    ok = TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), &kind);
  }
  if (ok && compression == COMPRESSION_JPEG) {
    ok = TIFFSetField(tif, TIFFTAG_JPEGQUALITY, quality);
    if (ok && ycbcr)
      ok = TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, look.subsampling[0], look.subsampling[1]) &&
           TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  }
  if (ok && TakesPredictor(compression)) {
    uint16_t predictor = look.predictor;
    if (predictor == 0) predictor = isFloat ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL;
    if (predictor == PREDICTOR_FLOATINGPOINT && !isFloat) predictor = PREDICTOR_HORIZONTAL;
    ok = TIFFSetField(tif, TIFFTAG_PREDICTOR, predictor);
  }
  if (ok && look.orientation != ORIENTATION_TOPLEFT)
    ok = TIFFSetField(tif, TIFFTAG_ORIENTATION, look.orientation);
  if (ok && !look.iccProfile.empty())
    ok = TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(look.iccProfile.size()),
                      look.iccProfile.data());
  if (ok && look.hasResolution)
    ok = TIFFSetField(tif, TIFFTAG_XRESOLUTION, look.xResolution) &&
         TIFFSetField(tif, TIFFTAG_YRESOLUTION, look.yResolution) &&
         TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, look.resolutionUnit);
  for (const auto& [tag, text] : look.text)
    if (ok) ok = TIFFSetField(tif, tag, text.c_str());
  return ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
}

void WriteTiff(const Image& image, const std::string& path, ChannelLayout layout,
               SampleType type, const WriteOptions& options) {
  const auto* kept = dynamic_cast<const TiffDetails*>(image.details.get());
  const TiffDetails look = kept != nullptr ? *kept : TiffDetails();
  const Image* source = &image;
  Image premultiplied;
  if (HasAlpha(layout) && look.alphaKind == EXTRASAMPLE_ASSOCALPHA) {
    premultiplied = image;
    Premultiply(&premultiplied);
    source = &premultiplied;
  }
  const int quality = QualityOf(options, path);

  const uint64_t bytes =
      uint64_t(image.width) * image.height * ChannelCount(layout) * SampleBytes(type);
  std::string mode = "w";
  if (look.bigTiff || bytes > kClassicBytesMax) mode += '8';
  if (look.bigEndian) mode += 'b';
  TiffFile file;
  if (!OpenTiff(&file, path, mode.c_str()))
    throw ImageError(path + ": cannot create: " +
                     (errno != 0 ? std::string(std::strerror(errno)) : Why(file)));
  TIFF* tif = file.tiff;
  // libtiff's message on a failed write leaves out the system's reason (a full disk).
  auto failed = [&] {
    const std::string system = errno != 0 ? std::string(": ") + std::strerror(errno) : "";
    return ImageError(path + ": cannot write TIFF (" + Why(file) + system + ")");
  };
  errno = 0;
  if (!SetTags(tif, image, layout, type, look, quality)) throw failed();
  std::vector<uint8_t> row(size_t(image.width) * ChannelCount(layout) * SampleBytes(type));
  for (int y = 0; y < image.height; ++y) {
    PackRow(*source, y, layout, type, row.data());
    if (TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) < 0) throw failed();
  }
  if (!TIFFFlush(tif)) throw failed();
}

}  // namespace

const Format& TiffFormat() {
  static const Format format = {
      "TIFF",
      {".tif", ".tiff"},
      {SampleType::kUInt8, SampleType::kUInt16, SampleType::kHalf, SampleType::kFloat},
      /*storesAlpha=*/true,
      IsTiff,
      ReadTiff,
      WriteTiff,
      /*options=*/{&kQualityOption}};
  return format;
}

}  // namespace fxaa_cli
