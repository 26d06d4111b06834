// Where the effect's diagnostic lines go. The plug-in file prints them on standard output, which
// After Effects shows nowhere. A copy of the effect carried inside another program prints them on
// standard error instead, because that program's standard output may be its media stream
// (`ffmpeg ... -f nut -`). The build chooses by which sink it links into the library:
// diagnostic_sink_stdout.cpp or embedding/diagnostic_sink_stderr.cpp. A library that links
// neither does not link.
#pragma once

#include <cstdio>
#include <ostream>

// The C stream for formatted lines (context creation, program building).
std::FILE* DiagnosticFile();

// The C++ stream for the binding, target and buffer lines; the same destination as
// DiagnosticFile, so the two kinds of line keep their order.
std::ostream& DiagnosticStream();
