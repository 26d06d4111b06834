// What the user sees while a batch runs, on standard error: on a terminal one bar redrawn in
// place (frames done, frames per second, time left); elsewhere one plain line per frame; with
// quiet, only failures. Thread-safe.
#pragma once

#include <chrono>
#include <mutex>
#include <ostream>
#include <string>

namespace fxaa_cli {

class Progress {
 public:
  enum class Style { kBar, kLines, kQuiet };
  Progress(int total, Style style, std::ostream& out);

  // The frame count, once it is known better than at the start (a video's own estimate).
  void SetTotal(int total);
  void FrameDone(const std::string& output);
  // Always shown; an empty message counts the frame without a line (its cause was said).
  void FrameFailed(const std::string& message);
  // A frame rendered as the decoder concealed its damage, and something the source left out:
  // always shown, and counted in a line of their own at the end.
  void FrameDamaged(const std::string& message);
  void FrameLeftOut(const std::string& message);
  void Note(const std::string& message);         // always shown
  // Ends the bar and prints the summary line (not when quiet), after the count of damaged and
  // left-out frames when there were any (even when quiet).
  void Finish();

  int done() const { return done_; }
  int failed() const { return failed_; }
  int total() const { return total_; }

  // "1:05", "12:00:09": a count of seconds for the bar.
  static std::string Clock(double seconds);
  // The bar line for the counts given (without the carriage return).
  static std::string BarLine(int done, int failed, int total, double elapsedSeconds, int width);

 private:
  void DrawLocked(bool force);
  void ShowLocked(const std::string& message);  // one line, above the bar
  void ClearBarLocked();

  std::mutex mutex_;
  std::ostream& out_;
  Style style_;
  int total_;
  int done_ = 0;
  int failed_ = 0;
  int damaged_ = 0, leftOut_ = 0;
  bool barShown_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace fxaa_cli
