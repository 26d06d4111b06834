// Small readers for the two Windows binary formats the resource tests look into: the .res file
// windres writes, and the PE image of the built plug-in. Both check every offset they follow,
// so a damaged file is an error, never a crash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wintest {

// A resource type or name: a number, or a string (ASCII here; other characters become '?').
struct ResourceKey {
  bool isString = false;
  uint32_t id = 0;
  std::string text;
};

struct Resource {
  ResourceKey type;
  ResourceKey name;
  uint32_t language = 0;
  std::vector<uint8_t> data;
};

// Reads every resource of a .res file (RESOURCEHEADER records), the empty leading record
// included.
bool ReadResFile(const std::vector<uint8_t>& file, std::vector<Resource>* resources,
                 std::string* error);

struct PeImage {
  uint16_t machine = 0;
  uint16_t characteristics = 0;
  uint16_t optionalMagic = 0;
  uint32_t exportedFunctions = 0;          // NumberOfFunctions of the export directory
  std::vector<std::string> exportNames;    // the export directory's name table
  std::vector<std::string> importedDlls;   // as the import descriptors name them
  std::vector<Resource> resources;         // the resource tree's leaves
};

// Reads the headers, exports, imports and resources of a PE32+ image.
bool ReadPeImage(const std::vector<uint8_t>& file, PeImage* image, std::string* error);

// The whole file, or false with *error.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

}  // namespace wintest
