// DPX through libavcodec: 8, 10, 12 and 16-bit RGB and RGBA (and grey), either byte order. The
// output keeps the input DPX's bits, byte order, pixel aspect, frame rate and time code, or is
// big-endian at the depth the image has (--depth 10 and 12 choose those). libavcodec's encoder
// writes the generic header only; the frame rate and time code go into the film and television
// headers added after it, where its decoder reads them. The written file is read back before
// it counts as written.
#include <algorithm>
#include <cstring>

#include "cli/formats/stills/still_codec.h"

namespace fxaa_cli {

namespace {


// What a DPX keeps beyond its pixels.
struct DpxDetails : FormatDetails {
  bool bigEndian = true;
  int bits = 16;
  std::string timecode;  // "hh:mm:ss:ff", ';' before the frames when drop-frame; "" when none
  int rateNumerator = 0, rateDenominator = 0;
  int aspectNumerator = 0, aspectDenominator = 1;
};

bool IsDpx(const uint8_t* head, size_t size) {
  return size >= 4 && (std::memcmp(head, "SDPX", 4) == 0 || std::memcmp(head, "XPDS", 4) == 0);
}

const StillCodec kDpx = {"DPX", "dpx", "dpx", IsDpx};

constexpr size_t kGenericHeader = 1664;  // file, image and orientation information

Image ReadDpx(const std::string& path) {
  StillPicture picture = ReadStill(path, kDpx);
  auto details = std::make_shared<DpxDetails>();
  details->bigEndian = picture.head.size() >= 4 && std::memcmp(picture.head.data(), "SDPX", 4) == 0;
  details->bits = picture.bits;
  const auto timecode = picture.metadata.find("timecode");
  if (timecode != picture.metadata.end()) details->timecode = timecode->second;
  details->rateNumerator = picture.rateNumerator;
  details->rateDenominator = picture.rateDenominator;
  details->aspectNumerator = picture.aspectNumerator;
  details->aspectDenominator = picture.aspectDenominator;
  picture.image.details = details;
  return picture.image;
}

// The bits a sample is written with: the input DPX's, else those --depth names, else the
// image type's.
int BitsOf(SampleType type, const WriteOptions& options, const DpxDetails* details) {
  if (type == SampleType::kUInt8) return 8;
  if (options.overrideType) return options.bits != 0 ? options.bits : 16;
  if (details != nullptr && (details->bits == 10 || details->bits == 12)) return details->bits;
  return 16;
}

// The encoder's pixel format. It packs 10 and 12 bits only as planar RGB: grey and alpha take 16.
std::string PixelFormat(ChannelLayout layout, int bits, bool bigEndian) {
  const char* order = bigEndian ? "be" : "le";
  if (bits == 8) {
    static const char* const kBytes[] = {"gray", "rgba", "rgb24", "rgba"};
    return kBytes[static_cast<int>(layout)];
  }
  if (layout == ChannelLayout::kRGB && (bits == 10 || bits == 12))
    return "gbrp" + std::to_string(bits) + order;
  static const char* const kWords[] = {"gray16", "rgba64", "rgb48", "rgba64"};
  return kWords[static_cast<int>(layout)] + std::string(order);
}

// `value` at `at` in the file's byte order.
void Put32(std::vector<uint8_t>* file, size_t at, uint32_t value, bool bigEndian) {
  for (int i = 0; i < 4; ++i)
    (*file)[at + i] = static_cast<uint8_t>(value >> (bigEndian ? 24 - 8 * i : 8 * i));
}

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// "hh:mm:ss:ff" (';' or '.' before the frames when drop-frame) as DPX's binary-coded decimal
// word, the drop-frame flag in the frames' byte as SMPTE 12M has it; 0xFFFFFFFF, DPX's "not
// set", for anything else.
uint32_t TimecodeWord(const std::string& text) {
  if (text.size() != 11) return 0xFFFFFFFF;
  uint32_t word = 0;
  for (int field = 0; field < 4; ++field) {
    const char tens = text[3 * field], units = text[3 * field + 1];
    if (tens < '0' || tens > '9' || units < '0' || units > '9') return 0xFFFFFFFF;
    word = word << 8 | uint32_t(tens - '0') << 4 | uint32_t(units - '0');
  }
  if (text[8] == ';' || text[8] == '.') word |= 0x40;
  return word;
}

// Turns the generic header libavcodec wrote into the other byte order: its encoder writes 8-bit
// files little-endian whatever is asked, and 8-bit samples are bytes either way. Every numeric
// field is turned, set or not: the file and image information headers (eight image elements of
// 72 bytes) and the orientation header.
void SwapGenericHeader(std::vector<uint8_t>* file) {
  const auto swap = [file](size_t at, size_t bytes) {
    std::reverse(file->begin() + at, file->begin() + at + bytes);
  };
  for (size_t at : {0, 4, 16, 20, 24, 28, 32, 660, 772, 776}) swap(at, 4);
  for (size_t at : {768, 770}) swap(at, 2);
  for (size_t element = 780; element < 780 + 8 * 72; element += 72) {
    for (size_t at : {0, 4, 8, 12, 16, 28, 32, 36}) swap(element + at, 4);
    for (size_t at : {24, 26}) swap(element + at, 2);
  }
  for (size_t at = 1408; at < 1432; at += 4) swap(at, 4);  // offsets, centre, original size
  for (size_t at = 1620; at < 1628; at += 2) swap(at, 2);  // border
  for (size_t at = 1628; at < 1644; at += 4) swap(at, 4);  // pixel aspect, scanned size
}

// Inserts the film and television headers after the generic header libavcodec wrote, holding
// the frame rate (in both, as the field reads either) and the time code; every other field of
// theirs says "not set".
void AddIndustryHeaders(std::vector<uint8_t>* file, const DpxDetails& details, bool bigEndian) {
  constexpr size_t kGeneric = kGenericHeader, kIndustry = 384, kFilm = 1664, kTelevision = 1920;
  std::vector<uint8_t> headers(kIndustry, 0xFF);
  // Text fields are empty, not all ones: the film's codes and format, its frame id and slate.
  std::memset(&headers[1664 - kFilm], 0, 48);
  std::memset(&headers[1732 - kFilm], 0, 188);
  std::memset(&headers[1972 - kFilm], 0, 76);
  file->insert(file->begin() + kGeneric, headers.begin(), headers.end());
  if (details.rateNumerator > 0 && details.rateDenominator > 0) {
    const uint32_t rate = FloatBits(float(details.rateNumerator) / float(details.rateDenominator));
    Put32(file, 1724, rate, bigEndian);
    Put32(file, kTelevision + 20, rate, bigEndian);
  }
  Put32(file, kTelevision, TimecodeWord(details.timecode), bigEndian);
  const uint32_t offset = kGeneric + kIndustry;
  Put32(file, 4, offset, bigEndian);    // image data offset
  Put32(file, 16, static_cast<uint32_t>(file->size()), bigEndian);
  Put32(file, 28, kIndustry, bigEndian);
  Put32(file, 808, offset, bigEndian);  // the image element's data offset
}

// Reads the file just written at `path` as a reader would, and checks that it holds what was
// meant: an encoder and the headers added after it could agree on a file that reads otherwise.
// `industry` is the details whose film and television headers were added, or null.
void CheckReadsBack(const std::string& path, const Image& image, int bits, bool bigEndian,
                    const DpxDetails* industry) {
  const std::string failed = path + ": written, but ";
  StillPicture back;
  try {
    back = ReadStill(path, kDpx);
  } catch (const ImageError& e) {
    std::string why = e.what();
    if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
    throw ImageError(failed + "cannot be read back: " + why);
  }
  std::string wrong;
  if (back.image.width != image.width || back.image.height != image.height)
    wrong = "its size";
  else if (back.bits != bits)
    wrong = "its bits a sample";
  else if ((std::memcmp(back.head.data(), "SDPX", 4) == 0) != bigEndian)
    wrong = "its byte order";
  else if (industry != nullptr && industry->rateNumerator > 0 && back.rateNumerator <= 0)
    wrong = "its frame rate";
  else if (industry != nullptr && TimecodeWord(industry->timecode) != 0xFFFFFFFF &&
           back.metadata["timecode"] != industry->timecode)
    wrong = "its time code";
  if (!wrong.empty()) throw ImageError(failed + wrong + " reads back otherwise");
}

void WriteDpx(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions& options) {
  const auto* details = dynamic_cast<const DpxDetails*>(image.details.get());
  const bool bigEndian = details == nullptr || details->bigEndian;
  StillEncoding encoding;
  const int bits = BitsOf(type, options, details);
  encoding.pixelFormat = PixelFormat(layout, bits, bigEndian);
  if (details != nullptr) {
    encoding.aspectNumerator = details->aspectNumerator;
    encoding.aspectDenominator = details->aspectDenominator;
  }
  std::vector<uint8_t> file = EncodeStill(image, layout, kDpx, encoding, path);
  if (file.size() < kGenericHeader) throw ImageError(path + ": cannot write DPX: no header");
  if (bigEndian != (std::memcmp(file.data(), "SDPX", 4) == 0)) SwapGenericHeader(&file);
  const bool industry =
      details != nullptr && (!details->timecode.empty() || details->rateNumerator > 0);
  if (industry) AddIndustryHeaders(&file, *details, bigEndian);
  WriteFileBytes(path, file);
  CheckReadsBack(path, image, bits, bigEndian, industry ? details : nullptr);
}

}  // namespace

const Format& DpxFormat() {
  static const Format format = {"DPX", {".dpx"}, {SampleType::kUInt8, SampleType::kUInt16},
                                /*storesAlpha=*/true, IsDpx, ReadDpx, WriteDpx, /*options=*/{}};
  return format;
}

}  // namespace fxaa_cli
