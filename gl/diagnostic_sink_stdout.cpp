// The plug-in file's sink: standard output.
#include <iostream>

#include "gl/diagnostic_sink.h"

std::FILE* DiagnosticFile() { return stdout; }
std::ostream& DiagnosticStream() { return std::cout; }
