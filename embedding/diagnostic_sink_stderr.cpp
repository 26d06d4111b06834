// The sink of a copy embedded in another program: standard error, so that nothing of ours lands
// in a standard output the host may be writing media to. The stream is built in place on first
// use and never destroyed, and it is not std::cerr (whose header makes every file that includes
// it register the standard streams' clean-up): a guest in someone else's process registers
// nothing to run when that process exits or unloads it. Each thread's last line is kept in
// plain arrays, so no thread registers a clean-up either.
#include <cstring>
#include <new>
#include <ostream>
#include <streambuf>

#include "embedding/diagnostic_line.h"
#include "gl/diagnostic_sink.h"

namespace {

constexpr size_t kLineSize = 160;  // longer lines are kept cut
thread_local char t_building[kLineSize];
thread_local size_t t_length;
thread_local char t_last[kLineSize];

void Keep(const char* text, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (text[i] == '\n') {
      std::memcpy(t_last, t_building, t_length);
      t_last[t_length] = '\0';
      t_length = 0;
    } else if (t_length + 1 < kLineSize) {
      t_building[t_length++] = text[i];
    }
  }
}

// Hands every character straight to standard error, unbuffered as std::cerr is.
class StandardErrorBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    Keep(&ch, 1);
    return std::fputc(c, stderr) == EOF ? traits_type::eof() : c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    Keep(text, size_t(count));
    return std::streamsize(std::fwrite(text, 1, size_t(count), stderr));
  }
};

}  // namespace

std::FILE* DiagnosticFile() { return stderr; }

std::ostream& DiagnosticStream() {
  alignas(StandardErrorBuffer) static unsigned char buffer[sizeof(StandardErrorBuffer)];
  alignas(std::ostream) static unsigned char stream[sizeof(std::ostream)];
  static std::ostream* const made = new (stream) std::ostream(new (buffer) StandardErrorBuffer);
  return *made;
}

namespace fxaa_embedding {

std::string LastDiagnosticLine() { return t_last; }

void ForgetDiagnosticLine() {
  t_last[0] = '\0';
  t_length = 0;
}

}  // namespace fxaa_embedding
