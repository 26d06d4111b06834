// The plan of one batch: the source its frames come from and the sink they go to, both chosen
// from the inputs, the --frames range and the output argument. Planning only looks: it opens no
// file for writing and creates nothing; the sink makes its folder when the batch starts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/frames.h"

namespace fxaa_cli {
struct Format;
}

namespace fxaa_cli {

// The format of many frames (a video) `path` holds, by its first bytes, or by its name when they
// are of no known format; nullptr for a file of one frame.
const Format* FramesFormatOf(const std::string& path);

struct BatchPlan {
  std::unique_ptr<FrameSource> source;
  std::unique_ptr<FrameSink> sink;
  std::vector<std::string> gaps;  // the files a sequence lacks, each reported as a failed frame
};

// Plans from the input arguments, the --frames text (may be empty) and the output argument: a
// file (one frame only), a pattern, a folder (an existing one, or a name ending in '/', made when
// the batch starts), or a file of a format that holds frames (out.mp4). A file of many frames (a
// video) is the only input; its frames (all, or those --frames selects, numbered from 1: one run of
// them for a video output) go into such a file or a pattern. Throws UsageError for a
// combination that cannot work, an output that would overwrite an input, or two frames written to
// one file; ImageError when a sequence has no files at all, an output's folder does not exist,
// or a format cannot be read or written by this build.
BatchPlan PlanBatch(const std::vector<std::string>& inputs, const std::string& frames,
                    const std::string& output, const WriteOptions& options = {});

}  // namespace fxaa_cli
