#include <windows.h>

#include <io.h>
#include <signal.h>
#include <stdio.h>

#include <filesystem>
#include <iostream>
#include <streambuf>
#include <vector>

#include "cli/system.h"

namespace fxaa_cli {
namespace {

// The length of `text` without an unfinished UTF-8 sequence at its end.
size_t CompleteUtf8Length(const std::string& text) {
  size_t lead = text.size(), following = 0;
  while (lead > 0 && following < 3 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) {
    --lead;
    ++following;
  }
  if (lead == 0) return text.size();
  const unsigned char first = static_cast<unsigned char>(text[lead - 1]);
  const size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
  return following + 1 < length ? lead - 1 : text.size();
}

// UTF-8 text onto a console as UTF-16: the console shows every character, whatever its code
// page, and nothing of the console's state changes. A character split between two writes waits
// for its last byte.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof()))
      pending_.push_back(traits_type::to_char_type(c));
    return sync() == 0 ? traits_type::not_eof(c) : traits_type::eof();
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, size_t(count));
    return sync() == 0 ? count : 0;
  }
  int sync() override {
    const size_t complete = CompleteUtf8Length(pending_);
    if (complete == 0) return 0;
    const int wide = MultiByteToWideChar(CP_UTF8, 0, pending_.data(), int(complete), nullptr, 0);
    std::wstring text(size_t(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pending_.data(), int(complete), text.data(), wide);
    pending_.erase(0, complete);
    DWORD written = 0;
    return WriteConsoleW(console_, text.data(), DWORD(text.size()), &written, nullptr) ? 0 : -1;
  }

 private:
  HANDLE console_;
  std::string pending_;
};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

}  // namespace

unsigned long long PhysicalMemoryBytes() {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullTotalPhys;
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessRunning(unsigned long id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

// Windows has no SIGHUP; a console closed ends the process.
std::vector<int> StopSignals() { return {SIGINT, SIGTERM}; }

// NTFS, FAT and ReFS alike.
size_t FileNameLimit(const std::string&) { return 255; }

size_t FileNameLength(const std::string& name) {
  size_t units = 0;
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++units;  // a character's first byte
    if (byte >= 0xF0) ++units;           // beyond the BMP: a surrogate pair
  }
  return units;
}

std::string ExecutablePath() {
  // Grows the buffer until the whole path fits (long paths exceed MAX_PATH).
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size())
      return std::filesystem::path(buffer.data(), buffer.data() + n).u8string();
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));  // ASCII
  return _wfopen(std::filesystem::u8path(path).c_str(), wideMode.c_str());
}

std::ostream& StandardOutput() {
  static ConsoleBuffer buffer(GetStdHandle(STD_OUTPUT_HANDLE));
  static std::ostream console(&buffer);
  return IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)) ? console : std::cout;
}

std::ostream& StandardError() {
  static ConsoleBuffer buffer(GetStdHandle(STD_ERROR_HANDLE));
  static std::ostream console(&buffer);
  return IsConsole(GetStdHandle(STD_ERROR_HANDLE)) ? console : std::cerr;
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace fxaa_cli
