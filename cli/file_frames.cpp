#include "cli/file_frames.h"

#include <filesystem>

namespace fxaa_cli {

bool FileSource::Next(Frame* frame) {
  while (next_ < files_.size()) {
    const size_t at = next_++;
    try {
      Read(at, frame);
      return true;
    } catch (const ImageError& e) {
      if (!conceal_) throw;
      leftOut_.push_back(std::string(e.what()) + "; left out");
    }
  }
  return false;
}

void FileSource::Read(size_t at, Frame* frame) {
  const FileFrame& file = files_[at];
  // The frames given are indexed without gaps, for a sink that writes them in order.
  frame->index = given_;
  frame->number = file.number;
  frame->file = file.path;
  frame->name = FrameName(file.path);
  // Frames from files: one tick of the video's rate each, should they go into one; a file left
  // out leaves its tick empty.
  frame->time = FrameTime{static_cast<int64_t>(at), 1};
  if (file.missing) throw ImageError(file.path + ": missing (a gap in the sequence)");
  frame->image = ReadImage(file.path);
  ++given_;
}

void FileSink::Start(FrameSource&, const SinkContext& context) {
  context_ = context;
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::u8path(createFolder_);
  if (!createFolder_.empty() && !std::filesystem::is_directory(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
    if (ec) throw ImageError(createFolder_ + ": cannot create folder: " + ec.message());
  }
  RemoveStaleTemporaries(folder_, writes_);
}

void FileSink::Put(Frame frame) {
  const std::string output = naming_(frame.number, frame.file);
  WriteImage(frame.image, output, options_);
  context_.frameWritten(output);
}

}  // namespace fxaa_cli
