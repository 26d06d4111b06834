// The installer's PATH editor: adds a folder to the system PATH, or takes it out again, reading
// and writing the registry value whole, whatever its length (the installer's own strings hold
// 1,024 characters at most). The value keeps its type (REG_EXPAND_SZ or REG_SZ) and every other
// entry byte for byte; where that cannot be promised it is left untouched.
//
//   fxaa-path add FOLDER      0 added, 1 already there, 2 left unchanged, 3 failed
//   fxaa-path remove FOLDER   0 removed, 1 not there, 2 left unchanged, 3 failed
//
// On 2 and 3 standard output holds why, in one line of ASCII (the installer words the rest).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "installer/path_list.h"

namespace {

constexpr wchar_t kEnvironmentKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr wchar_t kPathValue[] = L"Path";
// The longest environment variable Windows passes to a program, its terminator included.
constexpr size_t kLongestVariable = 32767;

enum Outcome { kChanged = 0, kNothingToDo = 1, kLeftUnchanged = 2, kFailed = 3 };

struct RegistryValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

// A string value: its text, and the terminators after it (usually one; a value may have none or
// more, which a write keeps, so that the bytes come back exactly).
struct PathText {
  std::wstring text;
  size_t terminators = 1;
};

// Prints why the PATH stayed as it was and returns `outcome`.
int Refuse(Outcome outcome, const char* why) {
  std::printf("%s\n", why);
  return outcome;
}

// Whether two folder names are the same for the file system: ordinal, case aside.
bool SameName(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// Reads the whole value, at its own size (ERROR_FILE_NOT_FOUND when there is none).
LSTATUS ReadValue(HKEY key, RegistryValue* value) {
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key, kPathValue, nullptr, &value->type, nullptr, &size);
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    value->bytes.resize(size);
    status = RegQueryValueExW(key, kPathValue, nullptr, &value->type, value->bytes.data(), &size);
    if (status == ERROR_SUCCESS) {
      value->bytes.resize(size);
      break;
    }  // ERROR_MORE_DATA: it grew since; size is its new size
  }
  return status;
}

// The value's text, when it is a string Windows would read whole: false for another type, an
// odd number of bytes, or a character after a terminator (text a writer of ours would drop).
bool TextOf(const RegistryValue& value, PathText* path) {
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return false;
  if (value.bytes.size() % sizeof(wchar_t) != 0) return false;
  std::wstring& text = path->text;
  text.assign(reinterpret_cast<const wchar_t*>(value.bytes.data()),
              value.bytes.size() / sizeof(wchar_t));
  path->terminators = 0;
  for (; !text.empty() && text.back() == L'\0'; ++path->terminators) text.pop_back();
  return text.find(L'\0') == std::wstring::npos;
}

// Writes `text` as the value, of `type`, with `terminators` after it, and reads it back: true
// when it reads back byte for byte.
bool WriteAndCheck(HKEY key, DWORD type, const std::wstring& text, size_t terminators) {
  const std::wstring data = text + std::wstring(terminators, L'\0');
  const BYTE* bytes = reinterpret_cast<const BYTE*>(data.data());
  const DWORD size = DWORD(data.size() * sizeof(wchar_t));
  if (RegSetValueExW(key, kPathValue, 0, type, bytes, size) != ERROR_SUCCESS) return false;
  RegistryValue back;
  return ReadValue(key, &back) == ERROR_SUCCESS && back.type == type &&
         back.bytes == std::vector<BYTE>(bytes, bytes + size);
}

// Puts the value's original bytes back after a write that did not read back right.
void Restore(HKEY key, const RegistryValue& original, bool existed) {
  if (existed)
    RegSetValueExW(key, kPathValue, 0, original.type, original.bytes.data(),
                   DWORD(original.bytes.size()));
  else
    RegDeleteValueW(key, kPathValue);
}

// The length `text` takes once its %VARIABLES% are expanded, terminator included.
size_t ExpandedLength(const std::wstring& text, DWORD type) {
  if (type != REG_EXPAND_SZ) return text.size() + 1;
  return ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
}

int Edit(bool add, const std::wstring& folder) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return Refuse(kFailed, "the environment's registry key cannot be opened for writing");
  RegistryValue original;
  const LSTATUS read = ReadValue(key, &original);
  const bool existed = read == ERROR_SUCCESS;
  int outcome = kChanged;
  PathText path;
  if (!existed && read != ERROR_FILE_NOT_FOUND) {
    outcome = Refuse(kFailed, "the PATH cannot be read");
  } else if (existed && !TextOf(original, &path)) {
    outcome = Refuse(kLeftUnchanged, "the PATH is not a plain text value");
  } else if (add == path_list::Contains(path.text, folder, SameName)) {
    outcome = kNothingToDo;
  } else {
    const DWORD type = existed ? original.type : REG_EXPAND_SZ;
    const std::wstring changed = add ? path_list::WithEntry(path.text, folder)
                                     : path_list::WithoutEntry(path.text, folder, SameName);
    if (add && (changed.size() + 1 > kLongestVariable ||
                ExpandedLength(changed, type) > kLongestVariable)) {
      outcome = Refuse(kLeftUnchanged,
                       "the PATH would grow past the 32,767 characters Windows "
                       "passes to programs");
    } else if (!WriteAndCheck(key, type, changed, path.terminators)) {
      Restore(key, original, existed);
      outcome = Refuse(kFailed, "the PATH could not be written, or did not read back as written");
    }
  }
  RegCloseKey(key);
  if (outcome == kChanged) {
    // Explorer, and programs started from it afterwards, take the new PATH.
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG, 5000, nullptr);
  }
  return outcome;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc == 3 ? argv[1] : L"";
  if (command != L"add" && command != L"remove") {
    std::printf("usage: fxaa-path add|remove FOLDER\n");
    return kFailed;
  }
  const std::wstring folder = argv[2];
  if (folder.empty() || folder.find(L';') != std::wstring::npos)
    return Refuse(kLeftUnchanged, "the folder's name is empty or holds a ';'");
  return Edit(command == L"add", folder);
}
