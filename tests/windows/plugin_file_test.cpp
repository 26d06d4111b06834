// The cross-built FXAA.aex as the host sees the file: a 64-bit Windows library with one export,
// the PiPL resource with exactly the prescribed bytes, and no imports beyond the system's own
// libraries and OPENGL32 (the C++ runtime and GLEW are linked in). fxaa.exe likewise imports
// only system libraries: zlib, libpng and OpenEXR are linked in. The frei0r filter fxaa.dll and
// the OpenFX plug-in FXAA.ofx export their interface's functions and nothing of the effect inside.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>

#include "tests/windows/binary_readers.h"
#include "tests/windows/pipl_expected.h"

namespace {

// FXAA_AEX, FXAA_EXE, FXAA_FREI0R_DLL and FXAA_OFX name the files to check; otherwise the Windows
// build folder's.
std::string PathFrom(const char* variable, const char* built) {
  const char* path = std::getenv(variable);
  return path && *path ? path : built;
}

// The DLLs every 64-bit Windows (7 and later) installs. Anything else, such as zlib1.dll,
// libstdc++-6.dll, libwinpthread-1.dll or glew32.dll, would have to travel with the binary, and
// Wine supplying it would hide that from the tests run under Wine. The Universal CRT
// (api-ms-win-crt-*) is left out: Windows before 10 has it only as an update, and mingw-w64's
// runtime uses msvcrt.
std::vector<std::string> NonSystemImports(const wintest::PeImage& image) {
  static const std::set<std::string> system = {
      "kernel32.dll", "user32.dll", "gdi32.dll",    "advapi32.dll", "shell32.dll", "ole32.dll",
      "oleaut32.dll", "ws2_32.dll", "bcrypt.dll",   "opengl32.dll", "msvcrt.dll"};
  std::vector<std::string> others;
  for (std::string dll : image.importedDlls) {
    std::transform(dll.begin(), dll.end(), dll.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (!system.count(dll)) others.push_back(dll);
  }
  return others;
}

class WindowsBinary : public ::testing::Test {
 protected:
  void Read(const std::string& path) {
    if (!std::ifstream(path, std::ios::binary))
      GTEST_SKIP() << path << " is not built (scripts/build-windows.sh builds it)";
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(wintest::ReadWholeFile(path, &file, &error)) << error;
    ASSERT_TRUE(wintest::ReadPeImage(file, &image_, &error)) << path << ": " << error;
  }
  wintest::PeImage image_;
};

class PluginFile : public WindowsBinary {
 protected:
  void SetUp() override { Read(PathFrom("FXAA_AEX", FXAA_WINDOWS_PLUGIN_PATH)); }
};

class ToolFile : public WindowsBinary {
 protected:
  void SetUp() override { Read(PathFrom("FXAA_EXE", FXAA_WINDOWS_TOOL_PATH)); }
};

class Frei0rFile : public WindowsBinary {
 protected:
  void SetUp() override { Read(PathFrom("FXAA_FREI0R_DLL", FXAA_WINDOWS_FREI0R_PATH)); }
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
  EXPECT_EQ(NonSystemImports(image_), std::vector<std::string>{});
  bool opengl = false;
  for (const std::string& dll : image_.importedDlls)
    opengl = opengl || dll == "OPENGL32.dll" || dll == "opengl32.dll";
  EXPECT_TRUE(opengl) << "does not import OPENGL32, so it cannot render through WGL";
}

TEST_F(ToolFile, IsA64BitProgramImportingOnlySystemLibraries) {
  EXPECT_EQ(image_.machine, 0x8664);
  EXPECT_EQ(image_.characteristics & 0x2000, 0);  // a program, not a DLL
  EXPECT_EQ(NonSystemImports(image_), std::vector<std::string>{});
}

TEST_F(Frei0rFile, IsA64BitLibraryExportingOnlyTheFrei0rFunctions) {
  EXPECT_EQ(image_.machine, 0x8664);
  EXPECT_NE(image_.characteristics & 0x2000, 0);
  std::vector<std::string> exports = image_.exportNames;
  std::sort(exports.begin(), exports.end());
  EXPECT_EQ(exports, (std::vector<std::string>{
                         "f0r_construct", "f0r_deinit", "f0r_destruct", "f0r_get_param_info",
                         "f0r_get_param_value", "f0r_get_plugin_info", "f0r_init",
                         "f0r_set_param_value", "f0r_update"}));
  EXPECT_EQ(NonSystemImports(image_), std::vector<std::string>{});
}

class OfxFile : public WindowsBinary {
 protected:
  void SetUp() override { Read(PathFrom("FXAA_OFX", FXAA_WINDOWS_OFX_PATH)); }
};

TEST_F(OfxFile, IsA64BitLibraryExportingOnlyTheOpenFxFunctions) {
  EXPECT_EQ(image_.machine, 0x8664);
  EXPECT_NE(image_.characteristics & 0x2000, 0);
  std::vector<std::string> exports = image_.exportNames;
  std::sort(exports.begin(), exports.end());
  EXPECT_EQ(exports, (std::vector<std::string>{"OfxGetNumberOfPlugins", "OfxGetPlugin"}));
  EXPECT_EQ(NonSystemImports(image_), std::vector<std::string>{});
}

}  // namespace
