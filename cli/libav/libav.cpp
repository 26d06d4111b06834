#include "cli/libav/libav.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "cli/image.h"

namespace fxaa_cli::libav {

namespace {

thread_local std::string t_loggedError;
thread_local std::string t_partialLine;  // a message logged in several calls, until its newline
// The readers' counts by their keys, and the one this thread's messages count for.
std::mutex g_readersMutex;
std::map<const void*, LoggedErrors*> g_readers;
thread_local LoggedErrors* t_reader = nullptr;
// Streams whose packets the demuxer marked corrupt on this thread, until taken.
thread_local std::vector<int> t_corruptStreams;

// The logger an object's messages count for: -1 when neither a decoder nor a demuxer.
int LoggerOf(void* object) {
  if (object == nullptr) return -1;
  const AVClass* c = *static_cast<const AVClass**>(object);
  if (c == nullptr) return -1;
  const AVClassCategory category = c->get_category ? c->get_category(object) : c->category;
  if (category == AV_CLASS_CATEGORY_DECODER) return static_cast<int>(Logger::kDecoder);
  if (category == AV_CLASS_CATEGORY_DEMUXER) return static_cast<int>(Logger::kDemuxer);
  return -1;
}

// The stream of a demuxer's warning that it marked a packet corrupt, or -1. The mark is on the
// packet it read, but a parser that cuts that packet into frames drops it (H.264 in a transport
// stream), and then this warning is all that is left of it.
int CorruptPacketStream(void* object, int level, const char* format, va_list args) {
  static const char kPrefix[] = "Packet corrupt (stream = ";
  if (level != AV_LOG_WARNING || LoggerOf(object) != static_cast<int>(Logger::kDemuxer) ||
      std::strncmp(format, kPrefix, sizeof(kPrefix) - 1) != 0)
    return -1;
  va_list copy;
  va_copy(copy, args);
  const int stream = va_arg(copy, int);
  va_end(copy);
  return stream;
}

// Counts an error for the reader of the codec context `object` is, else this thread's.
void CountError(void* object, int logger, const std::string& text) {
  const AVClass* c = *static_cast<const AVClass**>(object);
  const std::lock_guard<std::mutex> lock(g_readersMutex);
  if (c == avcodec_get_class()) {
    const auto found = g_readers.find(static_cast<AVCodecContext*>(object)->opaque);
    if (found != g_readers.end()) return found->second->Add(logger, text);
  }
  if (t_reader != nullptr) t_reader->Add(logger, text);
}

// The libraries' log callback: errors are kept for the message of the call that failed, the rest
// (encoder statistics, stream notes) would only garble the progress display. It is called from
// C: nothing may be thrown through it, and a message it has no memory for is lost.
void OnLibraryLog(void* object, int level, const char* format, va_list args) noexcept try {
  if (const int stream = CorruptPacketStream(object, level, format, args); stream >= 0)
    t_corruptStreams.push_back(stream);
  if (level > AV_LOG_ERROR) return;
  char line[512];
  int prefix = 0;  // "[ffv1 @ 0x55...]" names an address, nothing a user knows
  av_log_format_line2(object, level, format, args, line, sizeof(line), &prefix);
  const std::string part = line;
  const bool ends = !part.empty() && part.back() == '\n';
  t_partialLine += part;
  std::string text = OneLine(t_partialLine);
  text.erase(0, text.find_first_not_of(' '));
  if (ends) t_partialLine.clear();
  if (text.empty()) return;
  t_loggedError = text;
  const int logger = LoggerOf(object);
  if (logger >= 0) CountError(object, logger, text);
} catch (...) {
}

// Reads the next key frame of stream `index` into `packet`; false at the end.
bool ReadKeyPacket(AVFormatContext* input, int index, AVPacket* packet) {
  while (av_read_frame(input, packet) >= 0) {
    if (packet->stream_index == index && (packet->flags & AV_PKT_FLAG_KEY)) return true;
    av_packet_unref(packet);
  }
  return false;
}

}  // namespace

void KeepLogQuiet() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(OnLibraryLog); });
}

void ClearLoggedError() { t_loggedError.clear(); }

std::string TakeLoggedError() { return std::exchange(t_loggedError, {}); }

LoggedErrors::LoggedErrors(const void* key) : key_(key) {
  const std::lock_guard<std::mutex> lock(g_readersMutex);
  g_readers[key_] = this;
}

LoggedErrors::~LoggedErrors() {
  const std::lock_guard<std::mutex> lock(g_readersMutex);
  g_readers.erase(key_);
}

unsigned LoggedErrors::count(Logger logger) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return counts_[static_cast<int>(logger)];
}

std::string LoggedErrors::last(Logger logger) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return last_[static_cast<int>(logger)];
}

void LoggedErrors::Add(int logger, const std::string& text) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++counts_[logger];
  last_[logger] = text;
}

LoggedErrors::Scope::Scope(LoggedErrors& errors) : previous_(std::exchange(t_reader, &errors)) {}

LoggedErrors::Scope::~Scope() { t_reader = previous_; }

std::vector<int> TakeCorruptPacketStreams() { return std::exchange(t_corruptStreams, {}); }

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

bool SeekToKeyFrame(AVFormatContext* input, const AVStream* stream, int64_t keyPts,
                    int64_t keyDts, AVPacket* packet) {
  const bool byPts = keyPts != AV_NOPTS_VALUE;
  const int64_t wanted = byPts ? keyPts : keyDts;
  const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  for (const int64_t target : {wanted, keyDts, start}) {
    if (target == AV_NOPTS_VALUE ||
        av_seek_frame(input, stream->index, target, AVSEEK_FLAG_BACKWARD) < 0 ||
        !ReadKeyPacket(input, stream->index, packet))
      continue;
    const int64_t landed =
        !byPts ? packet->dts : packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (wanted == AV_NOPTS_VALUE || (landed != AV_NOPTS_VALUE && landed <= wanted)) return true;
    av_packet_unref(packet);
  }
  return false;
}

bool SeekToKeyFrameAt(AVFormatContext* input, const AVStream* stream, int64_t pos,
                      int64_t keyPts, AVPacket* packet) {
  if (av_seek_frame(input, -1, pos, AVSEEK_FLAG_BYTE) < 0 ||
      !ReadKeyPacket(input, stream->index, packet))
    return false;
  if (keyPts == AV_NOPTS_VALUE || (packet->pos == pos && packet->pts == keyPts)) return true;
  av_packet_unref(packet);
  return false;
}

double Seconds(int64_t ts, AVRational timeBase) {
  return ts == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(ts) * av_q2d(timeBase);
}

// FFmpeg 6.1 moved a stream's side data into its codec parameters, where the codec parameters'
// copies take it along; older ones keep it in the stream.
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 31, 100)
#define FXAA_SIDE_DATA_IN_PARAMETERS 1
#endif

const AVPacketSideData* StreamSideData(const AVStream* stream, AVPacketSideDataType type) {
#ifdef FXAA_SIDE_DATA_IN_PARAMETERS
  return av_packet_side_data_get(stream->codecpar->coded_side_data,
                                 stream->codecpar->nb_coded_side_data, type);
#else
  for (int i = 0; i < stream->nb_side_data; ++i)
    if (stream->side_data[i].type == type) return &stream->side_data[i];
  return nullptr;
#endif
}

void AddStreamSideData(AVStream* stream, AVPacketSideDataType type, const uint8_t* data,
                       size_t size) {
  if (StreamSideData(stream, type) != nullptr) return;
#ifdef FXAA_SIDE_DATA_IN_PARAMETERS
  AVPacketSideData* sd = av_packet_side_data_new(&stream->codecpar->coded_side_data,
                                                 &stream->codecpar->nb_coded_side_data, type,
                                                 size, 0);
  uint8_t* copy = sd != nullptr ? sd->data : nullptr;
#else
  uint8_t* copy = av_stream_new_side_data(stream, type, size);
#endif
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, data, size);
}

void CopyStreamSideData(const AVStream* from, AVStream* to, bool reencoded) {
#ifdef FXAA_SIDE_DATA_IN_PARAMETERS
  const AVPacketSideData* all = from->codecpar->coded_side_data;
  const int count = from->codecpar->nb_coded_side_data;
#else
  const AVPacketSideData* all = from->side_data;
  const int count = from->nb_side_data;
#endif
  for (int i = 0; i < count; ++i) {
    const AVPacketSideData& sd = all[i];
    if (reencoded && sd.type == AV_PKT_DATA_CPB_PROPERTIES) continue;
    AddStreamSideData(to, sd.type, sd.data, sd.size);
  }
}

void CopyPrograms(const AVFormatContext* from, AVFormatContext* to,
                  const std::vector<int>& streamOf) {
  for (unsigned p = 0; p < from->nb_programs; ++p) {
    const AVProgram* program = from->programs[p];
    AVProgram* copy = av_new_program(to, program->id);
    if (copy == nullptr || av_dict_copy(&copy->metadata, program->metadata, 0) < 0)
      throw std::bad_alloc();
    copy->pmt_pid = program->pmt_pid;
    copy->pcr_pid = program->pcr_pid;
    for (unsigned i = 0; i < program->nb_stream_indexes; ++i) {
      const unsigned index = program->stream_index[i];
      if (index < streamOf.size() && streamOf[index] >= 0)
        av_program_add_stream_index(to, program->id, static_cast<unsigned>(streamOf[index]));
    }
  }
}

void CopyStreamDescription(const AVStream* from, AVStream* to) {
  if (avcodec_parameters_copy(to->codecpar, from->codecpar) < 0) throw std::bad_alloc();
  to->time_base = from->time_base;
  to->avg_frame_rate = from->avg_frame_rate;
  to->r_frame_rate = from->r_frame_rate;
  to->sample_aspect_ratio = from->sample_aspect_ratio;
  to->disposition = from->disposition;
  if (av_dict_copy(&to->metadata, from->metadata, 0) < 0) throw std::bad_alloc();
  CopyStreamSideData(from, to, false);
}

void CopyChapters(const AVFormatContext* from, AVFormatContext* to) {
  for (unsigned c = 0; c < from->nb_chapters; ++c) {
    const AVChapter* chapter = from->chapters[c];
    AVChapter* copy = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (copy == nullptr) throw std::bad_alloc();
    copy->id = chapter->id;
    copy->time_base = chapter->time_base;
    copy->start = chapter->start;
    copy->end = chapter->end;
    int count = static_cast<int>(to->nb_chapters);
    av_dynarray_add(&to->chapters, &count, copy);
    if (to->chapters == nullptr) {
      av_free(copy);
      throw std::bad_alloc();
    }
    to->nb_chapters = static_cast<unsigned>(count);
    if (av_dict_copy(&copy->metadata, chapter->metadata, 0) < 0) throw std::bad_alloc();
  }
}

}  // namespace fxaa_cli::libav
