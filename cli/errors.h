// What the tool throws, by what the user can do about it. A frame's own failure is not thrown but
// carried with the frame (host_runtime::Failure).
#pragma once

#include <stdexcept>

namespace fxaa_cli {

// A mistake in how the tool was called (exit status 2): nothing was done.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that cannot be read or written, in one line naming the file and the cause.
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace fxaa_cli
