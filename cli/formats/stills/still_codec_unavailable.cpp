// Pictures through libavcodec in a build without FFmpeg's libraries (the Windows build): their
// files are still recognised by their first bytes and names, so that the user is told plainly
// that they need the Linux build rather than that the file is of an unknown type.
#include "cli/formats/stills/still_codec.h"

namespace fxaa_cli {

StillPicture ReadStill(const std::string& path, const StillCodec& codec) {
  throw ImageError(path + ": " + codec.format + " " + kStillNeedsLinux);
}

std::vector<uint8_t> EncodeStill(const Image&, ChannelLayout, const StillCodec& codec,
                                 const StillEncoding&, const std::string& path) {
  throw ImageError(path + ": " + codec.format + " " + kStillNeedsLinux);
}

}  // namespace fxaa_cli
