#include "tests/windows/binary_readers.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace wintest {
namespace {

// Bounds-checked little-endian reads; a read past the end throws, and the readers turn that
// into their error.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  size_t size() const { return bytes_.size(); }
  void Need(uint64_t at, uint64_t count, const char* what) const {
    if (at > bytes_.size() || count > bytes_.size() - at)
      throw std::runtime_error(std::string(what) + " lies past the end of the file");
  }
  uint16_t U16(uint64_t at, const char* what) const {
    Need(at, 2, what);
    return uint16_t(bytes_[at] | bytes_[at + 1] << 8);
  }
  uint32_t U32(uint64_t at, const char* what) const {
    Need(at, 4, what);
    return uint32_t(bytes_[at]) | uint32_t(bytes_[at + 1]) << 8 | uint32_t(bytes_[at + 2]) << 16 |
           uint32_t(bytes_[at + 3]) << 24;
  }
  std::vector<uint8_t> Bytes(uint64_t at, uint64_t count, const char* what) const {
    Need(at, count, what);
    return std::vector<uint8_t>(bytes_.begin() + long(at), bytes_.begin() + long(at + count));
  }
  // A zero-terminated 8-bit string starting at `at`.
  std::string CString(uint64_t at, const char* what) const {
    std::string text;
    for (;; ++at) {
      Need(at, 1, what);
      if (bytes_[at] == 0) return text;
      text += char(bytes_[at]);
    }
  }
  // `count` UTF-16 units at `at`, ASCII kept and everything else as '?'.
  std::string Utf16(uint64_t at, uint64_t count, const char* what) const {
    std::string text;
    for (uint64_t i = 0; i < count; ++i) {
      const uint16_t unit = U16(at + 2 * i, what);
      text += unit < 0x80 ? char(unit) : '?';
    }
    return text;
  }

 private:
  const std::vector<uint8_t>& bytes_;
};

// A .res type or name field: 0xFFFF then a 16-bit id, or a zero-terminated UTF-16 string.
// Returns the offset just past it.
uint64_t ReadResKey(const Reader& r, uint64_t at, ResourceKey* key) {
  if (r.U16(at, "resource type or name") == 0xFFFF) {
    key->isString = false;
    key->id = r.U16(at + 2, "resource id");
    return at + 4;
  }
  key->isString = true;
  uint64_t end = at;
  while (r.U16(end, "resource name") != 0) end += 2;
  key->text = r.Utf16(at, (end - at) / 2, "resource name");
  return end + 2;
}

uint64_t AlignUp(uint64_t value, uint64_t to) { return (value + to - 1) / to * to; }

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

// The file offset of `size` bytes at `rva`, which must lie within one section's raw data.
uint64_t FileOffset(const std::vector<Section>& sections, uint64_t rva, uint64_t size,
                    const char* what) {
  for (const Section& s : sections) {
    if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize &&
        size <= s.rawSize - (rva - s.virtualAddress))
      return s.rawOffset + (rva - s.virtualAddress);
  }
  throw std::runtime_error(std::string(what) + " is outside every section's data");
}

// Walks one level of the resource tree (type, then name, then language).
void ReadResourceLevel(const Reader& r, const std::vector<Section>& sections, uint64_t base,
                       uint32_t directoryOffset, int level, Resource partial,
                       std::vector<Resource>* out) {
  if (level > 2) throw std::runtime_error("resource tree deeper than type, name, language");
  const uint64_t dir = base + directoryOffset;
  const uint32_t entries = uint32_t(r.U16(dir + 12, "resource directory")) +
                           r.U16(dir + 14, "resource directory");
  for (uint32_t i = 0; i < entries; ++i) {
    const uint64_t entry = dir + 16 + 8 * uint64_t(i);
    const uint32_t name = r.U32(entry, "resource entry");
    const uint32_t target = r.U32(entry + 4, "resource entry");
    ResourceKey key;
    if (name & 0x80000000u) {
      const uint64_t at = base + (name & 0x7FFFFFFFu);
      key.isString = true;
      key.text = r.Utf16(at + 2, r.U16(at, "resource name"), "resource name");
    } else {
      key.id = name;
    }
    Resource next = partial;
    if (level == 0) next.type = key;
    if (level == 1) next.name = key;
    if (level == 2) next.language = key.id;
    if (target & 0x80000000u) {
      ReadResourceLevel(r, sections, base, target & 0x7FFFFFFFu, level + 1, next, out);
    } else {
      if (level != 2) throw std::runtime_error("resource data above the language level");
      const uint64_t data = base + target;
      const uint32_t rva = r.U32(data, "resource data entry");
      const uint32_t size = r.U32(data + 4, "resource data entry");
      next.data = r.Bytes(FileOffset(sections, rva, size, "resource data"), size, "resource data");
      out->push_back(next);
    }
  }
}

}  // namespace

bool ReadResFile(const std::vector<uint8_t>& file, std::vector<Resource>* resources,
                 std::string* error) {
  resources->clear();
  try {
    const Reader r(file);
    uint64_t at = 0;
    while (at < r.size()) {
      const uint32_t dataSize = r.U32(at, "resource header");
      const uint32_t headerSize = r.U32(at + 4, "resource header");
      Resource resource;
      uint64_t field = ReadResKey(r, at + 8, &resource.type);
      field = AlignUp(ReadResKey(r, field, &resource.name), 4);
      // DataVersion (4), MemoryFlags (2), LanguageId (2), Version (4), Characteristics (4).
      resource.language = r.U16(field + 6, "resource header");
      if (field + 16 != at + headerSize)
        throw std::runtime_error("resource header size " + std::to_string(headerSize) +
                                 " does not match its fields");
      resource.data = r.Bytes(at + headerSize, dataSize, "resource data");
      resources->push_back(resource);
      at = AlignUp(at + headerSize + dataSize, 4);
    }
  } catch (const std::exception& e) {
    *error = e.what();
    return false;
  }
  return true;
}

bool ReadPeImage(const std::vector<uint8_t>& file, PeImage* image, std::string* error) {
  *image = PeImage{};
  try {
    const Reader r(file);
    if (r.U16(0, "DOS header") != 0x5A4D) throw std::runtime_error("no MZ signature");
    const uint32_t pe = r.U32(0x3C, "DOS header");
    if (r.U32(pe, "PE signature") != 0x00004550) throw std::runtime_error("no PE signature");
    const uint64_t coff = pe + 4;
    image->machine = r.U16(coff, "file header");
    const uint16_t sectionCount = r.U16(coff + 2, "file header");
    const uint16_t optionalSize = r.U16(coff + 16, "file header");
    image->characteristics = r.U16(coff + 18, "file header");
    const uint64_t optional = coff + 20;
    image->optionalMagic = r.U16(optional, "optional header");
    if (image->optionalMagic != 0x20B) throw std::runtime_error("not a PE32+ (64-bit) image");
    const uint32_t directoryCount = r.U32(optional + 108, "optional header");

    std::vector<Section> sections;
    const uint64_t sectionTable = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
      const uint64_t s = sectionTable + 40 * uint64_t(i);
      sections.push_back({r.U32(s + 12, "section header"), r.U32(s + 8, "section header"),
                          r.U32(s + 16, "section header"), r.U32(s + 20, "section header")});
      r.Need(sections.back().rawOffset, sections.back().rawSize, "section data");
    }
    auto directory = [&](uint32_t index, uint32_t* rva, uint32_t* size) {
      *rva = *size = 0;
      if (index >= directoryCount) return false;
      *rva = r.U32(optional + 112 + 8 * index, "data directory");
      *size = r.U32(optional + 116 + 8 * index, "data directory");
      return *rva != 0;
    };
    auto string_at = [&](uint32_t rva, const char* what) {
      return r.CString(FileOffset(sections, rva, 1, what), what);
    };

    uint32_t rva = 0, size = 0;
    if (directory(0, &rva, &size)) {
      const uint64_t exports = FileOffset(sections, rva, 40, "export directory");
      image->exportedFunctions = r.U32(exports + 20, "export directory");
      const uint32_t names = r.U32(exports + 24, "export directory");
      const uint32_t nameTable = r.U32(exports + 32, "export directory");
      for (uint32_t i = 0; i < names; ++i) {
        const uint64_t entry = FileOffset(sections, nameTable + 4 * uint64_t(i), 4, "export name table");
        image->exportNames.push_back(string_at(r.U32(entry, "export name table"), "export name"));
      }
    }
    if (directory(1, &rva, &size)) {
      for (uint64_t d = rva;; d += 20) {
        const uint64_t at = FileOffset(sections, d, 20, "import descriptor");
        const uint32_t name = r.U32(at + 12, "import descriptor");
        if (name == 0 && r.U32(at + 16, "import descriptor") == 0) break;
        image->importedDlls.push_back(string_at(name, "imported library name"));
      }
    }
    if (directory(2, &rva, &size)) {
      const uint64_t base = FileOffset(sections, rva, size, "resource directory");
      ReadResourceLevel(r, sections, base, 0, 0, Resource{}, &image->resources);
    }
  } catch (const std::exception& e) {
    *error = e.what();
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace wintest
