#include "cli/batch_plan.h"

#include <cctype>
#include <filesystem>
#include <map>
#include <set>

#include "cli/file_frames.h"
#include "cli/formats/format.h"
#include "cli/sequence.h"
#include "cli/system.h"

namespace fxaa_cli {

namespace fs = std::filesystem;

namespace {

// The number at the end of a file's stem ("shot_0012.png" gives 12); false when none.
bool TrailingNumber(const std::string& path, int* number) {
  const std::string stem = fs::u8path(path).stem().u8string();
  size_t i = stem.size();
  while (i > 0 && std::isdigit(static_cast<unsigned char>(stem[i - 1]))) --i;
  if (i == stem.size() || stem.size() - i > 9) return false;
  *number = std::stoi(stem.substr(i));
  return true;
}

// The format of many frames a file name's extension names, or nullptr.
const Format* FramesFormatNamed(const std::string& path) {
  const Format* format = FormatForName(path);
  return format != nullptr && format->holdsFrames() ? format : nullptr;
}

// An output file of one frame.
void CheckOutputName(const std::string& output) {
  if (FormatForName(output) == nullptr)
    throw UsageError(output + ": unknown output type (name it " + FormatExtensions() + ")");
  if (FramesFormatNamed(output) != nullptr)
    throw UsageError(output + ": one video takes every frame: name it without a frame number");
}

// Found before anything is rendered rather than as one failed write per frame: a folder that is
// not there, and a name too long for it.
void CheckOutputFolder(const std::string& output) {
  std::error_code ec;
  const fs::path folder = fs::u8path(output).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ec))
    throw ImageError(folder.u8string() + (fs::exists(folder, ec)
                                            ? ": cannot write into it: not a folder"
                                            : ": output folder does not exist"));
  const size_t limit = FileNameLimit(folder.u8string());
  if (FileNameLength(fs::u8path(output).filename().u8string()) > limit)
    throw UsageError(output + ": a file name longer than its folder's file system takes (" +
                     std::to_string(limit) + ")");
}

// Refuses an input that can be read only once: standard input, a pipe, a device. Inputs are
// read twice (their first bytes to recognise them, then whole), and a video is demuxed by the
// libraries, which open it themselves: a pipe would lose its first bytes or block for a second
// writer. Looking does not open it, so nothing blocks.
void CheckReadTwice(const std::string& path) {
  const char* why = "save it to a file first";
  if (path == "-")
    throw UsageError(std::string("-: standard input is not read: fxaa reads an input more than "
                                 "once; ") + why);
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status) || fs::is_regular_file(status) || fs::is_directory(status))
    return;
  throw UsageError(path + ": " +
                   (fs::is_fifo(status) ? "a pipe" : fs::is_socket(status) ? "a socket" : "a device") +
                   ", not a file: fxaa reads an input more than once; " + why);
}

// The frames of a numbered sequence: the --frames range, else what the folder holds from its
// first frame to its last; files not there are gaps.
std::vector<FileFrame> SequenceFiles(const std::string& input, const FramePattern& pattern,
                                     const std::string& frames) {
  std::vector<int> numbers;
  if (!frames.empty()) {
    numbers = ParseFrameRange(frames);
  } else {
    const std::vector<int> found = ScanFrames(pattern);
    if (found.empty()) throw ImageError(input + ": no files match this sequence");
    for (int f = found.front(); f <= found.back(); ++f) numbers.push_back(f);
  }
  std::vector<FileFrame> files;
  for (int f : numbers) {
    std::error_code ec;
    const std::string path = pattern.Format(f);
    CheckReadTwice(path);  // each member as the one input: a pipe among them is never opened
    files.push_back({f, path, !fs::exists(fs::u8path(path), ec)});
  }
  return files;
}

// Listed files, numbered for output patterns by their own trailing numbers when every input has
// a different one, else by their positions from 1.
std::vector<FileFrame> ListedFiles(const std::vector<std::string>& inputs) {
  std::vector<int> numbers;
  std::set<int> seen;
  for (const std::string& in : inputs) {
    int n;
    if (!TrailingNumber(in, &n) || !seen.insert(n).second) {
      numbers.clear();
      break;
    }
    numbers.push_back(n);
  }
  std::vector<FileFrame> files;
  for (size_t i = 0; i < inputs.size(); ++i)
    files.push_back({numbers.empty() ? static_cast<int>(i + 1) : numbers[i], inputs[i], false});
  return files;
}

// What the input arguments give: a source, and the files it reads when they are files of one
// frame each (none when one file holds every frame: a video), or the frames of a video selected.
struct PlannedInput {
  std::unique_ptr<FrameSource> source;
  std::vector<FileFrame> files;
  std::vector<int> selected;
};

PlannedInput PlanInput(const std::vector<std::string>& inputs, const std::string& frames) {
  FramePattern pattern;
  const bool sequence = ParsePattern(inputs[0], &pattern);
  for (size_t i = 1; i < inputs.size(); ++i) {
    FramePattern ignored;
    if (sequence || ParsePattern(inputs[i], &ignored))
      throw UsageError("a numbered sequence must be the only input");
  }
  PlannedInput input;
  if (inputs.size() == 1 && !sequence) {
    if (const Format* format = FramesFormatOf(inputs[0])) {
      input.source = format->openSource(inputs[0]);
      if (!frames.empty()) {
        input.selected = ParseFrameRange(frames);
        if (input.selected.front() < 1)
          throw UsageError("--frames " + frames + ": a video's frames are numbered from 1");
        input.source->SelectFrames(input.selected);
      }
      return input;
    }
  }
  if (inputs.size() > 1)
    for (const std::string& in : inputs)
      if (FramesFormatNamed(in) != nullptr)
        throw UsageError(in + ": a video must be the only input");
  if (!sequence && !frames.empty())
    throw UsageError("--frames needs a numbered input such as shot.%04d.exr, or a video");
  input.files = sequence ? SequenceFiles(inputs[0], pattern, frames) : ListedFiles(inputs);
  input.source = std::make_unique<FileSource>(inputs[0], input.files);
  return input;
}

// Refuses outputs that would overwrite an input or be written twice.
void CheckOutputsAgainstInputs(const std::vector<FileFrame>& inputs,
                               const std::vector<std::string>& outputs) {
  std::set<std::string> inputIds;
  for (const FileFrame& in : inputs) inputIds.insert(FileIdentity(in.path));
  std::map<std::string, std::string> outputIds;
  for (size_t i = 0; i < outputs.size(); ++i) {
    const std::string id = FileIdentity(outputs[i]);
    if (inputIds.count(id)) throw UsageError(outputs[i] + ": output would overwrite an input");
    auto [it, fresh] = outputIds.emplace(id, inputs[i].path);
    if (!fresh)
      throw UsageError(outputs[i] + ": written twice (from " + it->second + " and " +
                       inputs[i].path + ")");
  }
}

// The files frames go to: by a pattern, into a folder (keeping the inputs' names), or one file.
// Every output of input files is checked here; a video's frames (no `files`) only by the first
// one's name.
std::unique_ptr<FrameSink> PlanFileSink(const std::vector<FileFrame>& files,
                                        const std::string& output, const WriteOptions& options) {
  FramePattern pattern;
  std::error_code ec;
  const bool isPattern = ParsePattern(output, &pattern);
  // A name ending in a separator ('/', and '\\' on Windows) is a folder to be made.
  const fs::path outputPath = fs::u8path(output);
  const bool isFolder =
      !isPattern && (fs::is_directory(outputPath, ec) || !outputPath.has_filename());
  const bool many = files.empty();
  if (many && !isPattern)
    throw UsageError(output + ": a video gives many frames: name an output pattern "
                              "(out.%04d.png) or a video file (out.mp4)");
  if (!isPattern && !isFolder && files.size() > 1)
    throw UsageError(output + ": several frames need an output pattern (out.%04d.png) or a "
                              "folder (out/)");
  OutputNaming naming;
  if (isPattern)
    naming = [pattern](int number, const std::string&) { return pattern.Format(number); };
  else if (isFolder)
    naming = [output](int, const std::string& in) {
      return (fs::u8path(output) / fs::u8path(in).filename()).u8string();
    };
  else
    naming = [output](int, const std::string&) { return output; };
  // The file names the outputs may have, in the folder they go to.
  std::function<bool(const std::string&)> writes;
  std::string folder = fs::u8path(output).parent_path().u8string();
  if (isPattern) {
    FramePattern name;
    ParsePattern(fs::u8path(output).filename().u8string(), &name);
    writes = [name](const std::string& file) {
      int number;
      return name.Match(file, &number);
    };
  } else if (isFolder) {
    folder = output;
    std::set<std::string> names;
    for (const FileFrame& in : files) names.insert(fs::u8path(in.path).filename().u8string());
    writes = [names](const std::string& file) { return names.count(file) != 0; };
  } else {
    writes = [file = fs::u8path(output).filename().u8string()](const std::string& name) {
      return name == file;
    };
  }
  auto sink = std::make_unique<FileSink>(output, naming, options, isFolder ? output : "", folder,
                                         writes);
  if (many) {
    CheckOutputName(pattern.Format(1));
    CheckOutputFolder(pattern.Format(1));
    return sink;
  }
  std::vector<std::string> outputs;
  for (const FileFrame& in : files) outputs.push_back(naming(in.number, in.path));
  for (const std::string& out : outputs) CheckOutputName(out);
  CheckOutputsAgainstInputs(files, outputs);
  // A folder output is made when the batch starts, with the folders above it.
  if (!isFolder)
    for (const std::string& out : outputs) CheckOutputFolder(out);
  return sink;
}

}  // namespace

// Of a damaged video, a name that says video gives a message saying so, not "unknown image".
const Format* FramesFormatOf(const std::string& path) {
  std::vector<uint8_t> head;
  ReadFileHead(path, &head);
  const Format* format = FormatForContent(head.data(), head.size());
  if (format == nullptr) return FramesFormatNamed(path);
  return format->holdsFrames() ? format : nullptr;
}

BatchPlan PlanBatch(const std::vector<std::string>& inputs, const std::string& frames,
                    const std::string& output, const WriteOptions& options) {
  if (inputs.empty()) throw UsageError("no input files given");
  if (output.empty()) throw UsageError("no output given (-o FILE, PATTERN or FOLDER/)");
  for (const std::string& in : inputs) CheckReadTwice(in);
  // An output is written beside its name and put in place when whole: a stream has no place.
  if (output == "-")
    throw UsageError("-o -: standard output is not written: an output is put in place only "
                     "when whole; name a file");

  PlannedInput input = PlanInput(inputs, frames);
  BatchPlan plan;
  plan.source = std::move(input.source);
  for (const FileFrame& f : input.files)
    if (f.missing) plan.gaps.push_back(f.path);

  FramePattern pattern;
  const bool outputPattern = ParsePattern(output, &pattern);
  const Format* framesOut = outputPattern ? nullptr : FramesFormatNamed(output);
  if (framesOut == nullptr) {
    // A video's frames need a pattern, but a file with no video in it (audio alone) is told so
    // first; one that does not open at all is refused as it is.
    if (input.files.empty() && !outputPattern) {
      try {
        plan.source->Open();
      } catch (const ImageError& e) {
        if (e.what() == inputs[0] + ": no video stream") throw;
      }
    }
    plan.sink = PlanFileSink(input.files, output, options);
    return plan;
  }
  // Every frame into one file, in the source's order. A video's selected frames are a part of it,
  // which must run without a gap for the parts to join into the whole.
  const std::vector<int>& picked = input.selected;
  if (!picked.empty() && input.files.empty() && !framesOut->holdsParts)
    throw UsageError(output + ": " + framesOut->name +
                     " keeps no frame times, so a part of a video (--frames) has no place in it: "
                     "write parts as .mov or .mkv");
  if (!picked.empty() && picked.back() - picked.front() + 1 != static_cast<int>(picked.size()))
    throw UsageError("--frames " + frames + ": a video output takes one run of frames (" +
                     std::to_string(picked.front()) + "-" + std::to_string(picked.back()) +
                     "); other sets go to files (-o out.%04d.png)");
  const std::string outputId = FileIdentity(output);
  std::vector<std::string> read;
  for (const FileFrame& f : input.files) read.push_back(f.path);
  if (input.files.empty()) read = inputs;
  for (const std::string& in : read)
    if (FileIdentity(in) == outputId) throw UsageError(output + ": output would overwrite an input");
  CheckOutputFolder(output);
  plan.sink = framesOut->openSink(output, options);
  return plan;
}

}  // namespace fxaa_cli
