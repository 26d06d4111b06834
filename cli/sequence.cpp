#include "cli/sequence.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "cli/formats/format.h"

namespace fxaa_cli {

namespace fs = std::filesystem;

std::string FramePattern::Format(int frame) const {
  char digits[32];
  std::snprintf(digits, sizeof(digits), "%0*d", width, frame);
  return prefix + digits + suffix;
}

bool FramePattern::Match(const std::string& name, int* frame) const {
  if (name.size() <= prefix.size() + suffix.size()) return false;
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
  const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (digits.size() > 9) return false;
  for (char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  // A padded pattern matches only its own width (or wider numbers, which padding cannot cut).
  if (width > 0 && digits.size() < size_t(width)) return false;
  if (width > 0 && digits.size() > size_t(width) && digits[0] == '0') return false;
  if (width == 0 && digits.size() > 1 && digits[0] == '0') return false;
  *frame = std::stoi(digits);
  return true;
}

bool ParsePattern(const std::string& text, FramePattern* pattern) {
  size_t start = std::string::npos, end = 0;
  int width = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      if (i + 1 < text.size() && text[i + 1] == '%') {
        ++i;
        continue;
      }
      size_t j = i + 1;
      int w = 0;
      while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])))
        w = w * 10 + (text[j++] - '0');
      if (j >= text.size() || text[j] != 'd')
        throw UsageError(text + ": only %d and %0Nd frame placeholders are understood");
      if (start != std::string::npos) throw UsageError(text + ": more than one frame placeholder");
      start = i, end = j + 1, width = w;
      i = j;
    } else if (text[i] == '#') {
      size_t j = i;
      while (j < text.size() && text[j] == '#') ++j;
      if (start != std::string::npos) throw UsageError(text + ": more than one frame placeholder");
      start = i, end = j, width = static_cast<int>(j - i);
      i = j - 1;
    }
  }
  if (start == std::string::npos) return false;
  if (width > 9) throw UsageError(text + ": frame numbers of more than 9 digits");
  // "%%" stands for one '%' in the parts around the placeholder.
  auto unescape = [](std::string s) {
    for (size_t p = s.find("%%"); p != std::string::npos; p = s.find("%%", p + 1)) s.erase(p, 1);
    return s;
  };
  pattern->prefix = unescape(text.substr(0, start));
  pattern->suffix = unescape(text.substr(end));
  pattern->width = width;
  return true;
}

std::vector<int> ParseFrameRange(const std::string& text) {
  std::set<int> frames;
  auto bad = [&text](const std::string& why) {
    return UsageError("--frames " + text + ": " + why + " (expected e.g. 1-60, 7, 1-60x2, 1-9,20)");
  };
  size_t pos = 0;
  if (text.empty()) throw bad("empty");
  while (pos <= text.size()) {
    const size_t comma = text.find(',', pos);
    const std::string part = text.substr(pos, comma == std::string::npos ? comma : comma - pos);
    // first[-last[xstep]]
    long long first = -1, last = -1, step = 1;
    int used = 0;
    const int fields = std::sscanf(part.c_str(), "%lld%n", &first, &used);
    if (fields != 1 || first < 0 || part[0] == '-' || part[0] == '+') throw bad("not a frame number");
    size_t at = static_cast<size_t>(used);
    last = first;
    if (at < part.size() && part[at] == '-') {
      int more = 0;
      if (std::sscanf(part.c_str() + at + 1, "%lld%n", &last, &more) != 1 || last < 0 ||
          !std::isdigit(static_cast<unsigned char>(part[at + 1])))
        throw bad("not a range");
      at += 1 + more;
      if (at < part.size() && part[at] == 'x') {
        if (std::sscanf(part.c_str() + at + 1, "%lld%n", &step, &more) != 1 || step <= 0 ||
            !std::isdigit(static_cast<unsigned char>(part[at + 1])))
          throw bad("not a step");
        at += 1 + more;
      }
    }
    if (at != part.size()) throw bad("unexpected '" + part.substr(at) + "'");
    if (last < first) throw bad("range runs backwards");
    if (last > 999999999) throw bad("frame number too large");
    if ((last - first) / step + frames.size() > 1000000) throw bad("more than a million frames");
    for (long long f = first; f <= last; f += step) frames.insert(static_cast<int>(f));
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return std::vector<int>(frames.begin(), frames.end());
}

std::vector<int> ScanFrames(const FramePattern& pattern) {
  // The placeholder sits in the file name; everything up to the last '/' is the folder.
  const size_t slash = pattern.prefix.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : pattern.prefix.substr(0, slash + 1);
  const FramePattern local{slash == std::string::npos ? pattern.prefix
                                                      : pattern.prefix.substr(slash + 1),
                           pattern.suffix, pattern.width};
  std::vector<int> frames;
  std::error_code ec;
  fs::directory_iterator it(folder, ec), endIt;
  for (; !ec && it != endIt; it.increment(ec)) {
    int frame;
    if (local.Match(it->path().filename().string(), &frame)) frames.push_back(frame);
  }
  std::sort(frames.begin(), frames.end());
  frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  return frames;
}

namespace {

// The number at the end of a file's stem ("shot_0012.png" gives 12); false when none.
bool TrailingNumber(const std::string& path, int* number) {
  const std::string stem = fs::path(path).stem().string();
  size_t i = stem.size();
  while (i > 0 && std::isdigit(static_cast<unsigned char>(stem[i - 1]))) --i;
  if (i == stem.size() || stem.size() - i > 9) return false;
  *number = std::stoi(stem.substr(i));
  return true;
}

// One spelling per file, so that "a/../b.png" and "b.png" are seen as the same file.
std::string Identity(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(path), ec);
  return ec ? fs::absolute(path).lexically_normal().string() : p.string();
}

// True when the name's extension is that of a format of many frames (a video).
bool NamesVideo(const std::string& path) {
  const Format* format = FormatForName(path);
  return format != nullptr && format->holdsFrames;
}

// An output file of one frame.
void CheckOutputName(const std::string& output) {
  if (FormatForName(output) == nullptr)
    throw UsageError(output + ": unknown output type (name it " + FormatExtensions() + ")");
  if (NamesVideo(output))
    throw UsageError(output + ": one video takes every frame: name it without a frame number");
}

// Found before anything is rendered rather than as one failed write per frame.
void CheckOutputFolder(const std::string& output) {
  std::error_code ec;
  const fs::path folder = fs::path(output).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ec))
    throw ImageError(folder.string() + (fs::exists(folder, ec)
                                            ? ": cannot write into it: not a folder"
                                            : ": output folder does not exist"));
}

// A video as the only input: its frames go into a video file or a numbered pattern.
BatchPlan PlanVideoInput(const std::string& input, const std::string& frames,
                         const std::string& output) {
  if (!frames.empty())
    throw UsageError("--frames takes a numbered image input; a video is read whole");
  BatchPlan plan;
  plan.videoInput = input;
  FramePattern pattern;
  if (ParsePattern(output, &pattern)) {
    plan.framePattern = pattern;
    CheckOutputName(pattern.Format(1));
  } else if (NamesVideo(output)) {
    plan.videoOutput = output;
  } else {
    throw UsageError(output + ": a video gives many frames: name an output pattern "
                              "(out.%04d.png) or a video file (out.mp4)");
  }
  if (Identity(output) == Identity(input))
    throw UsageError(output + ": output would overwrite an input");
  CheckOutputFolder(output);
  return plan;
}

// True when `path` is a video by its first bytes, or by its name when they are of no known
// format: a damaged video is then told so, not called an unknown image.
bool IsVideoInput(const std::string& path) {
  uint8_t head[kFormatHeadBytes] = {};
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(head), sizeof(head));
  const Format* format = FormatForContent(head, static_cast<size_t>(in.gcount()));
  return format != nullptr ? format->holdsFrames : NamesVideo(path);
}

}  // namespace

BatchPlan PlanBatch(const std::vector<std::string>& inputs, const std::string& frames,
                    const std::string& output) {
  if (inputs.empty()) throw UsageError("no input files given");
  if (output.empty()) throw UsageError("no output given (-o FILE, PATTERN or FOLDER/)");

  BatchPlan plan;
  FramePattern inputPattern;
  const bool sequence = ParsePattern(inputs[0], &inputPattern);
  for (size_t i = 1; i < inputs.size(); ++i) {
    FramePattern ignored;
    if (sequence || ParsePattern(inputs[i], &ignored))
      throw UsageError("a numbered sequence must be the only input");
  }
  if (inputs.size() == 1 && !sequence && IsVideoInput(inputs[0]))
    return PlanVideoInput(inputs[0], frames, output);
  if (inputs.size() > 1)
    for (const std::string& in : inputs)
      if (NamesVideo(in)) throw UsageError(in + ": a video must be the only input");
  if (!frames.empty() && !sequence)
    throw UsageError("--frames needs a numbered input such as shot.%04d.exr");

  if (sequence) {
    std::vector<int> numbers;
    if (!frames.empty()) {
      numbers = ParseFrameRange(frames);
    } else {
      // Without a range the sequence is what the folder holds, from its first to its last frame.
      const std::vector<int> found = ScanFrames(inputPattern);
      if (found.empty()) throw ImageError(inputs[0] + ": no files match this sequence");
      for (int f = found.front(); f <= found.back(); ++f) numbers.push_back(f);
    }
    for (int f : numbers) {
      FrameJob job;
      job.frame = f;
      job.input = inputPattern.Format(f);
      std::error_code ec;
      job.missing = !fs::exists(job.input, ec);
      plan.gaps += job.missing;
      plan.jobs.push_back(job);
    }
  } else {
    // Numbers for output patterns: the inputs' own trailing numbers when every input has a
    // different one, else positions from 1.
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
    for (size_t i = 0; i < inputs.size(); ++i) {
      FrameJob job;
      job.frame = numbers.empty() ? static_cast<int>(i + 1) : numbers[i];
      job.input = inputs[i];
      plan.jobs.push_back(job);
    }
  }

  FramePattern outputPattern;
  const bool outputIsPattern = ParsePattern(output, &outputPattern);
  std::error_code ec;
  if (!outputIsPattern && NamesVideo(output)) {
    // Every frame into one video, in the plan's order.
    plan.videoOutput = output;
    const std::string outputId = Identity(output);
    for (FrameJob& job : plan.jobs) {
      job.output = output;
      if (Identity(job.input) == outputId)
        throw UsageError(output + ": output would overwrite an input");
    }
    CheckOutputFolder(output);
    return plan;
  }
  const bool outputIsFolder =
      !outputIsPattern && (fs::is_directory(output, ec) || output.back() == '/');
  if (!outputIsPattern && !outputIsFolder && plan.jobs.size() > 1)
    throw UsageError(output + ": several frames need an output pattern (out.%04d.png) or a "
                              "folder (out/)");
  for (FrameJob& job : plan.jobs) {
    if (outputIsPattern)
      job.output = outputPattern.Format(job.frame);
    else if (outputIsFolder)
      job.output = (fs::path(output) / fs::path(job.input).filename()).string();
    else
      job.output = output;
    CheckOutputName(job.output);
  }

  std::set<std::string> inputIds;
  for (const FrameJob& job : plan.jobs) inputIds.insert(Identity(job.input));
  std::map<std::string, std::string> outputIds;
  for (const FrameJob& job : plan.jobs) {
    const std::string id = Identity(job.output);
    if (inputIds.count(id)) throw UsageError(job.output + ": output would overwrite an input");
    auto [it, fresh] = outputIds.emplace(id, job.input);
    if (!fresh)
      throw UsageError(job.output + ": written twice (from " + it->second + " and " + job.input +
                       ")");
  }
  if (outputIsFolder && !fs::is_directory(output, ec)) {
    fs::create_directories(output, ec);
    if (ec) throw ImageError(output + ": cannot create folder: " + ec.message());
  }
  for (const FrameJob& job : plan.jobs) CheckOutputFolder(job.output);
  return plan;
}

}  // namespace fxaa_cli
