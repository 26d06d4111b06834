// The sink of a copy embedded in another program: standard error, so that nothing of ours lands
// in a standard output the host may be writing media to.
#include <iostream>

#include "gl/diagnostic_sink.h"

std::FILE* DiagnosticFile() { return stderr; }
std::ostream& DiagnosticStream() { return std::cerr; }
