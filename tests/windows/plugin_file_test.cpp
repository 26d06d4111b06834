// The cross-built FXAA.aex as the host sees the file: a 64-bit Windows library with one export,
// the PiPL resource with exactly the prescribed bytes, and no imports beyond the system's own
// libraries and OPENGL32 (the C++ runtime and GLEW are linked in).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>

#include "tests/windows/binary_readers.h"
#include "tests/windows/pipl_expected.h"

namespace {

// FXAA_AEX names the file to check; otherwise the Windows build folder's.
std::string PluginPath() {
  const char* path = std::getenv("FXAA_AEX");
  return path && *path ? path : FXAA_WINDOWS_PLUGIN_PATH;
}

class PluginFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = PluginPath();
    if (!std::ifstream(path, std::ios::binary))
      GTEST_SKIP() << path << " is not built (scripts/build-windows.sh builds it)";
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(wintest::ReadWholeFile(path, &file, &error)) << error;
    ASSERT_TRUE(wintest::ReadPeImage(file, &image_, &error)) << path << ": " << error;
  }
  wintest::PeImage image_;
};

TEST_F(PluginFile, IsA64BitWindowsLibrary) {
  EXPECT_EQ(image_.machine, 0x8664);            // x86-64
  EXPECT_EQ(image_.optionalMagic, 0x20B);       // PE32+
  EXPECT_NE(image_.characteristics & 0x2000, 0);  // a DLL
}

TEST_F(PluginFile, ExportsOnlyEffectMain) {
  EXPECT_EQ(image_.exportNames, std::vector<std::string>{"EffectMain"});
  EXPECT_EQ(image_.exportedFunctions, 1u);
}

TEST_F(PluginFile, CarriesOnePiplResourceWithThePrescribedBytes) {
  std::vector<wintest::Resource> pipls;
  for (const wintest::Resource& r : image_.resources)
    if (r.type.isString && r.type.text == "PIPL") pipls.push_back(r);
  ASSERT_EQ(pipls.size(), 1u);
  EXPECT_FALSE(pipls[0].name.isString);
  EXPECT_EQ(pipls[0].name.id, 16000u);
  EXPECT_EQ(pipls[0].language, 1033u);
  EXPECT_EQ(wintest::FirstDifference(pipls[0].data,
                                     wintest::AssemblePipl(wintest::ExpectedProperties())), "");
}

TEST_F(PluginFile, ImportsOnlySystemLibrariesAndOpenGl) {
  // What a Windows machine always has. Anything else (libstdc++-6.dll, libwinpthread-1.dll,
  // glew32.dll) would have to be installed beside the plug-in.
  const std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "gdi32.dll",
                                         "opengl32.dll", "msvcrt.dll"};
  bool opengl = false;
  for (std::string dll : image_.importedDlls) {
    std::transform(dll.begin(), dll.end(), dll.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    EXPECT_TRUE(allowed.count(dll)) << "imports " << dll;
    opengl = opengl || dll == "opengl32.dll";
  }
  EXPECT_TRUE(opengl) << "does not import OPENGL32, so it cannot render through WGL";
}

}  // namespace
