// Frames as a batch moves them: a source yields them in order, a sink takes them once rendered.
// Sources and sinks come from the format table: an entry whose files hold many frames (a video)
// opens its own; files of one frame each are read and written by the file source and sink
// (file_frames.h) through the table's read and write functions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/image.h"

namespace fxaa_cli {

// When a frame's lines were taken: all at one moment, or as two fields of alternate lines half a
// frame apart, the top field (the even lines, from 0) first or the bottom one.
enum class FieldOrder { kProgressive, kTopFirst, kBottomFirst };

// A frame's place in its stream's timeline, in the stream's time base, and what a video frame
// carries beside its picture to the encoder. Frames from files are one tick of their video's
// rate each: pts is the frame's place in the batch.
struct FrameTime {
  int64_t pts = 0;
  int64_t duration = 0;  // 0 when the stream does not say
  FieldOrder fields = FieldOrder::kProgressive;
  // Closed captions in the frame's bitstream (ATSC A/53: CEA-608 and CEA-708 cc_data), as the
  // decoder gives them; empty when none.
  std::vector<uint8_t> captions = {};
};

// How every message names a frame: the file, then the frame number, then the time for a frame
// of a video: "in.mp4: frame 17 (0.680 s)". A file of one frame is named by the file alone.
std::string FrameName(const std::string& file, std::optional<int> number = std::nullopt,
                      std::optional<double> seconds = std::nullopt);

// What a batch does with a damaged frame (--damaged-frames): fail it, as any frame that cannot be
// read, or render it as the decoder concealed it, leave out what cannot be read at all, and say so.
enum class DamagedFrames { kFail, kConceal };

struct Frame {
  int index = 0;       // place in the batch, from 0: the order a sink that writes in order keeps
  int number = 0;      // the frame number output patterns use
  std::string file;    // the file it was read from
  std::string name;    // for messages (FrameName)
  FrameTime time;
  Image image;
  // What the decoder could only conceal in it, when the source conceals damage; empty for a whole
  // frame.
  std::string damage;
};

// The video stream a video sink mirrors (its codec, timeline, tags and other streams), when the
// frames come from one; defined by the video code.
class VideoMirror;

// Frames in order. Not thread-safe: one reader thread pulls from it.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // From now on damage fails no frame: a frame the decoder could only conceal is given with its
  // damage, and what cannot be read at all (a damaged or missing file, a packet that does not
  // decode, a stretch the demuxer read past) is left out and told by TakeLeftOut. Before Open.
  virtual void ConcealDamage() = 0;
  // Opens what the frames come from, when the batch starts. Throws ImageError naming the file.
  virtual void Open() {}
  // Gives only these frames, by number (a video's from 1), ascending; called before Open.
  // Throws UsageError where the source cannot pick its frames.
  virtual void SelectFrames(const std::vector<int>& numbers);
  // Frames the source expects to give (a video's own estimate may be off); 0 when unknown.
  virtual int expectedFrames() const = 0;
  // The next frame, with every field set: false at the end. A frame that cannot be read throws
  // ImageError naming it (unless damage is concealed); the next call goes on after it.
  virtual bool Next(Frame* frame) = 0;
  // What was left out since the last call, when damage is concealed: one message each, naming
  // the frame (or the place in the stream) and why.
  virtual std::vector<std::string> TakeLeftOut() = 0;
  // What the user should know since the last call that is no damage to the frames (damage in a
  // stream copied as it is); never counted.
  virtual std::vector<std::string> TakeNotes() { return {}; }
  // The video the frames come from, for a video sink to mirror; none for frames from files. The
  // sink's writer shares it, whichever of them goes first.
  virtual std::shared_ptr<VideoMirror> mirror() { return nullptr; }
  // The input, for messages about no frame in particular.
  virtual const std::string& name() const = 0;
};

// What a sink is told of the batch, and how it tells the user what it writes.
struct SinkContext {
  int renderThreads = 1;
  int downsample = 1;  // frames come reduced to 1/downsample of their size, rounded up
  std::function<void(const std::string& written)> frameWritten;  // an output frame is done
  std::function<void(const std::string& note)> note;             // something the user should know
};

// Rendered frames, handed over by one writer thread as they come.
class FrameSink {
 public:
  // A sink not finished removes what it had begun (a video's temporary file); files already
  // written stay, each complete.
  virtual ~FrameSink() = default;
  // Prepares the output when the batch starts (creates a folder). `source` is open.
  virtual void Start(FrameSource& source, const SinkContext& context) = 0;
  // Whether the output is one whole (a video): a frame that fails spoils it, frames rendered
  // after a stop are dropped, and nothing is left unless every frame made it.
  virtual bool wholeOrNothing() const = 0;
  // Waits until frame `index` may enter rendering, or `stopping()` holds: a sink that writes in
  // order admits frames only a few ahead of the next it can write, so few are held back.
  virtual void Admit(int /*index*/, const std::function<bool()>& /*stopping*/) {}
  // Takes one rendered frame; throws ImageError naming the output.
  virtual void Put(Frame frame) = 0;
  // Completes the output once every frame was put; throws ImageError naming the output.
  virtual void Finish() {}
  // The output, for messages.
  virtual const std::string& name() const = 0;
};

}  // namespace fxaa_cli
