// Adding a folder to a PATH value and taking it out again, as text: every other entry, every
// separator and the value's own style (a final ';' or none) stay as they were, so that taking
// out what was added gives back the value exactly.
#pragma once

#include <string>
#include <string_view>

namespace path_list {

// Whether two names are the same, as the file system compares them (case aside on Windows).
using SameName = bool (*)(std::wstring_view, std::wstring_view);

// Whether an entry of `path` names `folder` (with or without a final backslash or quotes).
bool Contains(std::wstring_view path, std::wstring_view folder, SameName same);

// `path` with `folder` as its last entry: after a ';' added when the value has entries and
// does not end with one; a value that ends with ';' keeps ending with one.
std::wstring WithEntry(std::wstring_view path, std::wstring_view folder);

// `path` without its last entry naming `folder`, and without the separator after that entry
// (before it, for the last entry): what WithEntry added. `path` unchanged when no entry names it.
std::wstring WithoutEntry(std::wstring_view path, std::wstring_view folder, SameName same);

}  // namespace path_list
