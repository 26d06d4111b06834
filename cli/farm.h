// The commands a render farm runs beside render: "frames" prints the frames a whole run of an
// input renders, as --frames takes them, for a job to split into ranges; "join" puts the parts
// that range runs wrote of a video back together into one (docs/farm.md).
#pragma once

#include <ostream>
#include <string>

#include "cli/command_line.h"

namespace fxaa_cli {

// Prints "FIRST-LAST" to `out`: 1 to the frame count of a video (found without decoding it), or
// the first to the last file of a numbered sequence. Returns the exit status; throws ImageError
// or UsageError.
int RunFrames(const std::string& input, std::ostream& out);

// Joins the parts; messages to `err`, and one line when done unless `quiet`. Returns the exit
// status; throws ImageError or UsageError.
int RunJoin(const JoinArgs& args, bool quiet, std::ostream& err);

}  // namespace fxaa_cli
