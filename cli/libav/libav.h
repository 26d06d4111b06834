// What every user of FFmpeg's libraries shares (the video pipeline and the still codec): owning
// pointers for their objects, their error codes as one line of text, their log kept off the
// terminal.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace fxaa_cli::libav {

struct InputCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScalerFreer {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

// Sends the libraries' log nowhere, keeping each thread's last error line for ErrorText. Called
// before any other use of the libraries; later calls do nothing.
void KeepLogQuiet();

// The error code as text, with the last error line the libraries logged on this thread when it
// says more: "Invalid data found when processing input (moov atom not found)". Forgets that line.
std::string ErrorText(int code);

// Forgets the last logged error line of this thread.
void ClearLoggedError();
// The last error line the libraries logged on this thread ("" none), forgotten.
std::string TakeLoggedError();

// Errors that decoders or demuxers logged for one reader, and the last one's text. Decoders
// conceal much of the damage they meet, and demuxers end a cut-short file as if it were
// complete: both say so only in their log. Several readers may decode at once (the frames of a
// video, and a picture just written read back): each counts its own, those of the codec contexts
// whose `opaque` is its key, on whichever thread they log (slice and frame threads), and those
// logged on a thread while a Scope of it lives there.
enum class Logger { kDecoder, kDemuxer };
class LoggedErrors {
 public:
  explicit LoggedErrors(const void* key);
  ~LoggedErrors();
  LoggedErrors(const LoggedErrors&) = delete;
  LoggedErrors& operator=(const LoggedErrors&) = delete;

  unsigned count(Logger logger) const;
  std::string last(Logger logger) const;
  void Add(int logger, const std::string& text);  // the log callback's

  class Scope {
   public:
    explicit Scope(LoggedErrors& errors);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    LoggedErrors* previous_;
  };

 private:
  const void* key_;
  mutable std::mutex mutex_;
  unsigned counts_[2] = {0, 0};
  std::string last_[2];
};

// The streams whose packets a demuxer marked corrupt on this thread since the last call, one
// entry a mark. A parser that cuts the demuxer's packets into frames loses the packets' own
// mark, so the demuxer's report of it is read instead.
std::vector<int> TakeCorruptPacketStreams();

// Opens `path` for reading and reads its stream information. Throws ImageError naming the file.
InputPtr OpenInput(const std::string& path);

// The main video stream: the largest video stream that is not a cover picture; -1 when none.
int MainVideoStream(const AVFormatContext* input);

// Seconds of `ts` in `timeBase`.
double Seconds(int64_t ts, AVRational timeBase);

// The stream's side data of `type`, null when it has none.
const AVPacketSideData* StreamSideData(const AVStream* stream, AVPacketSideDataType type);
// Gives the stream a copy of `data` as its side data of `type`, unless it has some already.
// Throws std::bad_alloc.
void AddStreamSideData(AVStream* stream, AVPacketSideDataType type, const uint8_t* data,
                       size_t size);

// Stream side data that describes the picture or the stream (rotation, HDR mastering, spherical
// and stereo layout) is copied; what an old encoder declared about its own bitstream is not.
void CopyStreamSideData(const AVStream* from, AVStream* to, bool reencoded);

// Copies `from`'s programs (a transport stream's services: their ids, PMT PIDs and names) into
// `to`, each stream named by `streamOf` (from's index to to's; -1: not in `to`). Throws
// std::bad_alloc.
void CopyPrograms(const AVFormatContext* from, AVFormatContext* to,
                  const std::vector<int>& streamOf);

// Describes `to` as `from` is described: codec parameters, time base, frame rates, aspect ratio,
// disposition, metadata and side data (CopyStreamSideData, as not re-encoded). Throws
// std::bad_alloc.
void CopyStreamDescription(const AVStream* from, AVStream* to);

// Appends `from`'s chapters, with their titles and other metadata, to `to`. Throws std::bad_alloc
// when memory runs out; what was appended by then belongs to `to`.
void CopyChapters(const AVFormatContext* from, AVFormatContext* to);

// Seeks `input` so that the next packets of `stream` start at a key frame at or before the one
// shown at `keyPts` (or, where that is not known, decoded at `keyDts`; neither: the stream's
// start), and reads that key frame into `packet`. Demuxers seek by different clocks (presentation
// or decode times, a coarse index): where one lands past the key frame, the decode time is tried,
// then the stream's start. False when none gets there.
bool SeekToKeyFrame(AVFormatContext* input, const AVStream* stream, int64_t keyPts,
                    int64_t keyDts, AVPacket* packet);

// Seeks `input` to byte `pos`, where a key frame of `stream` shown at `keyPts` starts (0 and
// AV_NOPTS_VALUE: the first key frame), and reads it into `packet`; for a stream whose times
// repeat. False when it is not there.
bool SeekToKeyFrameAt(AVFormatContext* input, const AVStream* stream, int64_t pos,
                      int64_t keyPts, AVPacket* packet);

}  // namespace fxaa_cli::libav
