#include "cli/formats/video_libav.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "cli/image.h"

namespace fxaa_cli::libav {

namespace {

thread_local std::string t_loggedError;

// The libraries' log callback: errors are kept for the message of the call that failed, the rest
// (encoder statistics, stream notes) would only garble the progress display.
void OnLibraryLog(void* object, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[512];
  int prefix = 1;
  av_log_format_line2(object, level, format, args, line, sizeof(line), &prefix);
  // "[mov,mp4,m4a,3gp,3g2,mj2 @ 0x55...] moov atom not found": the address says nothing to a user.
  std::string text = line;
  const size_t bracket = text.find("] ");
  if (!text.empty() && text[0] == '[' && bracket != std::string::npos) text.erase(0, bracket + 2);
  text = OneLine(text);
  if (!text.empty()) t_loggedError = text;
}

}  // namespace

void KeepLogQuiet() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(OnLibraryLog); });
}

void ClearLoggedError() { t_loggedError.clear(); }

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof(text));
  std::string result = text;
  if (!t_loggedError.empty() && t_loggedError != result) result += " (" + t_loggedError + ")";
  t_loggedError.clear();
  return result;
}

InputPtr OpenInput(const std::string& path) {
  KeepLogQuiet();
  ClearLoggedError();
  AVFormatContext* raw = nullptr;
  int err = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (err < 0) throw ImageError(path + ": cannot read as a video: " + ErrorText(err));
  InputPtr input(raw);
  err = avformat_find_stream_info(input.get(), nullptr);
  if (err < 0) throw ImageError(path + ": corrupt video: " + ErrorText(err));
  return input;
}

int MainVideoStream(const AVFormatContext* input) {
  int best = -1;
  long long bestArea = -1;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVStream* st = input->streams[i];
    if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
    const long long area = static_cast<long long>(st->codecpar->width) * st->codecpar->height;
    if (area > bestArea) best = static_cast<int>(i), bestArea = area;
  }
  return best;
}

double Seconds(int64_t ts, AVRational timeBase) {
  return ts == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(ts) * av_q2d(timeBase);
}

}  // namespace fxaa_cli::libav
