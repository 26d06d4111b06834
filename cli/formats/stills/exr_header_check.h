// A check of OpenEXR headers ahead of the library, which sizes buffers from header values before
// anything can check them.
#pragma once

#include <string>

namespace fxaa_cli {

// Walks every part's header of the OpenEXR file at `path` the way the library will read it, and
// throws ImageError (naming the file) for a value that would make the library allocate more than
// the file holds, or read a field the file did not declare: an attribute longer than the rest of
// the file, one whose declared length disagrees with what its type reads (the library reads by
// type and would go on from the wrong place), a preview larger than its attribute, a data window
// the tool refuses anyway. Files it cannot open pass: the library says why. Returns the number of
// parts (headers) walked; 0 for a file it could not open.
int CheckExrHeaders(const std::string& path);

}  // namespace fxaa_cli
