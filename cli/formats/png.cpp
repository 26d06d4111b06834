// PNG through libpng: 8 and 16 bits; grey, grey+alpha, RGB, RGBA; palette and low-depth grey
// expanded; a transparency chunk becomes an alpha channel. libpng reports errors by longjmp, so
// each setjmp sits in a function that owns no C++ objects; the buffers live in the caller's state.
#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/formats/format.h"

namespace fxaa_cli {

namespace {

struct PngState {
  FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool writing = false;
  unsigned long long fileLength = 0;
  char message[256] = {};
  std::vector<uint8_t> raw;
  std::vector<png_bytep> rows;

  ~PngState() {
    if (png != nullptr) {
      if (writing)
        png_destroy_write_struct(&png, &info);
      else
        png_destroy_read_struct(&png, &info, nullptr);
    }
    if (file != nullptr) std::fclose(file);
  }
};

// Keeps libpng's message and returns to the setjmp of the running call.
void OnPngError(png_structp png, png_const_charp message) {
  PngState* state = static_cast<PngState*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof(state->message), "%s", message ? message : "error");
  png_longjmp(png, 1);
}

// Warnings (unknown chunks, odd gamma values) do not stop the frame.
void OnPngWarning(png_structp, png_const_charp) {}

// libpng's own buffers (a few rows, zlib state, one chunk's data) stay under a megabyte for any
// image the tool takes. A chunk that claims more is refused here: libpng then skips it (side
// chunks) or fails (image chunks), instead of committing gigabytes to a few bytes of file.
constexpr png_alloc_size_t kLibraryAllocationMax = 16u << 20;

png_voidp OnPngMalloc(png_structp, png_alloc_size_t size) {
  return size <= kLibraryAllocationMax ? std::malloc(size) : nullptr;
}
void OnPngFree(png_structp, png_voidp p) { std::free(p); }

// Deflate packs at most 258 bytes into 2 bits: a stream this long inflates to at most this much.
constexpr unsigned long long kDeflateMaxRatio = 1032;

// Bytes in the file, or 0 when it cannot say.
unsigned long long FileLength(FILE* file) {
  const long at = std::ftell(file);
  if (at < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
  const long end = std::ftell(file);
  std::fseek(file, at, SEEK_SET);
  return end > 0 ? static_cast<unsigned long long>(end) : 0;
}

// Reads the header, sets the expanding transforms and decodes every row into state->raw.
// Returns false (message set) on a libpng error; throws ImageError for a refused size.
bool DecodePng(PngState* state, const std::string& path, png_uint_32* width, png_uint_32* height,
               int* channels, int* depth, int* colourType) {
  if (setjmp(png_jmpbuf(state->png))) return false;
  png_init_io(state->png, state->file);
  // libpng's own limit (a million pixels a side) would refuse first with a vaguer message.
  png_set_user_limits(state->png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_read_info(state->png, state->info);

  int interlace = 0;
  png_get_IHDR(state->png, state->info, width, height, depth, colourType, &interlace, nullptr,
               nullptr);
  CheckImageSize(path, *width, *height);
  // Every sample of every pixel is in the inflated stream, interlaced or not.
  const unsigned long long sampleBytes = static_cast<unsigned long long>(*width) * *height *
                                         png_get_channels(state->png, state->info) * *depth / 8;
  if (state->fileLength > 0 && sampleBytes > kDeflateMaxRatio * state->fileLength) {
    std::snprintf(state->message, sizeof(state->message),
                  "the header promises %u x %u pixels, more than its %llu bytes can hold",
                  static_cast<unsigned>(*width), static_cast<unsigned>(*height),
                  state->fileLength);
    return false;
  }

  if (*colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(state->png);
  if (*colourType == PNG_COLOR_TYPE_GRAY && *depth < 8) png_set_expand_gray_1_2_4_to_8(state->png);
  if (png_get_valid(state->png, state->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(state->png);
  if (*depth == 16) png_set_swap(state->png);  // host byte order (PNG stores big-endian)
  png_set_interlace_handling(state->png);
  png_read_update_info(state->png, state->info);

  *channels = png_get_channels(state->png, state->info);
  *depth = png_get_bit_depth(state->png, state->info);
  const size_t rowBytes = png_get_rowbytes(state->png, state->info);
  state->raw.resize(rowBytes * *height);
  state->rows.resize(*height);
  for (png_uint_32 y = 0; y < *height; ++y) state->rows[y] = state->raw.data() + y * rowBytes;
  png_read_image(state->png, state->rows.data());
  png_read_end(state->png, nullptr);
  return true;
}

// Writes through stdio like libpng's own writer, but keeps the system's reason for a failed
// write (a full disk) instead of a bare "Write Error".
void OnPngWrite(png_structp png, png_bytep data, size_t length) {
  PngState* state = static_cast<PngState*>(png_get_io_ptr(png));
  if (std::fwrite(data, 1, length, state->file) != length) png_error(png, std::strerror(errno));
}
void OnPngFlush(png_structp png) {
  PngState* state = static_cast<PngState*>(png_get_io_ptr(png));
  if (std::fflush(state->file) != 0) png_error(png, std::strerror(errno));
}

// Encodes state->rows (already in file order) with the given header values.
bool EncodePng(PngState* state, png_uint_32 width, png_uint_32 height, int depth, int colourType) {
  if (setjmp(png_jmpbuf(state->png))) return false;
  png_set_write_fn(state->png, state, OnPngWrite, OnPngFlush);
  // Writing must keep up with rendering. zlib's default level with adaptive filtering spends
  // about 2 s of CPU on a 1920x1080 frame of filmed footage, ten times a software render of it.
  // The Up filter with run-length deflate encodes such a frame in a sixteenth of that and decodes
  // it as fast, for files a few percent larger (flat graphics, which compress far better anyway,
  // come out about twice as large).
  png_set_filter(state->png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_set_compression_strategy(state->png, Z_RLE);
  png_set_IHDR(state->png, state->info, width, height, depth, colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(state->png, state->info);
  if (depth == 16) png_set_swap(state->png);
  png_write_image(state->png, state->rows.data());
  png_write_end(state->png, nullptr);
  return true;
}

bool IsPng(const uint8_t* head, size_t size) {
  static const uint8_t kMagic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return size >= 8 && std::memcmp(head, kMagic, 8) == 0;
}

Image ReadPng(const std::string& path) {
  PngState state;
  state.file = std::fopen(path.c_str(), "rb");
  if (state.file == nullptr) throw ImageError(path + ": cannot open: " + std::strerror(errno));
  state.fileLength = FileLength(state.file);
  state.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning,
                                       nullptr, OnPngMalloc, OnPngFree);
  if (state.png != nullptr) state.info = png_create_info_struct(state.png);
  if (state.png == nullptr || state.info == nullptr)
    throw ImageError(path + ": out of memory reading PNG");

  png_uint_32 width = 0, height = 0;
  int channels = 0, depth = 0, colourType = 0;
  if (!DecodePng(&state, path, &width, &height, &channels, &depth, &colourType))
    throw ImageError(path + ": corrupt or truncated PNG (" + state.message + ")");

  Image image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.fromPalette = colourType == PNG_COLOR_TYPE_PALETTE;
  image.layout = channels == 1   ? ChannelLayout::kY
                 : channels == 2 ? ChannelLayout::kYA
                 : channels == 3 ? ChannelLayout::kRGB
                                 : ChannelLayout::kRGBA;
  image.type = depth == 16 ? SampleType::kUInt16 : SampleType::kUInt8;
  image.Allocate();

  const bool grey = IsGrey(image.layout);
  const bool alpha = HasAlpha(image.layout);
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* src = state.rows[y];
    if (depth == 8) {
      uint8_t* dst = image.byteRow(y);
      for (int x = 0; x < image.width; ++x, src += channels, dst += 4) {
        dst[0] = alpha ? src[channels - 1] : 255;
        dst[1] = src[0];
        dst[2] = grey ? src[0] : src[1];
        dst[3] = grey ? src[0] : src[2];
      }
    } else {
      const uint16_t* s = reinterpret_cast<const uint16_t*>(src);
      float* dst = image.floatRow(y);
      for (int x = 0; x < image.width; ++x, s += channels, dst += 4) {
        dst[0] = alpha ? Word16ToFloat(s[channels - 1]) : 1.0f;
        dst[1] = Word16ToFloat(s[0]);
        dst[2] = Word16ToFloat(grey ? s[0] : s[1]);
        dst[3] = Word16ToFloat(grey ? s[0] : s[2]);
      }
    }
  }
  return image;
}

void WritePng(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions&) {
  const int channels = ChannelCount(layout);
  const int depth = type == SampleType::kUInt16 ? 16 : 8;
  const bool grey = IsGrey(layout);
  const bool alpha = HasAlpha(layout);
  const int colourType = layout == ChannelLayout::kY    ? PNG_COLOR_TYPE_GRAY
                         : layout == ChannelLayout::kYA ? PNG_COLOR_TYPE_GRAY_ALPHA
                         : layout == ChannelLayout::kRGB ? PNG_COLOR_TYPE_RGB
                                                         : PNG_COLOR_TYPE_RGBA;

  PngState state;
  state.writing = true;
  const size_t rowBytes = size_t(image.width) * channels * (depth / 8);
  state.raw.resize(rowBytes * image.height);
  state.rows.resize(image.height);
  for (int y = 0; y < image.height; ++y) {
    uint8_t* row = state.raw.data() + y * rowBytes;
    state.rows[y] = row;
    uint16_t* words = reinterpret_cast<uint16_t*>(row);
    for (int x = 0; x < image.width; ++x) {
      float a, r, g, b;
      if (image.type == SampleType::kUInt8) {
        const uint8_t* p = image.byteRow(y) + 4 * size_t(x);
        if (depth == 8) {  // bytes stay bytes: no trip through floats
          uint8_t* d = row + size_t(x) * channels;
          if (grey) {
            d[0] = (p[1] == p[2] && p[2] == p[3])
                       ? p[1]
                       : FloatToByte(GreyOf(p[1] / 255.f, p[2] / 255.f, p[3] / 255.f));
          } else {
            d[0] = p[1];
            d[1] = p[2];
            d[2] = p[3];
          }
          if (alpha) d[channels - 1] = p[0];
          continue;
        }
        a = p[0] / 255.f, r = p[1] / 255.f, g = p[2] / 255.f, b = p[3] / 255.f;
      } else {
        const float* p = image.floatRow(y) + 4 * size_t(x);
        a = p[0], r = p[1], g = p[2], b = p[3];
      }
      float values[4];
      int n = 0;
      if (grey) {
        values[n++] = GreyOf(r, g, b);
      } else {
        values[n++] = r;
        values[n++] = g;
        values[n++] = b;
      }
      if (alpha) values[n++] = a;
      for (int c = 0; c < n; ++c) {
        if (depth == 16)
          words[size_t(x) * channels + c] = FloatToWord16(values[c]);
        else
          row[size_t(x) * channels + c] = FloatToByte(values[c]);
      }
    }
  }

  state.file = std::fopen(path.c_str(), "wb");
  if (state.file == nullptr) throw ImageError(path + ": cannot create: " + std::strerror(errno));
  state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
  if (state.png != nullptr) state.info = png_create_info_struct(state.png);
  if (state.png == nullptr || state.info == nullptr)
    throw ImageError(path + ": out of memory writing PNG");
  if (!EncodePng(&state, image.width, image.height, depth, colourType))
    throw ImageError(path + ": cannot write PNG (" + state.message + ")");
  FILE* file = state.file;
  state.file = nullptr;
  // A full disk shows up only when the buffered bytes reach it.
  if (std::fflush(file) != 0 || std::ferror(file)) {
    const int err = errno;
    std::fclose(file);
    throw ImageError(path + ": cannot write: " + std::strerror(err));
  }
  if (std::fclose(file) != 0) throw ImageError(path + ": cannot write: " + std::strerror(errno));
}

}  // namespace

const Format& PngFormat() {
  static const Format format = {"PNG", {".png"}, {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/true, IsPng, ReadPng, WritePng, /*options=*/{}};
  return format;
}

}  // namespace fxaa_cli
