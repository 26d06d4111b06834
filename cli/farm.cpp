#include "cli/farm.h"

#include <filesystem>

#include "cli/app.h"
#include "cli/batch_plan.h"
#include "cli/formats/format.h"
#include "cli/video/video.h"
#include "cli/sequence.h"

namespace fxaa_cli {

namespace fs = std::filesystem;

namespace {

// Whether two names are one file (the second may not exist yet).
bool SameFile(const std::string& a, const std::string& b) {
  return FileIdentity(a) == FileIdentity(b);
}

}  // namespace

int RunFrames(const std::string& input, std::ostream& out) {
  FramePattern pattern;
  if (ParsePattern(input, &pattern)) {
    const std::vector<int> found = ScanFrames(pattern);
    if (found.empty()) throw ImageError(input + ": no files match this sequence");
    out << found.front() << "-" << found.back() << "\n";
    return kExitOk;
  }
  if (!fs::exists(fs::u8path(input))) throw ImageError(input + ": no such file");
  if (FramesFormatOf(input) == nullptr)
    throw UsageError(input + ": one image: give a video or a numbered sequence (shot.%04d.exr)");
  const VideoFrameIndex index(input);
  if (index.count() == 0) throw ImageError(input + ": no frames in its video stream");
  out << "1-" << index.count() << "\n";
  return kExitOk;
}

int RunJoin(const JoinArgs& args, bool quiet, std::ostream& err) {
  for (const std::string& in : args.parts)
    if (SameFile(in, args.output)) throw UsageError(args.output + ": output would overwrite a part");
  if (SameFile(args.source, args.output))
    throw UsageError(args.output + ": output would overwrite the source");
  if (const Format* format = FormatForName(args.output); format != nullptr && !format->holdsParts)
    throw UsageError(args.output + ": " + format->name +
                     " keeps no frame times: join the parts into .mov or .mkv");
  std::vector<std::string> notes;
  JoinVideoParts(args.parts, args.source, args.output, &notes);
  for (const std::string& note : notes) err << "fxaa: " << args.output << ": " << note << "\n";
  if (!quiet)
    err << "fxaa: " << args.output << ": joined " << args.parts.size() << " parts\n";
  return kExitOk;
}

}  // namespace fxaa_cli
