// OpenEXR through the library's C++ interface: scan-line or tiled files, half or float channels,
// R G B [A] or Y [A]. The input header is kept so that the output carries the same windows,
// compression and attributes.
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "cli/formats/stills/exr_header_check.h"
#include "cli/formats/format.h"

namespace fxaa_cli {

namespace {

struct ExrHeader : FormatDetails {
  Imf::Header header;
};

// Scan lines read per call: at most 8 MB of pixels at the widest, so that a file cut short fails
// early. (The library keeps a chunk it decoded for the next call: chunks of up to 256 lines cost
// no more read this way.)
constexpr int kStripRows = 16;

// Channel type check: half and float are read; 32-bit integer channels are not colour.
bool Readable(const Imf::Channel& channel) {
  return (channel.type == Imf::HALF || channel.type == Imf::FLOAT) && channel.xSampling == 1 &&
         channel.ySampling == 1;
}

bool IsExr(const uint8_t* head, size_t size) {
  static const uint8_t kMagic[4] = {0x76, 0x2F, 0x31, 0x01};
  return size >= 4 && std::memcmp(head, kMagic, 4) == 0;
}

// The channels read: R, G, B or Y, and A, each half or float without subsampling.
struct ExrChannels {
  bool rgb = false;
  bool alpha = false;
  bool anyFloat = false;
};

ExrChannels ReadableChannels(const std::string& path, const Imf::ChannelList& channels) {
  const Imf::Channel* r = channels.findChannel("R");
  const Imf::Channel* g = channels.findChannel("G");
  const Imf::Channel* b = channels.findChannel("B");
  const Imf::Channel* y = channels.findChannel("Y");
  const Imf::Channel* a = channels.findChannel("A");
  ExrChannels found;
  found.rgb = r && g && b;
  found.alpha = a != nullptr;
  if (!found.rgb && y == nullptr)
    throw ImageError(path + ": unsupported OpenEXR: no R, G, B or Y channels");
  const Imf::Channel* used[4] = {found.rgb ? r : y, found.rgb ? g : nullptr,
                                 found.rgb ? b : nullptr, a};
  for (const Imf::Channel* c : used) {
    if (c == nullptr) continue;
    if (!Readable(*c))
      throw ImageError(path + ": unsupported OpenEXR: only half and float channels without "
                              "subsampling are read");
    found.anyFloat |= c->type == Imf::FLOAT;
  }
  return found;
}

// The pixels, straight into the ARGB buffer a strip at a time: the library converts half to
// float. The buffer grows with the rows read, so a header that promises more scan lines than the
// file holds fails before the whole frame is committed to memory.
void ReadExrPixels(Imf::InputFile& file, const Imath::Box2i& window, bool rgb, Image* image) {
  const size_t xStride = 4 * sizeof(float);
  const size_t yStride = xStride * size_t(image->width);
  for (long long top = window.min.y; top <= window.max.y; top += kStripRows) {
    const int bottom = static_cast<int>(std::min<long long>(window.max.y, top + kStripRows - 1));
    image->AllocateRows(bottom - window.min.y + 1);
    char* base = reinterpret_cast<char*>(image->floats.data());
    Imf::FrameBuffer frame;
    frame.insert("A", Imf::Slice::Make(Imf::FLOAT, base, window, xStride, yStride, 1, 1, 1.0));
    if (rgb) {
      frame.insert("R", Imf::Slice::Make(Imf::FLOAT, base + 4, window, xStride, yStride));
      frame.insert("G", Imf::Slice::Make(Imf::FLOAT, base + 8, window, xStride, yStride));
      frame.insert("B", Imf::Slice::Make(Imf::FLOAT, base + 12, window, xStride, yStride));
    } else {
      frame.insert("Y", Imf::Slice::Make(Imf::FLOAT, base + 4, window, xStride, yStride));
    }
    file.setFrameBuffer(frame);
    file.readPixels(static_cast<int>(top), bottom);
  }
  if (!rgb) {
    for (size_t i = 0; i < image->floats.size(); i += 4)
      image->floats[i + 2] = image->floats[i + 3] = image->floats[i + 1];
  }
}

Image ReadExr(const std::string& path) {
  // The library reads a multi-part file's first part as if it were the whole file; its other
  // parts (layers, views) would be lost without a word.
  const int parts = CheckExrHeaders(path);
  if (parts > 1)
    throw ImageError(path + ": unsupported OpenEXR: " + std::to_string(parts) +
                     " parts (only single-part files are read; split the part wanted out "
                     "first, e.g. with exrmultipart -separate)");
  try {
    Imf::InputFile file(path.c_str());
    const Imf::Header& header = file.header();
    const Imath::Box2i window = header.dataWindow();
    const long long width = static_cast<long long>(window.max.x) - window.min.x + 1;
    const long long height = static_cast<long long>(window.max.y) - window.min.y + 1;
    CheckImageSize(path, width, height);
    const ExrChannels channels = ReadableChannels(path, header.channels());
    if (!file.isComplete()) throw ImageError(path + ": truncated OpenEXR (pixels missing)");

    Image image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.layout = channels.rgb ? (channels.alpha ? ChannelLayout::kRGBA : ChannelLayout::kRGB)
                                : (channels.alpha ? ChannelLayout::kYA : ChannelLayout::kY);
    image.type = channels.anyFloat ? SampleType::kFloat : SampleType::kHalf;
    auto kept = std::make_shared<ExrHeader>();
    kept->header = header;
    image.details = kept;
    ReadExrPixels(file, window, channels.rgb, &image);
    return image;
  } catch (const ImageError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;  // not the file's fault: ReadImage says so
  } catch (const std::exception& e) {
    throw ImageError(path + ": corrupt or unreadable OpenEXR (" + OneLine(e.what()) + ")");
  }
}

void WriteExr(const Image& image, const std::string& path, ChannelLayout layout, SampleType type,
              const WriteOptions&) {
  try {
    const Imath::Box2i own(Imath::V2i(0, 0), Imath::V2i(image.width - 1, image.height - 1));
    Imf::Header header(image.width, image.height);
    header.compression() = Imf::ZIP_COMPRESSION;
    const auto* kept = dynamic_cast<const ExrHeader*>(image.details.get());
    if (kept != nullptr) {
      const Imf::Header& in = kept->header;
      const Imath::Box2i w = in.dataWindow();
      if (w.max.x - w.min.x + 1 == image.width && w.max.y - w.min.y + 1 == image.height) {
        // Every attribute but those of tiling and parts: the output is scan lines in one part.
        // Copied one by one, as Header::erase (OpenEXR 3.1) drops an attribute without freeing it.
        for (auto it = in.begin(); it != in.end(); ++it) {
          const std::string name = it.name();
          if (name != "tiles" && name != "type" && name != "chunkCount" && name != "name")
            header.insert(name, it.attribute());
        }
      } else {
        // A reduced-resolution frame: the input's windows no longer apply, its look does.
        header.compression() = in.compression();
        header.lineOrder() = in.lineOrder();
      }
    }
    if (kept == nullptr) header.dataWindow() = header.displayWindow() = own;
    const Imath::Box2i window = header.dataWindow();
    const Imf::PixelType pixelType = type == SampleType::kFloat ? Imf::FLOAT : Imf::HALF;

    // In PackRow's order: Y or R G B, then A.
    std::vector<std::string> names = IsGrey(layout) ? std::vector<std::string>{"Y"}
                                                    : std::vector<std::string>{"R", "G", "B"};
    if (HasAlpha(layout)) names.push_back("A");

    Imf::ChannelList list;
    for (const std::string& name : names) list.insert(name, Imf::Channel(pixelType));
    header.channels() = list;

    const size_t sampleBytes = SampleBytes(type);
    const size_t pixelBytes = names.size() * sampleBytes;
    const size_t rowBytes = pixelBytes * size_t(image.width);
    std::vector<uint8_t> samples(rowBytes * size_t(image.height));
    for (int y = 0; y < image.height; ++y)
      PackRow(image, y, layout, type, samples.data() + size_t(y) * rowBytes);

    Imf::FrameBuffer frame;
    for (size_t c = 0; c < names.size(); ++c) {
      const char* data = reinterpret_cast<const char*>(samples.data() + c * sampleBytes);
      frame.insert(names[c], Imf::Slice::Make(pixelType, data, window, pixelBytes, rowBytes));
    }
    Imf::OutputFile file(path.c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(image.height);
  } catch (const ImageError&) {
    throw;
  } catch (const std::exception& e) {
    throw ImageError(path + ": cannot write OpenEXR (" + OneLine(e.what()) + ")");
  }
}

}  // namespace

const Format& ExrFormat() {
  static const Format format = {"OpenEXR", {".exr"}, {SampleType::kHalf, SampleType::kFloat},
                                /*storesAlpha=*/true, IsExr, ReadExr, WriteExr, /*options=*/{}};
  return format;
}

}  // namespace fxaa_cli
