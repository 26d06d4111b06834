// Hostile input files through the readers: cut at every length, bytes flipped, headers with
// absurd sizes and codes behind valid checksums. Each must fail with one line that names the file
// (ImageError), never crash, and never commit memory the file cannot fill.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfTiledOutputFile.h>
#include <climits>
#include <fstream>

#include "cli_test_util.h"
#include "hostile_files.h"
#include "tiff_jpeg_files.h"
#include "tests/support/resident_memory.h"

namespace {

using namespace fxaa_cli;
using cli_test::Bytes;
using cli_test::Encoded;
using cli_test::ScratchDir;

// The outcome of reading one file: a checked image, or the reader's message.
struct ReadOutcome {
  bool read = false;
  std::string message;  // empty when read
};

// Reads `path`, failing the test for anything but a sane image or an ImageError whose single
// line starts with the path.
ReadOutcome ReadChecked(const std::string& path) {
  ReadOutcome outcome;
  try {
    const Image image = ReadImage(path);
    EXPECT_GE(image.width, 1) << path;
    EXPECT_GE(image.height, 1) << path;
    EXPECT_LE(image.width, kMaxImageSide) << path;
    EXPECT_LE(image.height, kMaxImageSide) << path;
    const size_t values = size_t(image.width) * size_t(image.height) * 4;
    EXPECT_EQ(image.type == SampleType::kUInt8 ? image.bytes.size() : image.floats.size(), values)
        << path;
    outcome.read = true;
  } catch (const ImageError& e) {
    outcome.message = e.what();
    EXPECT_EQ(outcome.message.rfind(path + ": ", 0), 0u) << outcome.message;
    EXPECT_EQ(outcome.message.find('\n'), std::string::npos) << outcome.message;
  } catch (const std::exception& e) {
    ADD_FAILURE() << path << ": escaped as " << typeid(e).name() << ": " << e.what();
  }
  return outcome;
}

Bytes TiledExr() {
  ScratchDir dir;
  const std::string path = dir / "tiled.exr";
  std::vector<half> rgba(9 * 6 * 4, half(0.5f));
  Imf::Header header(9, 6);
  header.setTileDescription(Imf::TileDescription(4, 4));
  header.compression() = Imf::PIZ_COMPRESSION;
  const char* names[4] = {"R", "G", "B", "A"};
  Imf::FrameBuffer frame;
  for (int c = 0; c < 4; ++c) {
    header.channels().insert(names[c], Imf::Channel(Imf::HALF));
    frame.insert(names[c], Imf::Slice::Make(Imf::HALF, rgba.data() + c, header.dataWindow(),
                                            4 * sizeof(half), 9 * 4 * sizeof(half)));
  }
  {
    Imf::TiledOutputFile file(path.c_str(), header);
    file.setFrameBuffer(frame);
    file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
  }
  return cli_test::FileBytes(path);
}

// A 9 x 20 TIFF of one `bits`-bit sample a pixel: palette colour with a colormap of `entries`
// colours (none for 0), or white-is-zero grey when `entries` is -1. Its two strips put their
// offsets behind the directory, so that no byte at the end of the file is spare.
Bytes OneSampleTiff(uint16_t bits, uint16_t compression, long entries) {
  ScratchDir dir;
  cli_test::TiffRecipe r;
  r.height = 20;
  r.colour = 1, r.bits = bits, r.compression = compression;
  r.photometric = entries < 0 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_PALETTE;
  for (long i = 0; i < 3 * entries; ++i) r.colormap.push_back(uint16_t(i * 2741));
  if (!cli_test::WriteTiffFile(dir / "f.tif", r, cli_test::TiffSamples(r))) return {};
  return cli_test::FileBytes(dir / "f.tif");
}

struct Source {
  const char* name;
  Bytes (*make)();
  bool checksummed;  // every byte is covered by a checksum the reader verifies
};

std::ostream& operator<<(std::ostream& out, const Source& s) { return out << s.name; }

// Small valid files of the encodings the readers take; each test damages them.
const Source kSources[] = {
    {"rgba8.png",
     [] { return Encoded(cli_test::MakeImage(7, 5, ChannelLayout::kRGBA, SampleType::kUInt8), "f.png"); },
     true},
    {"ya16.png",
     [] { return Encoded(cli_test::MakeImage(5, 4, ChannelLayout::kYA, SampleType::kUInt16), "f.png"); },
     true},
    {"palette.png", [] { return cli_test::MakePng(6, 3, 4, 3, 3); }, true},
    {"rgbah_zip.exr",
     [] { return Encoded(cli_test::MakeImage(7, 5, ChannelLayout::kRGBA, SampleType::kHalf), "f.exr"); },
     false},
    {"yf_raw.exr",
     [] {
       cli_test::ExrRecipe s;
       s.channels = {{"Y", 2}};
       return cli_test::ExrBytes(s);
     },
     false},
    {"tiled_piz.exr", TiledExr, false},
    {"rgba16_deflate.tif",
     [] { return Encoded(cli_test::MakeImage(5, 4, ChannelLayout::kRGBA, SampleType::kUInt16), "f.tif"); },
     false},
    {"rgb.jpg",
     [] { return Encoded(cli_test::MakeImage(9, 7, ChannelLayout::kRGB, SampleType::kUInt8), "f.jpg"); },
     false},
    {"palette4_lzw.tif", [] { return OneSampleTiff(4, COMPRESSION_LZW, 16); }, false},
    {"white_is_zero1_g4.tif", [] { return OneSampleTiff(1, COMPRESSION_CCITTFAX4, -1); }, false},
};

class DamagedFile : public ::testing::TestWithParam<Source> {};

TEST_P(DamagedFile, CutShortAtAnyLengthIsRefusedWithTheFileNamed) {
  ScratchDir dir;
  const Bytes whole = GetParam().make();
  cli_test::WriteBytes(dir / "whole", whole);
  ASSERT_TRUE(ReadChecked(dir / "whole").read) << "the undamaged file must read";
  const std::string path = dir / GetParam().name;
  for (size_t length = 0; length < whole.size(); ++length) {
    cli_test::WriteBytes(path, Bytes(whole.begin(), whole.begin() + length));
    const ReadOutcome outcome = ReadChecked(path);
    EXPECT_FALSE(outcome.read) << "cut to " << length << " of " << whole.size() << " bytes";
    if (HasFailure()) return;  // one length is enough to see what is wrong
  }
}

TEST_P(DamagedFile, FlippedBytesAreReadSafelyOrRefused) {
  ScratchDir dir;
  const Bytes whole = GetParam().make();
  const std::string path = dir / GetParam().name;
  int refused = 0;
  for (size_t at = 0; at < whole.size(); ++at) {
    for (unsigned char mask : {0xFFu, 0x01u}) {
      Bytes bytes = whole;
      bytes[at] = static_cast<char>(bytes[at] ^ mask);
      cli_test::WriteBytes(path, bytes);
      const ReadOutcome outcome = ReadChecked(path);
      refused += !outcome.read;
      // A checksum covers every byte of these files: no change may go unnoticed, but in the
      // checksum of the empty end chunk, which libpng 1.6.48 on no longer reads.
      if (GetParam().checksummed && at + 4 < whole.size()) {
        EXPECT_FALSE(outcome.read) << "byte " << at << " ^ " << int(mask) << " went unnoticed";
      }
      if (HasFailure()) return;
    }
  }
  EXPECT_GT(refused, 0);  // the header at least is checked
}

INSTANTIATE_TEST_SUITE_P(Encodings, DamagedFile, ::testing::ValuesIn(kSources),
                         cli_test::FileCaseName<Source>);

struct HeaderCase {
  const char* name;
  Bytes (*make)();
  const char* cause;  // part of the message after the file name
};

std::ostream& operator<<(std::ostream& out, const HeaderCase& c) { return out << c.name; }

class AbsurdHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(AbsurdHeader, IsRefusedWithTheCause) {
  ScratchDir dir;
  const std::string path = dir / GetParam().name;
  cli_test::WriteBytes(path, GetParam().make());
  const ReadOutcome outcome = ReadChecked(path);
  ASSERT_FALSE(outcome.read);
  EXPECT_NE(outcome.message.find(GetParam().cause), std::string::npos) << outcome.message;
}

using cli_test::ExrRecipe;
using cli_test::MakePng;
using cli_test::PngBytes;
using cli_test::PngHeaderChunk;

// A file of the given data window with `entries` offsets (-1 all) and no pixels.
ExrRecipe WithWindow(int32_t x0, int32_t y0, int32_t x1, int32_t y1, long long entries) {
  ExrRecipe s;
  const int32_t w[4] = {x0, y0, x1, y1};
  std::copy(w, w + 4, s.dataWindow);
  s.tableEntries = entries;
  s.linesWritten = 0;
  return s;
}

// Plausible sizes with next to nothing behind them.
Bytes PromisesMorePng() { return MakePng(4000, 4000, 16, 6, 1); }
Bytes PromisesMoreExr() {
  ExrRecipe s = WithWindow(0, 0, 3999, 3999, 4000);
  s.linesWritten = 1;
  s.offsetsToFirstChunk = true;  // every entry names the one scan line the file holds
  return ExrBytes(s);
}
// A header attribute whose length field claims nearly 2 GB, and nothing behind it.
Bytes AttributeClaims2GbExr() {
  ExrRecipe s;
  cli_test::PutExrAttribute(&s.extraAttributes, "comments", "string", {}, 0x7FFFFFF0);
  return ExrBytes(s);
}
// A list of strings of sound length whose one string claims nearly 2 GB.
Bytes StringClaims2GbExr() {
  ExrRecipe s;
  Bytes value;
  cli_test::PutLE32(&value, 0x7FFFFFF0u);
  value.insert(value.end(), 8, 'x');
  cli_test::PutExrAttribute(&s.extraAttributes, "multiView", "stringvector", value);
  return ExrBytes(s);
}
// One attribute added to the default file.
Bytes ExrWithAttribute(const std::string& name, const std::string& type, const Bytes& value,
                       int64_t size = -1) {
  ExrRecipe s;
  cli_test::PutExrAttribute(&s.extraAttributes, name, type, value, size);
  return ExrBytes(s);
}
// A valid file with a text chunk header claiming 2 GB in front of its image data.
Bytes HugeSideChunkPng() {
  Bytes b = MakePng(4, 4, 8, 2, 4);
  const Bytes huge = {'\x7f', '\xff', '\xff', '\xff', 't', 'E', 'X', 't'};
  b.insert(b.begin() + 33, huge.begin(), huge.end());
  return b;
}

const HeaderCase kPngHeaders[] = {
    {"zero_height.png", [] { return MakePng(4, 0, 8, 2, 0); }, "corrupt or truncated PNG"},
    {"width_2_31.png", [] { return MakePng(0x80000000u, 1, 8, 0, 0); }, "corrupt or truncated PNG"},
    {"width_max.png", [] { return MakePng(0xFFFFFFFFu, 1, 8, 0, 0); }, "corrupt or truncated PNG"},
    {"wide.png", [] { return MakePng(kMaxImageSide + 1, 1, 8, 0, 1); }, "image too large"},
    {"tall.png", [] { return MakePng(1, kMaxImageSide + 1, 8, 0, 1); }, "image too large"},
    {"bit_depth_3.png", [] { return MakePng(4, 4, 3, 0, 4); }, "corrupt or truncated PNG"},
    {"colour_type_5.png", [] { return MakePng(4, 4, 8, 5, 4); }, "corrupt or truncated PNG"},
    {"palette_16_bit.png", [] { return MakePng(4, 4, 16, 3, 4); }, "corrupt or truncated PNG"},
    {"interlace_2.png",
     [] {
       return PngBytes({PngHeaderChunk(4, 4, 8, 0, 2), {"IDAT", {}}, {"IEND", {}}});
     },
     "corrupt or truncated PNG"},
    {"palette_missing.png",
     [] {
       Bytes b = MakePng(4, 4, 8, 3, 4);
       b.erase(b.begin() + 33, b.begin() + 33 + 12 + 12);  // the PLTE chunk
       return b;
     },
     "corrupt or truncated PNG"},
    {"no_image_data.png", [] { return PngBytes({PngHeaderChunk(4, 4, 8, 2), {"IEND", {}}}); },
     "corrupt or truncated PNG"},
    {"rows_missing.png", [] { return MakePng(16, 16, 8, 2, 3); }, "corrupt or truncated PNG"},
    {"short_header.png",
     [] {
       cli_test::PngChunk ihdr = PngHeaderChunk(4, 4, 8, 2);
       ihdr.data.pop_back();
       return PngBytes({ihdr, {"IEND", {}}});
     },
     "corrupt or truncated PNG"},
    {"promises_more.png", PromisesMorePng, "the header promises"},
};

INSTANTIATE_TEST_SUITE_P(Png, AbsurdHeader, ::testing::ValuesIn(kPngHeaders),
                         [](const ::testing::TestParamInfo<HeaderCase>& info) {
                           std::string n = info.param.name;
                           n.resize(n.find('.'));
                           return n;
                         });

// The default file of ExrRecipe with one change.
Bytes Exr(void (*edit)(ExrRecipe&)) {
  ExrRecipe s;
  edit(s);
  return ExrBytes(s);
}

const HeaderCase kExrHeaders[] = {
    {"window_inverted.exr", [] { return ExrBytes(WithWindow(5, 0, 2, 3, 0)); }, "corrupt"},
    {"window_wide.exr", [] { return ExrBytes(WithWindow(0, 0, kMaxImageSide, 0, -1)); },
     "image too large"},
    {"window_tall.exr", [] { return ExrBytes(WithWindow(0, 0, 0, kMaxImageSide, -1)); },
     "image too large"},
    {"window_whole_range.exr",
     [] { return ExrBytes(WithWindow(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 4)); }, "image too large"},
    {"window_billion_lines.exr", [] { return ExrBytes(WithWindow(0, 0, 0, 1 << 29, 0)); },
     "image too large"},
    {"window_far_away.exr",
     [] { return ExrBytes(WithWindow(INT_MAX - 3, INT_MAX - 2, INT_MAX, INT_MAX, -1)); },
     "OpenEXR"},
    {"unknown_pixel_type.exr", [] { return Exr([](ExrRecipe& s) { s.channels[0].type = 7; }); },
     "OpenEXR"},
    {"integer_colour.exr",
     [] { return Exr([](ExrRecipe& s) { for (auto& c : s.channels) c.type = 0; }); },
     "only half and float channels"},
    {"sampling_zero.exr", [] { return Exr([](ExrRecipe& s) { s.channels[1].xSampling = 0; }); },
     "OpenEXR"},
    {"subsampled.exr",
     [] {
       ExrRecipe s = WithWindow(0, 0, 3, 1, -1);
       s.channels[2].ySampling = 2;
       return ExrBytes(s);
     },
     "only half and float channels"},
    {"no_channels.exr", [] { return Exr([](ExrRecipe& s) { s.channels.clear(); }); }, "OpenEXR"},
    {"alpha_only.exr", [] { return Exr([](ExrRecipe& s) { s.channels = {{"A"}}; }); },
     "no R, G, B or Y channels"},
    {"compression_99.exr", [] { return Exr([](ExrRecipe& s) { s.compression = 99; }); }, "OpenEXR"},
    {"line_order_9.exr", [] { return Exr([](ExrRecipe& s) { s.lineOrder = 9; }); }, "OpenEXR"},
    {"tile_zero.exr",
     [] { return Exr([](ExrRecipe& s) { s.tiled = true, s.tileWidth = 0, s.tableEntries = 1; }); },
     "OpenEXR"},
    {"tile_huge.exr",
     [] {
       return Exr([](ExrRecipe& s) { s.tiled = true, s.tileWidth = s.tileHeight = 0x7FFFFFFF; });
     },
     "OpenEXR"},
    {"tile_larger_than_image.exr",
     [] { return Exr([](ExrRecipe& s) { s.tiled = true, s.tileWidth = s.tileHeight = 100000; }); },
     "OpenEXR"},
    {"offset_table_cut.exr", [] { return Exr([](ExrRecipe& s) { s.tableEntries = 1; }); },
     "OpenEXR"},
    {"offsets_past_the_end.exr", [] { return Exr([](ExrRecipe& s) { s.forcedOffset = 1ull << 40; }); },
     "OpenEXR"},
    {"offsets_negative.exr", [] { return Exr([](ExrRecipe& s) { s.forcedOffset = ~0ull - 7; }); },
     "OpenEXR"},
    {"promises_more.exr", PromisesMoreExr, "OpenEXR"},
    {"attribute_claims_2_gb.exr", AttributeClaims2GbExr, "claims 2147483632 bytes"},
    {"string_claims_2_gb.exr", StringClaims2GbExr, "string of 2147483632 bytes"},
    // The library reads a channel list to its end, whatever length it declares, and would read
    // the next attribute from the wrong place.
    {"channel_list_longer.exr", [] { return Exr([](ExrRecipe& s) { s.channelsLengthError = -9; }); },
     "is not the"},
    {"channel_list_shorter.exr", [] { return Exr([](ExrRecipe& s) { s.channelsLengthError = 4; }); },
     "is not the"},
    {"float_of_two_bytes.exr", [] { return ExrWithAttribute("gamma", "float", {0, 0}); },
     "has 2 bytes, not 4"},
    {"float_list_of_odd_length.exr",
     [] { return ExrWithAttribute("weights", "floatvector", {0, 0, 0, 0, 0, 0}); },
     "not whole floats"},
    {"preview_larger_than_attribute.exr",
     [] { return ExrWithAttribute("preview", "preview", {'\xff', '\xff', 0, 0, '\xff', '\xff', 0, 0}); },
     "preview of 65535 x 65535"},
};

INSTANTIATE_TEST_SUITE_P(Exr, AbsurdHeader, ::testing::ValuesIn(kExrHeaders),
                         [](const ::testing::TestParamInfo<HeaderCase>& info) {
                           std::string n = info.param.name;
                           n.resize(n.find('.'));
                           return n;
                         });

// Address space of this process in bytes, or -1.
long long AddressSpace() {
  std::ifstream statm("/proc/self/statm");
  long long pages = -1;
  statm >> pages;
  return pages < 0 ? -1 : pages * sysconf(_SC_PAGESIZE);
}

// Running out of memory while reading is an ImageError naming the file: anything else would end
// the tool from its reader thread. Played in a child process whose address space is capped
// below what a valid 4000 x 4000 file needs.
TEST(ReaderMemory, RunningOutIsAnErrorNamingTheFile) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any cap would leave";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any cap would leave";
#endif
#endif
  ScratchDir dir;
  const std::string path = dir / "big.png";
  cli_test::WriteBytes(path, MakePng(4000, 4000, 8, 6, 4000));  // 64 MB of pixels
  ASSERT_GT(AddressSpace(), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlim_t cap = static_cast<rlim_t>(AddressSpace() + (32ll << 20));
    const rlimit limit{cap, cap};
    int code = 4;
    if (setrlimit(RLIMIT_AS, &limit) == 0) {
      try {
        ReadImage(path);
        code = 1;
      } catch (const ImageError& e) {
        code = std::string(e.what()) == path + ": not enough memory to read it" ? 0 : 2;
      } catch (...) {
        code = 3;
      }
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  // 1: read despite the cap, 2: another message, 3: another exception, 4: no cap.
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A grey 8-bit TIFF of 9 x 7 pixels, or tiled in 16 x 16.
Bytes SmallTiff(bool tiled = false) {
  ScratchDir dir;
  cli_test::TiffRecipe r;
  r.colour = 1;
  r.tiled = tiled;
  if (!cli_test::WriteTiffFile(dir / "f.tif", r, cli_test::TiffSamples(r))) return {};
  return cli_test::FileBytes(dir / "f.tif");
}
// Plausible sizes with next to nothing behind them.
Bytes PromisesMoreTiff() {
  return cli_test::WithTiffTag(
      cli_test::WithTiffTag(cli_test::WithTiffTag(SmallTiff(), TIFFTAG_IMAGEWIDTH, 12000),
                            TIFFTAG_IMAGELENGTH, 6000),
      TIFFTAG_ROWSPERSTRIP, 6000);
}
Bytes PromisesMoreJpeg(bool progressive) {
  cli_test::JpegRecipe r;
  r.progressive = progressive;
  return cli_test::WithJpegSize(cli_test::JpegBytes(r), 20000, 8000);
}

const HeaderCase kTiffJpegHeaders[] = {
    {"wide.tif", [] { return cli_test::WithTiffTag(SmallTiff(), TIFFTAG_IMAGEWIDTH, kMaxImageSide + 1); },
     "image too large"},
    {"strip_past_end.tif",
     [] { return cli_test::WithTiffTag(SmallTiff(), TIFFTAG_STRIPOFFSETS, 0x7FFFFFF0u); },
     "corrupt or truncated TIFF"},
    {"bits_12.tif", [] { return cli_test::WithTiffTag(SmallTiff(), TIFFTAG_BITSPERSAMPLE, 12); },
     "unsupported TIFF: 12-bit integer samples"},
    {"cmyk.tif", [] { return cli_test::WithTiffTag(SmallTiff(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED); },
     "unsupported TIFF: CMYK"},
    {"huge_tiles.tif",
     [] {
       return cli_test::WithTiffTag(cli_test::WithTiffTag(SmallTiff(true), TIFFTAG_TILEWIDTH, 16384),
                                    TIFFTAG_TILELENGTH, 16384);
     },
     "larger than the reader takes"},
    // libtiff reads an 8-bit palette file whose colormap is missing, or too short for its bits,
    // as grey.
    {"palette_without_colormap.tif", [] { return OneSampleTiff(8, COMPRESSION_NONE, 0); },
     "corrupt TIFF (palette colour without a colormap"},
    {"colormap_too_short.tif",
     [] { return cli_test::WithTiffTag(OneSampleTiff(4, COMPRESSION_NONE, 16), TIFFTAG_BITSPERSAMPLE, 8); },
     "corrupt TIFF (palette colour without a colormap"},
    {"palette_16_bit.tif", [] { return OneSampleTiff(16, COMPRESSION_NONE, 65536); },
     "unsupported TIFF: 16-bit palette indexes"},
    {"fax_8_bit.tif",
     [] { return cli_test::WithTiffTag(OneSampleTiff(1, COMPRESSION_CCITTFAX4, -1), TIFFTAG_BITSPERSAMPLE, 8); },
     "corrupt or truncated TIFF"},
    {"wide.jpg", [] { return cli_test::WithJpegSize(cli_test::JpegBytes({}), kMaxImageSide + 1, 8); },
     "image too large"},
    {"cmyk.jpg",
     [] {
       cli_test::JpegRecipe r;
       r.colour = JCS_CMYK;
       return cli_test::JpegBytes(r);
     },
     "unsupported JPEG: CMYK colour"},
    {"promises_more_progressive.jpg", [] { return PromisesMoreJpeg(true); }, "the header promises"},
};

INSTANTIATE_TEST_SUITE_P(TiffJpeg, AbsurdHeader, ::testing::ValuesIn(kTiffJpegHeaders),
                         cli_test::FileCaseName<HeaderCase>);

// Peak resident memory of this process, in bytes, since the last ResetPeakMemory().
long long PeakMemory() { return test_support::StatusBytes("VmHWM"); }
bool ResetPeakMemory() { return test_support::ResetPeakResident(); }

// A QOI promising 8000 x 8000 pixels in 122 bytes: colour runs and the end marker. Its decoder
// fills every pixel it promises, whatever the file holds.
Bytes PromisesMoreQoi() {
  Bytes b = {'q', 'o', 'i', 'f'};
  cli_test::PutBE32(&b, 8000);
  cli_test::PutBE32(&b, 8000);
  b.insert(b.end(), {4, 0});
  b.insert(b.end(), 100, char(0xFD));  // runs of 62 pixels
  b.insert(b.end(), 7, 0);
  b.push_back(1);
  return b;
}

struct MemoryCase {
  const char* name;
  Bytes (*make)();
};

std::ostream& operator<<(std::ostream& out, const MemoryCase& c) { return out << c.name; }

class ClaimedSize : public ::testing::TestWithParam<MemoryCase> {};

// Memory follows what the file holds, not what its header claims: a few hundred bytes must not
// cost hundreds of megabytes on the way to being refused.
TEST_P(ClaimedSize, CommitsNoMemoryTheFileCannotFill) {
  ScratchDir dir;
  const std::string path = dir / GetParam().name;
  cli_test::WriteBytes(path, GetParam().make());
  if (!ResetPeakMemory() || PeakMemory() < 0)
    GTEST_SKIP() << "this system does not report or reset peak memory";
  const long long before = PeakMemory();
  ReadChecked(path);
  // The readers' own working set here is a strip of rows and the libraries' buffers: a few MB.
  EXPECT_LT(PeakMemory() - before, 48ll << 20);
}

INSTANTIATE_TEST_SUITE_P(Headers, ClaimedSize,
                         ::testing::Values(MemoryCase{"promises_more.png", PromisesMorePng},
                                           MemoryCase{"promises_more.exr", PromisesMoreExr},
                                           MemoryCase{"huge_side_chunk.png", HugeSideChunkPng},
                                           MemoryCase{"attribute_claims_2_gb.exr",
                                                      AttributeClaims2GbExr},
                                           MemoryCase{"promises_more.tif", PromisesMoreTiff},
                                           MemoryCase{"promises_more.jpg",
                                                      [] { return PromisesMoreJpeg(false); }},
                                           MemoryCase{"promises_more.qoi", PromisesMoreQoi}),
                         cli_test::FileCaseName<MemoryCase>);

}  // namespace
