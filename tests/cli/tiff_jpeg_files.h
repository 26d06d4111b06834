// TIFF and JPEG files made with libtiff and libjpeg directly, in encodings the tool's own writers
// never produce (tiles, separate planes, CMYK, palettes, samples under a byte, chosen markers),
// their samples and markers read back the same way, and header values changed afterwards for the
// hostile-file tests.
#pragma once

#include <tiffio.h>

#include <cstdio>  // before jpeglib.h
#include <jpeglib.h>

#include <Imath/half.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace cli_test {

struct TiffRecipe {
  int width = 9, height = 7;
  uint16_t bits = 8;
  uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  int colour = 3;      // 1 grey, 3 RGB
  int alphaKind = -1;  // an EXTRASAMPLE_ value, or -1 for no alpha
  uint16_t compression = COMPRESSION_NONE;
  int photometric = -1;  // a PHOTOMETRIC_ value, or -1 for grey or RGB as `colour` says
  std::vector<uint16_t> colormap;  // red, green then blue entries, for a palette
  uint16_t fillOrder = FILLORDER_MSB2LSB;
  bool tiled = false;
  bool planar = false;  // separate planes
  int pages = 1;        // later pages are half the size of the first
};

inline int TiffSamplesPerPixel(const TiffRecipe& r) { return r.colour + (r.alphaKind >= 0); }

// Pseudo-random interleaved samples for `r`, in the machine's byte order; samples under 8 bits
// one a byte. Colour never exceeds alpha when the alpha is associated, as in any premultiplied
// file.
inline std::vector<uint8_t> TiffSamples(const TiffRecipe& r, unsigned seed = 3) {
  std::mt19937 random(seed);
  const int spp = TiffSamplesPerPixel(r), bytes = std::max(1, r.bits / 8);
  std::vector<uint8_t> out(size_t(r.width) * r.height * spp * bytes);
  for (size_t p = 0; p < size_t(r.width) * r.height; ++p) {
    const double alpha = (random() % 1025) / 1024.0;
    for (int s = 0; s < spp; ++s) {
      double v = s == r.colour ? alpha : (random() % 1025) / 1024.0;
      if (r.alphaKind == EXTRASAMPLE_ASSOCALPHA && s < r.colour) v *= alpha;
      uint8_t* at = out.data() + (p * spp + s) * bytes;
      if (r.sampleFormat == SAMPLEFORMAT_IEEEFP && r.bits == 32) {
        const float f = float(v);
        std::memcpy(at, &f, 4);
      } else if (r.sampleFormat == SAMPLEFORMAT_IEEEFP) {
        const uint16_t h = half(float(v)).bits();
        std::memcpy(at, &h, 2);
      } else if (r.bits == 16) {
        const uint16_t w = uint16_t(v * 65535 + 0.5);
        std::memcpy(at, &w, 2);
      } else if (r.bits < 8) {
        *at = uint8_t(random() % (1u << r.bits));
      } else {
        *at = uint8_t(v * 255 + 0.5);
      }
    }
  }
  return out;
}

// Writes `samples` (interleaved, as TiffSamples makes them) as `r` describes, with libtiff.
inline bool WriteTiffFile(const std::string& path, const TiffRecipe& r,
                          const std::vector<uint8_t>& samples) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  const int spp = TiffSamplesPerPixel(r), bytes = std::max(1, r.bits / 8);
  bool ok = true;
  for (int page = 0; page < r.pages && ok; ++page) {
    const int w = page == 0 ? r.width : r.width / 2, h = page == 0 ? r.height : r.height / 2;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, r.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, r.sampleFormat);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, r.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, r.compression);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 r.photometric >= 0 ? r.photometric
                                    : r.colour == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    if (r.photometric == PHOTOMETRIC_YCBCR) TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    const size_t entries = r.colormap.size() / 3;
    if (entries > 0)
      TIFFSetField(tif, TIFFTAG_COLORMAP, r.colormap.data(), r.colormap.data() + entries,
                   r.colormap.data() + 2 * entries);
    if (r.fillOrder != FILLORDER_MSB2LSB) TIFFSetField(tif, TIFFTAG_FILLORDER, r.fillOrder);
    if (r.alphaKind >= 0) {
      const uint16_t kind = uint16_t(r.alphaKind);
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    if (page + 1 < r.pages) TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    // Pixel (x, y) sample s of the page, from the first page's samples.
    auto sample = [&](int x, int y, int s) {
      return samples.data() + ((size_t(y) * r.width + x) * spp + s) * bytes;
    };
    const int planes = r.planar ? spp : 1, stride = r.planar ? 1 : spp;
    const int tw = r.tiled ? 16 : w, th = r.tiled ? 16 : 1;
    if (r.tiled) {
      TIFFSetField(tif, TIFFTAG_TILEWIDTH, tw);
      TIFFSetField(tif, TIFFTAG_TILELENGTH, th);
    } else {
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);  // a multiple of 16, as JPEG needs
    }
    // Samples under 8 bits are packed, the first in the high bits of a byte.
    const size_t rowBytes = (size_t(tw) * stride * r.bits + 7) / 8;
    std::vector<uint8_t> block(rowBytes * th);
    for (int plane = 0; plane < planes && ok; ++plane)
      for (int y0 = 0; y0 < h && ok; y0 += th)
        for (int x0 = 0; x0 < w && ok; x0 += tw) {
          std::fill(block.begin(), block.end(), 0);
          for (int y = y0; y < std::min(h, y0 + th); ++y)
            for (int x = x0; x < std::min(w, x0 + tw); ++x)
              for (int s = 0; s < stride; ++s) {
                const size_t bit = (size_t(x - x0) * stride + s) * r.bits;
                uint8_t* to = block.data() + size_t(y - y0) * rowBytes + bit / 8;
                if (r.bits >= 8) std::memcpy(to, sample(x, y, plane + s), bytes);
                else *to |= uint8_t(*sample(x, y, plane + s) << (8 - r.bits - bit % 8));
              }
          ok = r.tiled ? TIFFWriteTile(tif, block.data(), x0, y0, 0, plane) >= 0
                       : TIFFWriteScanline(tif, block.data(), y0, plane) >= 0;
        }
    ok = ok && TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  return ok;
}

// A TIFF file's first page: its samples (interleaved, read as scan lines) and some tags.
struct TiffContent {
  uint16_t bits = 0, sampleFormat = 0, samplesPerPixel = 0, compression = 0, photometric = 0;
  int alphaKind = -1;
  std::vector<uint8_t> samples;
};

inline TiffContent ReadTiffFile(const std::string& path) {
  TiffContent c;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return c;
  uint32_t width = 0, height = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &c.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &c.sampleFormat);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &c.samplesPerPixel);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &c.compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &c.photometric);
  uint16_t count = 0;
  uint16_t* kinds = nullptr;
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) && count > 0) c.alphaKind = kinds[0];
  if (c.photometric == PHOTOMETRIC_YCBCR) TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  const tmsize_t line = TIFFScanlineSize(tif);
  c.samples.resize(size_t(line) * height);
  for (uint32_t y = 0; y < height; ++y)
    if (TIFFReadScanline(tif, c.samples.data() + y * line, y, 0) < 0) c.samples.clear();
  TIFFClose(tif);
  return c;
}

struct JpegRecipe {
  int width = 24, height = 16;
  J_COLOR_SPACE colour = JCS_RGB;  // JCS_GRAYSCALE, JCS_RGB or JCS_CMYK
  bool progressive = false;
  int lumaSampling = 2;  // horizontal and vertical factor of the first component
  std::vector<uint8_t> icc;
  std::vector<uint8_t> exif;  // APP1 payload, "Exif\0\0" and a TIFF block
};

// A JPEG of smooth colour (so that the encoding's loss stays small) as `r` describes.
inline std::vector<char> JpegBytes(const JpegRecipe& r) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* data = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &data, &size);
  info.image_width = r.width;
  info.image_height = r.height;
  info.input_components = r.colour == JCS_GRAYSCALE ? 1 : r.colour == JCS_CMYK ? 4 : 3;
  info.in_color_space = r.colour;
  jpeg_set_defaults(&info);
  info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = r.lumaSampling;
  if (r.progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  if (!r.exif.empty()) jpeg_write_marker(&info, JPEG_APP0 + 1, r.exif.data(), unsigned(r.exif.size()));
  if (!r.icc.empty()) jpeg_write_icc_profile(&info, r.icc.data(), unsigned(r.icc.size()));
  std::vector<uint8_t> row(size_t(r.width) * info.input_components);
  while (info.next_scanline < info.image_height) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t((i * 7 + info.next_scanline * 5) % 256);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<char> bytes(data, data + size);
  std::free(data);
  return bytes;
}

// What a JPEG file says about itself and the markers the tool carries over.
struct JpegContent {
  int components = 0, lumaSampling[2] = {0, 0};
  bool progressive = false;
  std::vector<uint8_t> icc, exif;
};

inline JpegContent ReadJpegFile(const std::string& path) {
  JpegContent c;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return c;
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&info, TRUE);
  c.components = info.num_components;
  c.lumaSampling[0] = info.comp_info[0].h_samp_factor;
  c.lumaSampling[1] = info.comp_info[0].v_samp_factor;
  c.progressive = info.progressive_mode;
  JOCTET* icc = nullptr;
  unsigned int iccLength = 0;
  if (jpeg_read_icc_profile(&info, &icc, &iccLength)) {
    c.icc.assign(icc, icc + iccLength);
    std::free(icc);
  }
  for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next)
    if (m->marker == JPEG_APP0 + 1) c.exif.assign(m->data, m->data + m->data_length);
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return c;
}

// `tiff` (little-endian, as written on this machine) with the value of `tag` in its first
// directory set to `value`: the tag's value must be one SHORT or LONG held in the entry.
inline std::vector<char> WithTiffTag(std::vector<char> tiff, uint16_t tag, uint32_t value) {
  auto read = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | uint8_t(tiff[at + i]);
    return v;
  };
  const size_t directory = read(4, 4);
  for (uint32_t i = 0, n = read(directory, 2); i < n; ++i) {
    const size_t entry = directory + 2 + 12 * i;
    if (read(entry, 2) != tag) continue;
    for (int b = 0; b < (read(entry + 2, 2) == TIFF_SHORT ? 2 : 4); ++b)
      tiff[entry + 8 + b] = char(value >> (8 * b));
  }
  return tiff;
}

// `jpeg` with the frame size in its start-of-frame marker changed.
inline std::vector<char> WithJpegSize(std::vector<char> jpeg, uint16_t width, uint16_t height) {
  for (size_t at = 2; at + 9 < jpeg.size();) {
    const uint8_t marker = uint8_t(jpeg[at + 1]);
    if (marker >= 0xC0 && marker <= 0xC2) {
      const uint8_t size[4] = {uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width)};
      std::memcpy(&jpeg[at + 5], size, 4);
      break;
    }
    at += 2 + (uint8_t(jpeg[at + 2]) << 8 | uint8_t(jpeg[at + 3]));
  }
  return jpeg;
}

}  // namespace cli_test
