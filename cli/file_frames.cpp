#include "cli/file_frames.h"

#include <filesystem>

namespace fxaa_cli {

bool FileSource::Next(Frame* frame) {
  if (next_ == files_.size()) return false;
  const FileFrame& file = files_[next_];
  frame->index = static_cast<int>(next_++);
  frame->number = file.number;
  frame->file = file.path;
  frame->name = FrameName(file.path);
  // Frames from files: one tick of the video's rate each, should they go into one.
  frame->time = FrameTime{frame->index, 1};
  if (file.missing) throw ImageError(file.path + ": missing (a gap in the sequence)");
  frame->image = ReadImage(file.path);
  return true;
}

void FileSink::Start(FrameSource&, const SinkContext& context) {
  context_ = context;
  if (createFolder_.empty()) return;
  std::error_code ec;
  if (std::filesystem::is_directory(createFolder_, ec)) return;
  std::filesystem::create_directories(createFolder_, ec);
  if (ec) throw ImageError(createFolder_ + ": cannot create folder: " + ec.message());
}

void FileSink::Put(Frame frame) {
  const std::string output = naming_(frame.number, frame.file);
  WriteImage(frame.image, output, options_);
  context_.frameWritten(output);
}

}  // namespace fxaa_cli
