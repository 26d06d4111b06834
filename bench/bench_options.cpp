#include "bench/bench_options.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace fxaa_bench {
namespace {

// Splits "a,b,c" at commas; empty items are kept, so that they can be refused.
std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream stream(text);
  for (std::string item; std::getline(stream, item, ',');) items.push_back(item);
  if (!text.empty() && text.back() == ',') items.push_back("");
  return items;
}

// Parses a whole decimal integer within [low, high].
bool ParseInt(const std::string& text, long low, long high, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

}  // namespace

const char* ModeName(Mode mode) { return mode == Mode::kAlpha ? "alpha" : "colour"; }

const char* UsageText() {
  return "usage: fxaa_bench [--sizes WxH,...] [--modes colour,alpha] [--depths 8,32]\n"
         "                  [--frames N] [--min-frames N] [--case-seconds S]\n"
         "                  [--ratio-frames N] [--fixed-frames N] [--data FILE] [--plugin PATH]\n"
         "                  [--memory keep|release]\n";
}

bool ParseFrameSize(const std::string& text, FrameSize* size) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  long w = 0, h = 0;
  if (!ParseInt(text.substr(0, x), 1, 16384, &w) || !ParseInt(text.substr(x + 1), 1, 16384, &h))
    return false;
  *size = {int(w), int(h)};
  return true;
}

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      *error = UsageText();
      return false;
    }
    if (i + 1 >= args.size()) {
      *error = arg.rfind("--", 0) == 0 ? arg + ": needs a value" : arg + ": unknown argument";
      return false;
    }
    const std::string& value = args[++i];
    const std::string bad = arg + " " + value + ": ";
    long n = 0;
    if (arg == "--sizes") {
      options->sizes.clear();
      for (const std::string& item : SplitList(value)) {
        FrameSize size;
        if (!ParseFrameSize(item, &size)) {
          *error = bad + "expected sizes such as 1920x1080, 1 to 16384 a side";
          return false;
        }
        options->sizes.push_back(size);
      }
    } else if (arg == "--modes") {
      options->modes.clear();
      for (const std::string& item : SplitList(value)) {
        if (item == "colour" || item == "color") {
          options->modes.push_back(Mode::kColour);
        } else if (item == "alpha") {
          options->modes.push_back(Mode::kAlpha);
        } else {
          *error = bad + "expected colour, alpha or both";
          return false;
        }
      }
    } else if (arg == "--depths") {
      options->depths.clear();
      for (const std::string& item : SplitList(value)) {
        if (item != "8" && item != "32") {
          *error = bad + "expected 8, 32 or both";
          return false;
        }
        options->depths.push_back(std::atoi(item.c_str()));
      }
    } else if (arg == "--frames" || arg == "--min-frames") {
      if (!ParseInt(value, 1, 100000, &n)) {
        *error = bad + "expected a count from 1";
        return false;
      }
      (arg == "--frames" ? options->frames : options->minFrames) = int(n);
    } else if (arg == "--ratio-frames" || arg == "--fixed-frames") {
      if (!ParseInt(value, 0, 100000, &n)) {
        *error = bad + "expected a count from 0";
        return false;
      }
      (arg == "--ratio-frames" ? options->ratioFrames : options->fixedFrames) = int(n);
    } else if (arg == "--case-seconds") {
      char* end = nullptr;
      const double s = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(s > 0)) {
        *error = bad + "expected a positive number of seconds";
        return false;
      }
      options->caseSeconds = s;
    } else if (arg == "--data") {
      options->dataFile = value;
    } else if (arg == "--plugin") {
      options->plugin = value;
    } else if (arg == "--memory") {
      if (value != "keep" && value != "release") {
        *error = bad + "expected keep or release";
        return false;
      }
      options->releaseMemory = value == "release";
    } else {
      *error = arg + ": unknown argument";
      return false;
    }
  }
  if (options->sizes.empty() || options->modes.empty() || options->depths.empty()) {
    *error = "nothing to measure: a size, a mode and a depth are needed";
    return false;
  }
  if (options->minFrames > options->frames) options->minFrames = options->frames;
  return true;
}

}  // namespace fxaa_bench
