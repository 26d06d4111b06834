#include "cli/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/system.h"

namespace fxaa_cli {

namespace {

// Columns of the terminal on standard error, 80 when it does not say.
int TerminalWidth() {
  const int columns = TerminalColumns();
  return columns > 20 ? columns : 80;
}

}  // namespace

Progress::Progress(int total, Style style, std::ostream& out)
    : out_(out), style_(style), total_(total), start_(std::chrono::steady_clock::now()) {
  lastDraw_ = start_ - std::chrono::seconds(1);
}

std::string Progress::Clock(double seconds) {
  if (!(seconds >= 0) || seconds > 359999) return "--:--";
  const long s = std::lround(seconds);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof(text), "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof(text), "%ld:%02ld", s / 60, s % 60);
  return text;
}

std::string Progress::BarLine(int done, int failed, int total, double elapsed, int width) {
  const int finished = done + failed;
  // An estimated total can be passed before the real one is known.
  total = std::max(total, finished);
  const double fps = elapsed > 0 ? finished / elapsed : 0;
  char tail[128];
  std::snprintf(tail, sizeof(tail), " %d/%d frames  %.1f fps  %s left%s", finished, total, fps,
                finished > 0 ? Clock((total - finished) / fps).c_str() : "--:--",
                failed > 0 ? ("  " + std::to_string(failed) + " failed").c_str() : "");
  const int barWidth = std::max(10, std::min(40, width - static_cast<int>(std::string(tail).size()) - 3));
  const int filled = total > 0 ? finished * barWidth / total : barWidth;
  return "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]" + tail;
}

void Progress::ClearBarLocked() {
  if (barShown_) {
    out_ << "\r\033[K";
    barShown_ = false;
  }
}

void Progress::DrawLocked(bool force) {
  if (style_ != Style::kBar) return;
  const auto now = std::chrono::steady_clock::now();
  // A few redraws a second are enough to look alive and cost nothing.
  if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  out_ << "\r\033[K" << BarLine(done_, failed_, total_, elapsed, TerminalWidth() - 1) << std::flush;
  barShown_ = true;
}

void Progress::SetTotal(int total) {
  std::lock_guard<std::mutex> lock(mutex_);
  total_ = total;
  DrawLocked(true);
}

void Progress::FrameDone(const std::string& output) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++done_;
  if (style_ == Style::kLines) {
    out_ << "fxaa: [" << (done_ + failed_) << "/" << total_ << "] wrote " << output << std::endl;
  }
  DrawLocked(done_ + failed_ == total_);
}

void Progress::ShowLocked(const std::string& message) {
  ClearBarLocked();
  out_ << "fxaa: " << message << std::endl;
  DrawLocked(true);
}

void Progress::FrameFailed(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++failed_;
  if (!message.empty()) ShowLocked(message);
  else DrawLocked(false);
}

void Progress::FrameDamaged(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++damaged_;
  ShowLocked(message);
}

void Progress::FrameLeftOut(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++leftOut_;
  ShowLocked(message);
}

void Progress::Note(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  ShowLocked(message);
}

void Progress::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (style_ == Style::kBar && barShown_) out_ << "\n";
  barShown_ = false;
  if (damaged_ + leftOut_ > 0)
    out_ << "fxaa: damaged: " << damaged_ << " frame" << (damaged_ == 1 ? "" : "s")
         << " rendered as concealed, " << leftOut_ << " left out" << std::endl;
  if (style_ == Style::kQuiet) return;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char line[160];
  std::snprintf(line, sizeof(line), "fxaa: %d of %d frames written in %.1f s (%.1f fps)%s", done_,
                total_, elapsed, elapsed > 0 ? done_ / elapsed : 0.0,
                failed_ > 0 ? (", " + std::to_string(failed_) + " failed").c_str() : "");
  out_ << line << std::endl;
}

}  // namespace fxaa_cli
