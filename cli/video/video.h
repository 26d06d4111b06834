// Video files through FFmpeg's libraries: a video is read as a stream of frames in presentation
// order, and written from frames handed over in that order; as entries of the format table they
// open a frame source and a frame sink (video_source.cpp, video_sink.cpp). Only the Linux build
// links the libraries; the Windows build compiles video_unavailable.cpp instead, whose sources,
// sinks, readers and writers fail with a message saying so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/frames.h"
#include "cli/image.h"

namespace fxaa_cli {

// Whether this build reads and writes video (the Linux build, with FFmpeg's libraries), and
// what the user is told where it does not.
bool VideoSupported();
constexpr const char* kVideoNeedsLinux =
    "video needs the Linux build of fxaa (this build has no FFmpeg)";

// True when a file starting with `head` is a video container, not a still image: the video
// entry's detection in the format table (video_format.cpp).
bool DetectVideo(const uint8_t* head, size_t size);

// "" when `name` is a video encoder of this FFmpeg, else why not: the check of --codec.
std::string CheckVideoEncoder(const std::string& name);

// The entries' sources and sinks. Neither opens the file before the batch starts.
// `muxerOptions` are the container's own ("mpegts_m2ts_mode=1"), in FFmpeg's key=value:... form.
std::unique_ptr<FrameSource> OpenVideoSource(const std::string& path);
std::unique_ptr<FrameSink> OpenVideoSink(const std::string& path, const WriteOptions& options,
                                         const std::string& muxerOptions = "");

// Frames of a video's main stream by number: from 1, in presentation order over the whole stream,
// as a whole run numbers them. A span is a run of numbers as the reader needs it: the key frame
// decoding starts from and the time of each frame, in the stream's time base.
struct FrameSpan {
  int first = 0;
  int64_t keyPts = 0, keyDts = 0;  // AV_NOPTS_VALUE where not known; both: from the start
  int64_t keyPos = -1;  // the key frame's byte position, where times repeat (a clock went back)
  std::vector<int64_t> times;      // frames first, first + 1, ...
};

// Where each frame of a video lies, found without decoding (video_frame_index.cpp).
class VideoFrameIndex {
 public:
  // Throws ImageError naming the file: unreadable, no video stream, frames without times.
  explicit VideoFrameIndex(const std::string& path);
  ~VideoFrameIndex();
  VideoFrameIndex(const VideoFrameIndex&) = delete;
  VideoFrameIndex& operator=(const VideoFrameIndex&) = delete;

  int count() const;
  // The first frame of a segment whose clock went back (times repeat from there); 0 if none.
  int clockBackAt() const;
  // Frames `first` to `last` (1 <= first <= last <= count()). May read packets; throws
  // ImageError naming the file.
  FrameSpan Span(int first, int last);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Joins the parts of `source` that range runs wrote (fxaa --frames A-B -o part.mkv) into
// `output`: their video packets copied in time order, the source's other streams, metadata and
// chapters copied whole. Refuses, naming the part, parts that differ in codec, size or rate from
// the first one, or that overlap, leave frames out or hold other frames than the source's; then
// nothing is written. Throws ImageError; notes say what `output` cannot hold.
void JoinVideoParts(const std::vector<std::string>& parts, const std::string& source,
                    const std::string& output, std::vector<std::string>* notes);

// The container options a video output named `path` needs: for a transport stream the packet
// size its name asks for (192 bytes for .m2ts and .mts); "" for other containers.
std::string TransportStreamMuxerOptions(const std::string& path);

class VideoReader {
 public:
  // Opens the file and the decoder of its main video stream. Throws ImageError with one line
  // naming the file and the cause: unreadable or damaged file, no video stream, no decoder,
  // unsupported pixel format, a size beyond the tool's limits. With kConceal, damage met from
  // then on fails no frame (Read, TakeLeftOut).
  explicit VideoReader(const std::string& path, DamagedFrames damaged = DamagedFrames::kFail);
  ~VideoReader();
  VideoReader(const VideoReader&) = delete;
  VideoReader& operator=(const VideoReader&) = delete;

  // The stream information for a writer to mirror, and from now on the packets of the other
  // streams as they are demuxed; before the first Read.
  std::shared_ptr<VideoMirror> ShareStreams();
  // The same for a writer of the video alone (a part of a range run): the other streams stay
  // unread.
  std::shared_ptr<VideoMirror> ShareVideoStream();
  // The frame count the file declares, else an estimate from its duration; 0 when neither.
  int expectedFrames() const;

  // The next frame: false at the end of the stream. 8-bit streams give byte images, deeper ones
  // float images (16-bit words scaled to 0..1), both RGB, with alpha when the stream has it.
  // A frame that cannot be decoded throws ImageError naming the file and the frame; reading may
  // go on after it. When concealing damage, a frame the decoder could only conceal is given with
  // its damage in `damage`, and a frame it gives no picture for is left out.
  bool Read(Image* image, FrameTime* time, std::string* damage = nullptr);
  // What was left out since the last call, when concealing damage: frames that gave no picture,
  // named by number and time, and damage the demuxer read past; one message each.
  std::vector<std::string> TakeLeftOut();
  // What the user should know that is no damage to the frames, since the last call: packets of
  // the other streams the demuxer marked corrupt (copied as they are), told at the end.
  std::vector<std::string> TakeNotes();
  // Frames the decoder gave so far, damaged ones included, and frames left out: the number of
  // the last one read.
  int framesRead() const;
  // Seconds of a time of the stream.
  double Seconds(int64_t pts) const;
  // From now on Read gives the frames of `span`, numbered as in the whole stream, then ends.
  // Decoding restarts at the span's key frame, unless what is decoding already leads to the
  // span's first frame; frames before it are decoded and dropped. A frame that does not come
  // where the span puts it throws ImageError.
  void ReadSpan(const FrameSpan& span);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct VideoWriteOptions {
  std::string codec;  // an FFmpeg encoder; empty: the input's codec, else the container's default
  int crf = -1;       // -1: the tool's default quality (CRF 16 for x264, x265, VP9 and AV1)
  double fps = 24;    // frame rate of a video made from image files
  std::string muxerOptions;  // the container's own, key=value:...
  // Streams of the input the output container cannot hold are left out with a note, rather than
  // refusing the output (--unfit-streams leave-out).
  bool leaveOutUnfit = false;
};

// The video entry's options (--codec, --crf, --fps) as given in `options`, checked already.
VideoWriteOptions VideoWriteOptionsFrom(const WriteOptions& options);

// Opens the encoder a video output of `source`'s frames would get, each reduced to 1/downsample
// of its size, and closes it again: a combination the encoder refuses is refused before anything
// is rendered. Throws ImageError naming `path` and the encoder's own reason.
void TryVideoEncoder(const std::string& path, VideoMirror& source,
                     const VideoWriteOptions& options, int downsample);

class VideoWriter {
 public:
  // Prepares `path` for frames of `first`'s size, depth and alpha. With a source, mirrors that
  // video: its codec (re-encoded), pixel format, colour tags, time base and frame rate, rotation
  // and metadata, and every other stream copied packet for packet (none where the source shares
  // its video stream alone). Without one, the frames come
  // from image files at options.fps. Everything goes to a temporary file beside `path`, renamed
  // by Finish. Throws ImageError naming `path` and the cause.
  // `firstFields`: how the first frame's lines were taken; interlaced frames make an interlaced
  // video where the source's stream does not say so.
  VideoWriter(const std::string& path, const Image& first, std::shared_ptr<VideoMirror> source,
              const VideoWriteOptions& options,
              FieldOrder firstFields = FieldOrder::kProgressive);
  // Without Finish, removes the temporary file: nothing is left under `path`.
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // Frames in presentation order; times in the source's time base, or frame numbers from 0 for
  // frames from image files.
  void Write(const Image& image, const FrameTime& time);
  // Drains the encoder, copies the other streams to their end, and puts the file in place.
  void Finish();
  // Seconds of a time handed to Write.
  double Seconds(const FrameTime& time) const;

  // What the user should know about the output: the codec chosen, and anything of the input it
  // cannot hold; after Finish, packets of the copied streams left out.
  const std::vector<std::string>& notes() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace fxaa_cli
