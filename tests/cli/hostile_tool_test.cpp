// The fxaa executable given hostile input files and outputs it cannot write: exit status 1, one
// message line naming the file, the other frames still written, and nothing left behind under
// an output name or as a temporary file.
#include <unistd.h>

#include "cli_test_util.h"
#include "hostile_files.h"

namespace {

using namespace fxaa_cli;
using cli_test::Bytes;
using cli_test::Process;
using cli_test::RunProcess;
using cli_test::ScratchDir;
namespace fs = std::filesystem;

// Lines of `text` that start with `start`.
int LinesStartingWith(const std::string& text, const std::string& start) {
  int count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) count += line.rfind(start, 0) == 0;
  return count;
}

// Files under `dir` named as the tool names its temporary files.
std::vector<std::string> TemporaryFiles(const ScratchDir& dir) {
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(dir.path()))
    if (e.path().filename().string().find(".tmp-") != std::string::npos)
      found.push_back(e.path().string());
  return found;
}

// A valid 12 x 9 file of `name`'s format.
Bytes Valid(ChannelLayout layout, SampleType type, const std::string& name) {
  return cli_test::Encoded(cli_test::MakeImage(12, 9, layout, type, 4), name);
}
Bytes ValidPng() { return Valid(ChannelLayout::kRGBA, SampleType::kUInt8, "v.png"); }
Bytes ValidExr() { return Valid(ChannelLayout::kRGB, SampleType::kHalf, "v.exr"); }

// `b` without its last `drop` bytes.
Bytes CutShort(Bytes b, size_t drop) {
  b.resize(b.size() - drop);
  return b;
}

struct HostileInput {
  const char* name;
  Bytes (*make)();
};

std::ostream& operator<<(std::ostream& out, const HostileInput& c) { return out << c.name; }

const HostileInput kInputs[] = {
    {"cut_short.png",
     [] {
       Bytes b = ValidPng();
       b.resize(b.size() / 2);
       return b;
     }},
    {"flipped.png",
     [] {
       Bytes b = ValidPng();
       b[40] = static_cast<char>(b[40] ^ 0x10);
       return b;
     }},
    {"too_wide.png", [] { return cli_test::MakePng(kMaxImageSide + 1, 1, 8, 2, 1); }},
    {"promises_more.png", [] { return cli_test::MakePng(5000, 5000, 8, 6, 2); }},
    {"cut_short.exr", [] { return CutShort(ValidExr(), 20); }},
    {"window_absurd.exr",
     [] {
       cli_test::ExrRecipe s;
       s.dataWindow[3] = 1 << 29;
       s.tableEntries = 3;
       s.linesWritten = 0;
       return cli_test::ExrBytes(s);
     }},
    {"attribute_claims_2_gb.exr",
     [] {
       cli_test::ExrRecipe s;
       cli_test::PutString(&s.extraAttributes, "owner");
       cli_test::PutString(&s.extraAttributes, "string");
       cli_test::PutLE32(&s.extraAttributes, 0x7FFFFFF0u);
       return cli_test::ExrBytes(s);
     }},
    {"cut_short.tif", [] { return CutShort(Valid(ChannelLayout::kRGB, SampleType::kFloat, "v.tif"), 20); }},
    {"cut_short.jpg", [] { return CutShort(Valid(ChannelLayout::kRGB, SampleType::kUInt8, "v.jpg"), 20); }},
    {"empty.exr", [] { return Bytes(); }},
    {"text.png", [] { return Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}; }},
};

class HostileInputToTheTool : public ::testing::TestWithParam<HostileInput> {};

TEST_P(HostileInputToTheTool, FailsWithOneLineNamingTheFileAndWritesNothing) {
  ScratchDir dir;
  const std::string input = dir / GetParam().name;
  cli_test::WriteBytes(input, GetParam().make());
  const Process p = RunProcess(dir, FXAA_TOOL_PATH, {input, "-o", dir / "out/"});
  EXPECT_EQ(p.status, 1) << p.err;
  EXPECT_EQ(LinesStartingWith(p.err, "fxaa: " + input + ": "), 1) << p.err;
  EXPECT_EQ(p.out.find("fxaa:"), std::string::npos) << p.out;
  EXPECT_EQ(dir.Files("out"), std::vector<std::string>{});
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Files, HostileInputToTheTool, ::testing::ValuesIn(kInputs),
                         cli_test::FileCaseName<HostileInput>);

TEST(HostileInputToTheTool, OneBadFrameInABatchLeavesTheOthersWritten) {
  ScratchDir dir;
  cli_test::WriteBytes(dir / "a.png", ValidPng());
  Bytes cut = ValidExr();
  cut.resize(cut.size() / 3);
  cli_test::WriteBytes(dir / "b.exr", cut);
  cli_test::WriteBytes(dir / "c.exr", ValidExr());
  const Process p = RunProcess(dir, FXAA_TOOL_PATH,
                               {dir / "a.png", dir / "b.exr", dir / "c.exr", "-o", dir / "out/"});
  EXPECT_EQ(p.status, 1) << p.err;
  EXPECT_EQ(LinesStartingWith(p.err, "fxaa: " + dir / "b.exr" + ": "), 1) << p.err;
  EXPECT_EQ(dir.Files("out"), (std::vector<std::string>{"a.png", "c.exr"}));
  EXPECT_NO_THROW(ReadImage(dir / "out/c.exr"));
}

struct UnwritableOutput {
  const char* name;
  // Prepares `dir` and returns the -o argument and the file the message must name; empty
  // when the case cannot be made here (the reason in *skip).
  std::string (*prepare)(const ScratchDir& dir, std::string* named, std::string* skip);
  const char* shellPrefix;  // set-up of the tool's process
  const char* cause;        // part of the message
};

std::ostream& operator<<(std::ostream& out, const UnwritableOutput& c) { return out << c.name; }

// A noisy 16-bit frame: its PNG does not compress, so it is well over 16 KB.
void WriteBigInput(const ScratchDir& dir) {
  WriteImage(cli_test::MakeImage(96, 96, ChannelLayout::kRGBA, SampleType::kUInt16, 8),
             dir / "in.png");
}

const UnwritableOutput kOutputs[] = {
    {"missing_folder",
     [](const ScratchDir& dir, std::string* named, std::string*) {
       *named = dir / "missing";
       return dir / "missing/out.png";
     },
     "", "output folder does not exist"},
    {"folder_is_a_file",
     [](const ScratchDir& dir, std::string* named, std::string*) {
       cli_test::WriteBytes(dir / "plain", {'x'});
       *named = dir / "plain";
       return dir / "plain/out.png";
     },
     "", "not a folder"},
    {"output_name_is_a_folder",
     [](const ScratchDir& dir, std::string* named, std::string*) {
       fs::create_directories(dir / "out/in.png");
       *named = dir / "out/in.png";
       return dir / "out/";
     },
     "", "Is a directory"},
    {"read_only_folder",
     [](const ScratchDir& dir, std::string* named, std::string* skip) {
       if (geteuid() == 0) {
         *skip = "running as root, which writes into read-only folders";
         return std::string();
       }
       fs::create_directories(dir / "out");
       fs::permissions(dir / "out", fs::perms::owner_read | fs::perms::owner_exec);
       *named = dir / "out/in.png";
       return dir / "out/";
     },
     "", "Permission denied"},
    // Even root cannot create files in /proc.
    {"folder_refusing_new_files",
     [](const ScratchDir&, std::string* named, std::string* skip) {
       if (!fs::is_directory("/proc/self")) {
         *skip = "no /proc here";
         return std::string();
       }
       *named = "/proc/fxaa-test-out.png";
       return *named;
     },
     "", "cannot create"},
    // A disk that fills up mid-file, played by a file size limit (which binds root too).
    {"disk_full_png",
     [](const ScratchDir& dir, std::string* named, std::string*) {
       fs::create_directories(dir / "out");
       *named = dir / "out/in.png";
       return dir / "out/";
     },
     "ulimit -f 16; trap '' XFSZ;", "File too large"},
    {"disk_full_exr",
     [](const ScratchDir& dir, std::string* named, std::string*) {
       fs::create_directories(dir / "out");
       *named = dir / "out/in.exr";
       return dir / "out/in.exr";
     },
     "ulimit -f 16; trap '' XFSZ;", "File too large"},
    {"disk_full_tif",
     [](const ScratchDir& dir, std::string* named, std::string*) {
       fs::create_directories(dir / "out");
       *named = dir / "out/in.tif";
       return dir / "out/in.tif";
     },
     "ulimit -f 16; trap '' XFSZ;", "File too large"},
};

class UnwritableOutputOfTheTool : public ::testing::TestWithParam<UnwritableOutput> {};

TEST_P(UnwritableOutputOfTheTool, FailsWithOneLineAndLeavesNoFileBehind) {
  ScratchDir dir;
  WriteBigInput(dir);
  std::string named, skip;
  const std::string output = GetParam().prepare(dir, &named, &skip);
  if (output.empty()) GTEST_SKIP() << skip;
  const auto before = fs::is_directory(dir / "out") ? dir.Files("out") : std::vector<std::string>{};

  const Process p =
      RunProcess(dir, FXAA_TOOL_PATH, {dir / "in.png", "-o", output}, GetParam().shellPrefix);
  fs::permissions(dir.path(), fs::perms::owner_all);
  if (fs::is_directory(dir / "out")) fs::permissions(dir / "out", fs::perms::owner_all);

  EXPECT_EQ(p.status, 1) << p.err;
  EXPECT_EQ(LinesStartingWith(p.err, "fxaa: " + named + ": "), 1) << p.err;
  EXPECT_NE(p.err.find(GetParam().cause), std::string::npos) << p.err;
  EXPECT_EQ(p.err.find(".tmp-"), std::string::npos) << p.err;  // only names the user gave
  // Nothing new under the output name, and no temporary file anywhere.
  const auto after = fs::is_directory(dir / "out") ? dir.Files("out") : std::vector<std::string>{};
  EXPECT_EQ(after, before);
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Outputs, UnwritableOutputOfTheTool, ::testing::ValuesIn(kOutputs),
                         [](const ::testing::TestParamInfo<UnwritableOutput>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
