// Frames that are files of one frame each: a list of files or a numbered sequence as a source,
// and files named one by one, by a pattern or into a folder as a sink. Each file is read and
// written through the format table (ReadImage, WriteImage).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cli/frames.h"

namespace fxaa_cli {

// One input file of a batch.
struct FileFrame {
  int number = 0;        // used by output patterns
  std::string path;
  bool missing = false;  // a gap in a sequence: nothing to read
};

class FileSource : public FrameSource {
 public:
  // `name` describes the input in messages (the first input argument).
  FileSource(std::string name, std::vector<FileFrame> files)
      : name_(std::move(name)), files_(std::move(files)) {}
  void ConcealDamage() override { conceal_ = true; }
  int expectedFrames() const override { return static_cast<int>(files_.size()); }
  // When concealing damage, files missing or unreadable are left out, and the next one is read.
  bool Next(Frame* frame) override;
  std::vector<std::string> TakeLeftOut() override { return std::exchange(leftOut_, {}); }
  const std::string& name() const override { return name_; }
  const std::vector<FileFrame>& files() const { return files_; }

 private:
  // Reads the file at `at` into `frame`, every field set.
  void Read(size_t at, Frame* frame);

  std::string name_;
  std::vector<FileFrame> files_;
  size_t next_ = 0;
  int given_ = 0;  // frames given so far
  bool conceal_ = false;
  std::vector<std::string> leftOut_;
};

// Where a frame is written: from its number and the file it was read from.
using OutputNaming = std::function<std::string(int number, const std::string& input)>;

class FileSink : public FrameSink {
 public:
  // `name` describes the output in messages (the -o argument); `createFolder`, when not empty,
  // is made when the batch starts. The files go into `folder`, named as `writes` accepts: a
  // killed run's temporary files for them are removed when the batch starts.
  FileSink(std::string name, OutputNaming naming, WriteOptions options, std::string createFolder,
           std::string folder, std::function<bool(const std::string& fileName)> writes)
      : name_(std::move(name)), naming_(std::move(naming)), options_(std::move(options)),
        createFolder_(std::move(createFolder)), folder_(std::move(folder)),
        writes_(std::move(writes)) {}
  void Start(FrameSource& source, const SinkContext& context) override;
  bool wholeOrNothing() const override { return false; }
  void Put(Frame frame) override;
  const std::string& name() const override { return name_; }
  std::string OutputFor(int number, const std::string& input) const {
    return naming_(number, input);
  }

 private:
  std::string name_;
  OutputNaming naming_;
  WriteOptions options_;
  std::string createFolder_;
  std::string folder_;
  std::function<bool(const std::string& fileName)> writes_;
  SinkContext context_;
};

}  // namespace fxaa_cli
