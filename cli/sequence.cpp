#include "cli/sequence.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>

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
        w = std::min(10, w * 10 + (text[j++] - '0'));  // past 9 digits it is refused anyway
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
  // The placeholder sits in the file name; the rest is the folder (after '/', or '\\' too on
  // Windows).
  const fs::path prefix = fs::u8path(pattern.prefix);
  const fs::path folder = prefix.has_parent_path() ? prefix.parent_path() : fs::path(".");
  const FramePattern local{prefix.filename().u8string(), pattern.suffix, pattern.width};
  std::vector<int> frames;
  std::error_code ec;
  fs::directory_iterator it(folder, ec), endIt;
  for (; !ec && it != endIt; it.increment(ec)) {
    int frame;
    if (local.Match(it->path().filename().u8string(), &frame)) frames.push_back(frame);
  }
  std::sort(frames.begin(), frames.end());
  frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  return frames;
}

}  // namespace fxaa_cli
