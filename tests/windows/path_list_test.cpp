// The installer's PATH edits as text: adding a folder and taking it out again gives back the
// value exactly, and only the folder's own entry goes.
#include "installer/path_list.h"

#include <gtest/gtest.h>

#include <cwctype>

namespace {

// The file system's comparison, as far as these names need it: ASCII letters, case aside.
bool SameAsciiName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

constexpr wchar_t kFolder[] = L"C:\\Program Files\\Corvella\\FXAA";

TEST(PathList, TakingOutWhatWasAddedGivesBackTheValueExactly) {
  const struct {
    const wchar_t* path;
    const wchar_t* added;
  } cases[] = {
      {L"", L"C:\\Program Files\\Corvella\\FXAA"},
      {L"C:\\Tools", L"C:\\Tools;C:\\Program Files\\Corvella\\FXAA"},
      {L"%SystemRoot%\\system32;C:\\Tools;",
       L"%SystemRoot%\\system32;C:\\Tools;C:\\Program Files\\Corvella\\FXAA;"},
      {L";", L";C:\\Program Files\\Corvella\\FXAA;"},
      {L"C:\\a;;C:\\b", L"C:\\a;;C:\\b;C:\\Program Files\\Corvella\\FXAA"},
      {L"C:\\a;;", L"C:\\a;;C:\\Program Files\\Corvella\\FXAA;"},
  };
  for (const auto& c : cases) {
    const std::wstring added = path_list::WithEntry(c.path, kFolder);
    EXPECT_EQ(added, c.added);
    EXPECT_TRUE(path_list::Contains(added, kFolder, SameAsciiName)) << added;
    EXPECT_EQ(path_list::WithoutEntry(added, kFolder, SameAsciiName), c.path);
  }
}

TEST(PathList, TakesOutOnlyTheLastEntryNamingTheFolder) {
  const struct {
    const wchar_t* path;
    const wchar_t* without;
  } cases[] = {
      {L"C:\\a;C:\\Program Files\\Corvella\\FXAA;C:\\b", L"C:\\a;C:\\b"},
      {L"C:\\Program Files\\Corvella\\FXAA;C:\\a", L"C:\\a"},
      {L"C:\\a;c:\\program files\\corvella\\fxaa\\", L"C:\\a"},
      {L"C:\\a;\"C:\\Program Files\\Corvella\\FXAA\"", L"C:\\a"},
      {L"C:\\Program Files\\Corvella\\FXAA;C:\\a;C:\\Program Files\\Corvella\\FXAA",
       L"C:\\Program Files\\Corvella\\FXAA;C:\\a"},
      // Names that only begin or end like it are other folders.
      {L"C:\\Program Files\\Corvella\\FXAA2;C:\\a", L"C:\\Program Files\\Corvella\\FXAA2;C:\\a"},
      {L"C:\\a;D:\\Program Files\\Corvella\\FXAA", L"C:\\a;D:\\Program Files\\Corvella\\FXAA"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(path_list::WithoutEntry(c.path, kFolder, SameAsciiName), c.without) << c.path;
    EXPECT_EQ(path_list::Contains(c.path, kFolder, SameAsciiName),
              std::wstring(c.path) != c.without)
        << c.path;
  }
}

}  // namespace
