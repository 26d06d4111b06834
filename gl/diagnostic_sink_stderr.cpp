// The sink of a copy embedded in another program: standard error, so that nothing of ours lands
// in a standard output the host may be writing media to. The stream is built in place on first
// use and never destroyed, and it is not std::cerr (whose header makes every file that includes
// it register the standard streams' clean-up): a guest in someone else's process registers
// nothing to run when that process exits or unloads it.
#include <new>
#include <ostream>
#include <streambuf>

#include "gl/diagnostic_sink.h"

namespace {

// Hands every character straight to standard error, unbuffered as std::cerr is.
class StandardErrorBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return std::fputc(c, stderr) == EOF ? traits_type::eof() : c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
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
