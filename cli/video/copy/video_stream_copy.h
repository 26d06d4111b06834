// The source video's other streams in a video output: added in the source's order around the
// re-encoded video, with the container's metadata and chapters, and their packets copied
// unchanged, paced by the video so that the muxer's interleaving queue stays short.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/video/copy/video_mirror.h"
#include "cli/video/video_muxer.h"

namespace fxaa_cli::libav {


// A new stream of `muxer` for `in`'s packets unchanged: its parameters (the codec tag where the
// container knows it), timing, disposition, metadata and side data. Throws std::bad_alloc.
AVStream* AddUnchangedStream(VideoMuxer& muxer, const AVStream* in);

class StreamCopy {
 public:
  // Adds the source's streams to `muxer` in their order: each other stream copied, and the
  // video by `addVideo` at its place. What the container cannot hold: a data stream is left out
  // with a note, and so is any other with `leaveOutUnfit`; else audio, subtitles and attachments
  // throw ImageError naming `path` and the containers that can hold them.
  StreamCopy(const std::string& path, VideoMirror& source, VideoMuxer& muxer,
             const std::function<void()>& addVideo, std::vector<std::string>* notes,
             bool leaveOutUnfit = false);

  // Copies the packets demuxed so far that are at most `seconds` into their streams.
  void CopyUntil(double seconds);
  // Copies every packet left, to the end of the source; then notes say what was dropped.
  void CopyRest();

 private:
  void AddCopiedStream(const AVStream* in, std::vector<std::string>* notes, bool leaveOutUnfit);
  void Copy(double seconds, bool toTheEnd);
  bool InOrder(const AVPacket& packet, const AVStream& out) const;

  std::string path_;
  VideoMirror& source_;
  VideoMuxer& muxer_;
  std::vector<int> streamMap_;  // source stream -> output stream, -1 when not copied
  // By source stream: added to its packets' times (OpusDelay, a clock that went back), and where
  // its last packet copied ends, with that.
  std::vector<int64_t> shift_, ends_;
  // By output stream: the last decode time written, and the packets dropped because their time
  // went back (damage in a transport stream leaves such packets; the muxer refuses them).
  std::vector<int64_t> lastDts_;
  std::vector<int> dropped_;
  std::vector<std::string>* notes_;
  PacketPtr packet_{av_packet_alloc()};
};

}  // namespace fxaa_cli::libav
