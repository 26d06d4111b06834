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
#include "cli/system.h"

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

// What ReadPngHeader learns of a file.
struct PngHeader {
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0;
  ChannelLayout layout = ChannelLayout::kRGBA;  // as stored, palette and transparency expanded
};

// Reads the header and sets the transforms that deliver every row as the image keeps it: 8-bit
// files straight into the image's ARGB bytes, 16-bit files as host-order words of the file's
// channels. Returns false (message set) on a libpng error; throws ImageError for a refused size.
bool ReadPngHeader(PngState* state, const std::string& path, PngHeader* header) {
  if (setjmp(png_jmpbuf(state->png))) return false;
  png_init_io(state->png, state->file);
  // libpng's own limit (a million pixels a side) would refuse first with a vaguer message.
  png_set_user_limits(state->png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_read_info(state->png, state->info);

  png_get_IHDR(state->png, state->info, &header->width, &header->height, &header->depth,
               &header->colourType, nullptr, nullptr, nullptr);
  CheckImageSize(path, header->width, header->height);
  // Every sample of every pixel is in the inflated stream, interlaced or not.
  const unsigned long long sampleBytes = static_cast<unsigned long long>(header->width) *
                                         header->height *
                                         png_get_channels(state->png, state->info) *
                                         header->depth / 8;
  if (state->fileLength > 0 && sampleBytes > kDeflateMaxRatio * state->fileLength) {
    std::snprintf(state->message, sizeof(state->message),
                  "the header promises %u x %u pixels, more than its %llu bytes can hold",
                  static_cast<unsigned>(header->width), static_cast<unsigned>(header->height),
                  state->fileLength);
    return false;
  }

  const int type = header->colourType;
  const bool grey = (type & PNG_COLOR_MASK_COLOR) == 0;
  const bool alpha = (type & PNG_COLOR_MASK_ALPHA) != 0 ||
                     png_get_valid(state->png, state->info, PNG_INFO_tRNS) != 0;
  header->layout = grey ? (alpha ? ChannelLayout::kYA : ChannelLayout::kY)
                        : (alpha ? ChannelLayout::kRGBA : ChannelLayout::kRGB);

  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(state->png);
  if (type == PNG_COLOR_TYPE_GRAY && header->depth < 8) png_set_expand_gray_1_2_4_to_8(state->png);
  if (png_get_valid(state->png, state->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(state->png);
  if (header->depth == 16) {
    png_set_swap(state->png);  // host byte order (PNG stores big-endian)
  } else {
    if (grey) png_set_gray_to_rgb(state->png);
    if (alpha)
      png_set_swap_alpha(state->png);
    else
      png_set_filler(state->png, 0xFF, PNG_FILLER_BEFORE);
  }
  png_set_interlace_handling(state->png);
  png_read_update_info(state->png, state->info);
  header->depth = png_get_bit_depth(state->png, state->info);
  return true;
}

// Decodes every row into `rows` (interlaced files need them all at once).
bool ReadPngRows(PngState* state, png_bytepp rows) {
  if (setjmp(png_jmpbuf(state->png))) return false;
  png_read_image(state->png, rows);
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

// Encodes `image` as `layout` and `type`, packing one row at a time into state->raw.
bool EncodePng(PngState* state, const Image& image, ChannelLayout layout, SampleType type) {
  if (setjmp(png_jmpbuf(state->png))) return false;
  const int depth = type == SampleType::kUInt16 ? 16 : 8;
  const int colourType = layout == ChannelLayout::kY    ? PNG_COLOR_TYPE_GRAY
                         : layout == ChannelLayout::kYA ? PNG_COLOR_TYPE_GRAY_ALPHA
                         : layout == ChannelLayout::kRGB ? PNG_COLOR_TYPE_RGB
                                                         : PNG_COLOR_TYPE_RGBA;
  png_set_write_fn(state->png, state, OnPngWrite, OnPngFlush);
  // Writing must keep up with rendering. zlib's default level with adaptive filtering spends
  // about 2 s of CPU on a 1920x1080 frame of filmed footage, ten times a software render of it.
  // The Up filter with run-length deflate encodes such a frame in a sixteenth of that and decodes
  // it as fast, for files a few percent larger (flat graphics, which compress far better anyway,
  // come out about twice as large).
  png_set_filter(state->png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_set_compression_strategy(state->png, Z_RLE);
  png_set_IHDR(state->png, state->info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), depth, colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(state->png, state->info);
  if (depth == 16) png_set_swap(state->png);
  for (int y = 0; y < image.height; ++y) {
    PackRow(image, y, layout, type, state->raw.data());
    png_write_row(state->png, state->raw.data());
  }
  png_write_end(state->png, nullptr);
  return true;
}

bool IsPng(const uint8_t* head, size_t size) {
  static const uint8_t kMagic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return size >= 8 && std::memcmp(head, kMagic, 8) == 0;
}

Image ReadPng(const std::string& path) {
  PngState state;
  state.file = OpenFile(path, "rb");
  if (state.file == nullptr) throw ImageError(path + ": cannot open: " + std::strerror(errno));
  state.fileLength = FileLength(state.file);
  state.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning,
                                       nullptr, OnPngMalloc, OnPngFree);
  if (state.png != nullptr) state.info = png_create_info_struct(state.png);
  if (state.png == nullptr || state.info == nullptr)
    throw ImageError(path + ": out of memory reading PNG");

  PngHeader header;
  auto corrupt = [&] {
    return ImageError(path + ": corrupt or truncated PNG (" + state.message + ")");
  };
  if (!ReadPngHeader(&state, path, &header)) throw corrupt();

  Image image;
  image.width = static_cast<int>(header.width);
  image.height = static_cast<int>(header.height);
  image.fromPalette = header.colourType == PNG_COLOR_TYPE_PALETTE;
  image.layout = header.layout;
  image.type = header.depth == 16 ? SampleType::kUInt16 : SampleType::kUInt8;
  image.Allocate();

  state.rows.resize(header.height);
  if (image.type == SampleType::kUInt8) {
    for (int y = 0; y < image.height; ++y) state.rows[y] = image.byteRow(y);
    if (!ReadPngRows(&state, state.rows.data())) throw corrupt();
    return image;
  }

  const size_t rowBytes = png_get_rowbytes(state.png, state.info);
  state.raw.resize(rowBytes * header.height);
  for (png_uint_32 y = 0; y < header.height; ++y) state.rows[y] = state.raw.data() + y * rowBytes;
  if (!ReadPngRows(&state, state.rows.data())) throw corrupt();
  const int channels = ChannelCount(image.layout);
  const bool grey = IsGrey(image.layout);
  const bool alpha = HasAlpha(image.layout);
  for (int y = 0; y < image.height; ++y) {
    const uint16_t* s = reinterpret_cast<const uint16_t*>(state.rows[y]);
    float* dst = image.floatRow(y);
    for (int x = 0; x < image.width; ++x, s += channels, dst += 4) {
      dst[0] = alpha ? Word16ToFloat(s[channels - 1]) : 1.0f;
      dst[1] = Word16ToFloat(s[0]);
      dst[2] = Word16ToFloat(grey ? s[0] : s[1]);
      dst[3] = Word16ToFloat(grey ? s[0] : s[2]);
    }
  }
  return image;
}

void WritePng(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions&) {
  PngState state;
  state.writing = true;
  state.raw.resize(size_t(image.width) * ChannelCount(layout) * SampleBytes(type));
  state.file = OpenFile(path, "wb");
  if (state.file == nullptr) throw ImageError(path + ": cannot create: " + std::strerror(errno));
  state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
  if (state.png != nullptr) state.info = png_create_info_struct(state.png);
  if (state.png == nullptr || state.info == nullptr)
    throw ImageError(path + ": out of memory writing PNG");
  if (!EncodePng(&state, image, layout, type))
    throw ImageError(path + ": cannot write PNG (" + state.message + ")");
  FILE* file = state.file;
  state.file = nullptr;
  CloseWrittenFile(file, path);
}

}  // namespace

const Format& PngFormat() {
  static const Format format = {"PNG", {".png"}, {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/true, IsPng, ReadPng, WritePng, /*options=*/{}};
  return format;
}

}  // namespace fxaa_cli
