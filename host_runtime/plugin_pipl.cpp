// Reading a plug-in's PiPL resource the way the host does before it calls the library: find
// the resource, check it describes an effect, and take the entry point's name from it. The
// parser is plain C++ so the same code can be checked against resource bytes on any platform.
#include "host_runtime/plugin_pipl.h"

#include <cstdio>
#include <cstring>
#include <set>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace host_runtime {
namespace {

constexpr uint32_t kVendor = FourCC("8BIM");
constexpr size_t kHeaderBytes = 2 + 4 + 4;
constexpr size_t kPropertyHeaderBytes = 16;

// Little-endian 32-bit word at p.
uint32_t Word32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Little-endian 16-bit word at p.
uint32_t Word16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

// A four-character code as text, with unprintable bytes as '?', for messages.
std::string CodeText(uint32_t code) {
  std::string text(4, '?');
  for (int i = 0; i < 4; ++i) {
    const char c = char((code >> (24 - 8 * i)) & 0xFF);
    if (c >= 0x20 && c < 0x7F) text[size_t(i)] = c;
  }
  return "'" + text + "'";
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", unsigned(value));
  return text;
}

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = "malformed PiPL resource: " + reason;
  return false;
}

// A counted string: one length byte, then that many characters, inside `length` bytes.
bool CountedString(const uint8_t* value, uint32_t length, uint32_t key, std::string* out,
                   std::string* error) {
  if (length < 1 || value[0] > length - 1)
    return Fail(error, CodeText(key) + " holds no counted string of its length");
  out->assign(reinterpret_cast<const char*>(value + 1), value[0]);
  return true;
}

// A zero-terminated, non-empty string inside `length` bytes.
bool TerminatedString(const uint8_t* value, uint32_t length, uint32_t key, std::string* out,
                      std::string* error) {
  const void* end = std::memchr(value, 0, length);
  if (end == nullptr) return Fail(error, CodeText(key) + " has no terminating zero");
  out->assign(reinterpret_cast<const char*>(value), static_cast<const uint8_t*>(end) - value);
  if (out->empty()) return Fail(error, CodeText(key) + " names no entry point");
  return true;
}

// A property that holds one 32-bit word.
bool WordProperty(const uint8_t* value, uint32_t length, uint32_t key, uint32_t* out,
                  std::string* error) {
  if (length != 4)
    return Fail(error, CodeText(key) + " has length " + std::to_string(length) + ", not 4");
  *out = Word32(value);
  return true;
}

// One property of ours into its field of `pipl`; others are skipped.
bool ReadProperty(const uint8_t* value, uint32_t length, uint32_t key, PluginPipl* pipl,
                  std::string* error) {
  switch (key) {
    case FourCC("kind"): return WordProperty(value, length, key, &pipl->kind, error);
    case FourCC("name"): return CountedString(value, length, key, &pipl->name, error);
    case FourCC("catg"): return CountedString(value, length, key, &pipl->category, error);
    case FourCC("eMNA"): return CountedString(value, length, key, &pipl->matchName, error);
    case FourCC("8664"): return TerminatedString(value, length, key, &pipl->entryPoint, error);
    case FourCC("eVER"): return WordProperty(value, length, key, &pipl->version, error);
    case FourCC("eGLO"): return WordProperty(value, length, key, &pipl->outFlags, error);
    case FourCC("eGL2"): return WordProperty(value, length, key, &pipl->outFlags2, error);
    default: return true;
  }
}

}  // namespace

bool ParsePipl(const void* data, size_t size, PluginPipl* pipl, std::string* error) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  *pipl = PluginPipl{};
  if (bytes == nullptr || size < kHeaderBytes)
    return Fail(error, std::to_string(size) + " bytes, too short for its header");
  if (Word16(bytes) != 1)
    return Fail(error, "format word " + std::to_string(Word16(bytes)) + ", expected 1");
  if (Word32(bytes + 2) != 0)
    return Fail(error, "property list version " + std::to_string(Word32(bytes + 2)) + ", expected 0");
  const uint32_t count = Word32(bytes + 6);

  std::set<uint32_t> seen;
  size_t at = kHeaderBytes;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - at < kPropertyHeaderBytes)
      return Fail(error, "property " + std::to_string(i + 1) + " of " + std::to_string(count) +
                             " runs past the end");
    const uint32_t vendor = Word32(bytes + at);
    const uint32_t key = Word32(bytes + at + 4);
    const uint32_t length = Word32(bytes + at + 12);
    const uint64_t padded = (uint64_t(length) + 3) & ~uint64_t(3);
    at += kPropertyHeaderBytes;
    if (padded > size - at)
      return Fail(error, CodeText(key) + " of length " + std::to_string(length) +
                             " runs past the end");
    const uint8_t* value = bytes + at;
    at += size_t(padded);
    if (vendor != kVendor) continue;
    if (!seen.insert(key).second) return Fail(error, "two " + CodeText(key) + " properties");
    if (!ReadProperty(value, length, key, pipl, error)) return false;
  }
  if (at != size)
    return Fail(error, std::to_string(size - at) + " bytes after the last of " +
                           std::to_string(count) + " properties");

  for (const char* required : {"kind", "8664", "eVER", "eGLO", "eGL2"}) {
    uint32_t key = 0;
    for (int i = 0; i < 4; ++i) key = key << 8 | uint8_t(required[i]);
    if (seen.count(key) == 0) return Fail(error, "no " + CodeText(key) + " property");
  }
  if (pipl->kind != FourCC("eFKT")) {
    if (error) *error = "not an effect plug-in: its PiPL kind is " + CodeText(pipl->kind);
    return false;
  }
  return true;
}

bool CheckGlobalSetupWords(const PluginPipl& pipl, A_u_long myVersion, PF_OutFlags outFlags,
                           PF_OutFlags2 outFlags2, std::string* error) {
  std::string differences;
  auto compare = [&](const char* what, uint32_t promised, uint32_t written) {
    if (promised == written) return;
    if (!differences.empty()) differences += "; ";
    differences += std::string(what) + " " + Hex(written) + " but the PiPL says " + Hex(promised);
  };
  compare("my_version", pipl.version, myVersion);
  compare("out_flags", pipl.outFlags, uint32_t(outFlags));
  compare("out_flags2", pipl.outFlags2, uint32_t(outFlags2));
  if (differences.empty()) return true;
  if (error) *error = "global set-up disagrees with the PiPL resource: " + differences;
  return false;
}

#if defined(_WIN32)
bool ReadPluginPipl(void* module, PluginPipl* pipl, std::string* error) {
  HMODULE library = static_cast<HMODULE>(module);
  HRSRC found = FindResourceA(library, MAKEINTRESOURCEA(kPiplResourceId), kPiplResourceType);
  if (found == nullptr) {
    if (error)
      *error = "not an After Effects plug-in: no PIPL resource " +
               std::to_string(kPiplResourceId) + " (Windows error " +
               std::to_string(GetLastError()) + ")";
    return false;
  }
  const DWORD size = SizeofResource(library, found);
  HGLOBAL loaded = LoadResource(library, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) {
    if (error)
      *error = "cannot read the PIPL resource (Windows error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return ParsePipl(data, size, pipl, error);
}

bool FindEntryPointName(void* module, std::string* name, std::string* error) {
  PluginPipl pipl;
  if (!ReadPluginPipl(module, &pipl, error)) return false;
  *name = pipl.entryPoint;
  return true;
}
#endif

}  // namespace host_runtime
