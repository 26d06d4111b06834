// OpenEXR headers: per part, attributes of name, type name, 32-bit length and value, closed by an
// empty name; a multi-part file closes its list of headers with an empty header. The library
// reads most values by their type, not their declared length, and sizes strings, string lists
// and previews from the file before reading them; every such length is checked here first.
#include "cli/formats/stills/exr_header_check.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>

#include "cli/image.h"

namespace fxaa_cli {

namespace {

// Bytes the library reads for a value of each fixed-size attribute type, whatever the length.
int FixedValueSize(const std::string& type) {
  static const std::map<std::string, int> sizes = {
      {"box2f", 16},     {"box2i", 16},  {"chromaticities", 32}, {"compression", 1},
      {"deepImageState", 1}, {"double", 8}, {"envmap", 1},      {"float", 4},
      {"int", 4},        {"keycode", 28}, {"lineOrder", 1},      {"m33d", 72},
      {"m33f", 36},      {"m44d", 128},  {"m44f", 64},           {"rational", 8},
      {"tiledesc", 9},   {"timecode", 8}, {"v2d", 16},           {"v2f", 8},
      {"v2i", 8},        {"v3d", 24},    {"v3f", 12},            {"v3i", 12}};
  const auto it = sizes.find(type);
  return it == sizes.end() ? -1 : it->second;
}

class HeaderWalk {
 public:
  HeaderWalk(const std::string& path, std::ifstream& in) : path_(path), in_(in) {
    in_.seekg(0, std::ios::end);
    length_ = static_cast<long long>(in_.tellg());
    in_.seekg(0);
  }

  // The number of parts.
  int Check() {
    int parts = 0;
    Skip(4);  // magic number
    const uint32_t version = static_cast<uint32_t>(Signed32());
    const bool multiPart = (version & 0x1000) != 0;
    maxName_ = (version & 0x400) != 0 ? 255 : 31;
    do {
      bool anyAttribute = false;
      for (std::string name = Name(maxName_); !name.empty(); name = Name(maxName_)) {
        anyAttribute = true;
        const std::string type = Name(maxName_);
        const int32_t size = Signed32();
        if (size < 0 || size > Left())
          Corrupt("attribute \"" + name + "\" claims " + std::to_string(size) +
                  " bytes, more than the file holds");
        const long long end = Position() + size;
        Value(name, type, size);
        if (Position() != end)
          Corrupt("attribute \"" + name + "\" of type " + type + " is not the " +
                  std::to_string(size) + " bytes it declares");
      }
      if (!anyAttribute) break;  // the empty header that ends a multi-part list
      ++parts;
    } while (multiPart);
    return parts;
  }

 private:
  [[noreturn]] void Corrupt(const std::string& why) const {
    throw ImageError(path_ + ": corrupt or unreadable OpenEXR (" + OneLine(why) + ")");
  }
  long long Position() { return static_cast<long long>(in_.tellg()); }
  long long Left() { return length_ - Position(); }
  void Skip(long long n) {
    if (n > Left()) Corrupt("header cut short");
    in_.seekg(n, std::ios::cur);
  }
  // The next 32-bit little-endian value.
  int32_t Signed32() {
    uint8_t v[4];
    if (!in_.read(reinterpret_cast<char*>(v), 4)) Corrupt("header cut short");
    return static_cast<int32_t>(uint32_t(v[0]) | uint32_t(v[1]) << 8 | uint32_t(v[2]) << 16 |
                                uint32_t(v[3]) << 24);
  }
  // A zero-terminated name of at most `longest` characters.
  std::string Name(size_t longest) {
    std::string name;
    for (int c = in_.get(); c != 0; c = in_.get()) {
      if (c == std::char_traits<char>::eof()) Corrupt("header cut short");
      if (name.size() == longest) Corrupt("name too long");
      name.push_back(static_cast<char>(c));
    }
    return name;
  }

  // Moves over one value as the library reads it, refusing what it would misread or allocate
  // beyond the file.
  void Value(const std::string& name, const std::string& type, int32_t size) {
    const int fixed = FixedValueSize(type);
    if (fixed >= 0) {
      if (size != fixed)
        Corrupt("attribute \"" + name + "\" of type " + type + " has " + std::to_string(size) +
                " bytes, not " + std::to_string(fixed));
      if (name != "dataWindow" || type != "box2i") return Skip(fixed);
      // x min, y min, x max, y max
      const int32_t x0 = Signed32(), y0 = Signed32(), x1 = Signed32(), y1 = Signed32();
      CheckImageSize(path_, static_cast<long long>(x1) - x0 + 1,
                     static_cast<long long>(y1) - y0 + 1);
    } else if (type == "chlist") {
      // Channels until an empty name: the name (the library takes up to 255 characters here),
      // then type, linearity, three reserved bytes and two sampling factors.
      while (!Name(255).empty()) Skip(16);
    } else if (type == "preview") {
      const long long width = static_cast<uint32_t>(Signed32());
      const long long height = static_cast<uint32_t>(Signed32());
      const long long pixels = static_cast<long long>(size) - 8;
      if (pixels < 0 || (width != 0 && height > pixels / 4 / width) || 4 * width * height != pixels)
        Corrupt("preview of " + std::to_string(width) + " x " + std::to_string(height) +
                " in an attribute of " + std::to_string(size) + " bytes");
      Skip(pixels);
    } else if (type == "stringvector") {
      for (long long left = size; left > 0;) {
        const int32_t length = Signed32();
        if (length < 0 || length > left - 4)
          Corrupt("string of " + std::to_string(length) + " bytes in attribute \"" + name + "\"");
        Skip(length);
        left -= 4 + length;
      }
    } else if (type == "floatvector" && size % 4 != 0) {
      Corrupt("attribute \"" + name + "\" holds " + std::to_string(size) +
              " bytes, not whole floats");
    } else {
      Skip(size);  // strings, float lists, opaque values: read at their declared length
    }
  }

  const std::string& path_;
  std::ifstream& in_;
  long long length_ = 0;
  size_t maxName_ = 31;
};

}  // namespace

int CheckExrHeaders(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) return 0;
  return HeaderWalk(path, in).Check();
}

}  // namespace fxaa_cli
