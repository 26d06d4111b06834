#include "installer/path_list.h"

namespace path_list {
namespace {

// The folder an entry or a folder names: without surrounding quotes or a final backslash.
std::wstring_view Bare(std::wstring_view name) {
  if (name.size() >= 2 && name.front() == L'"' && name.back() == L'"')
    name = name.substr(1, name.size() - 2);
  if (name.size() > 1 && (name.back() == L'\\' || name.back() == L'/')) name.remove_suffix(1);
  return name;
}

// The offset and length of the last entry of `path` that names `folder`; npos when none does.
std::pair<size_t, size_t> LastEntry(std::wstring_view path, std::wstring_view folder,
                                    SameName same) {
  std::pair<size_t, size_t> found{std::wstring_view::npos, 0};
  const std::wstring_view wanted = Bare(folder);
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(L';', start);
    if (end == std::wstring_view::npos) end = path.size();
    const std::wstring_view entry = path.substr(start, end - start);
    if (!entry.empty() && same(Bare(entry), wanted)) found = {start, entry.size()};
    start = end + 1;
  }
  return found;
}

}  // namespace

bool Contains(std::wstring_view path, std::wstring_view folder, SameName same) {
  return LastEntry(path, folder, same).first != std::wstring_view::npos;
}

std::wstring WithEntry(std::wstring_view path, std::wstring_view folder) {
  std::wstring result(path);
  if (path.empty()) return result.append(folder);
  if (path.back() == L';') return result.append(folder).append(1, L';');
  return result.append(1, L';').append(folder);
}

std::wstring WithoutEntry(std::wstring_view path, std::wstring_view folder, SameName same) {
  auto [at, length] = LastEntry(path, folder, same);
  std::wstring result(path);
  if (at == std::wstring_view::npos) return result;
  if (at + length < path.size())
    ++length;  // the ';' after it
  else if (at > 0)
    --at, ++length;  // the last entry: the ';' before it
  return result.erase(at, length);
}

}  // namespace path_list
