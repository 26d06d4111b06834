// The host's view of a plug-in resource (PiPL): After Effects reads it from the library file to
// learn what the plug-in is and which export to call, before the first call. Reading the
// resource out of a loaded library is Windows only; parsing and checking its bytes are not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/host_api.h"

namespace host_runtime {

// Resource type and id the host looks the PiPL up by.
constexpr const char* kPiplResourceType = "PIPL";
constexpr int kPiplResourceId = 16000;

// A four-character code as the resource stores it: the first character in the high byte.
constexpr uint32_t FourCC(const char (&code)[5]) {
  return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
         uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3]));
}

// What the host takes from an effect's resource.
struct PluginPipl {
  uint32_t kind = 0;
  std::string name;        // 'name', counted string
  std::string category;    // 'catg', counted string
  std::string matchName;   // 'eMNA', counted string
  std::string entryPoint;  // '8664', zero-terminated
  uint32_t version = 0;    // 'eVER'
  uint32_t outFlags = 0;   // 'eGLO'
  uint32_t outFlags2 = 0;  // 'eGL2'
};

// Parses the bytes of a PiPL resource. Refuses, with a one-line *error, anything malformed: a
// wrong format word, a property running past the end, bytes left over, a duplicate property, a
// counted or zero-terminated string that does not fit its property, a word property of the wrong
// length, a kind other than an effect, or a missing kind, entry point, eVER, eGLO or eGL2.
// Properties of other vendors are stepped over.
bool ParsePipl(const void* data, size_t size, PluginPipl* pipl, std::string* error);

// True when global set-up wrote the words the resource promised; otherwise false with *error
// naming each word that differs, both values in hex.
bool CheckGlobalSetupWords(const PluginPipl& pipl, A_u_long myVersion, PF_OutFlags outFlags,
                           PF_OutFlags2 outFlags2, std::string* error);

#if defined(_WIN32)
// Finds the PIPL resource 16000 in a loaded library (an HMODULE) and parses it.
bool ReadPluginPipl(void* module, PluginPipl* pipl, std::string* error);

// Sets *name to the entry point the library's PiPL resource names for 64-bit Windows. Returns
// false with a one-line *error when the resource is missing or malformed.
bool FindEntryPointName(void* module, std::string* name, std::string* error);
#endif

}  // namespace host_runtime
