// The fxaa executable as a user runs it: exit statuses, what goes to standard output and what
// to standard error, and finding the plug-in in the installed layout.
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "cli_test_util.h"

namespace {

using cli_test::Process;
using cli_test::RunProcess;
using cli_test::ScratchDir;
namespace fs = std::filesystem;

TEST(ToolProcess, ExitStatusesFollowTheUsualMeaning) {
  ScratchDir dir;
  EXPECT_EQ(RunProcess(dir, FXAA_TOOL_PATH, {"--version"}).status, 0);
  const Process usage = RunProcess(dir, FXAA_TOOL_PATH, {"--strength"});
  EXPECT_EQ(usage.status, 2);
  EXPECT_TRUE(usage.out.empty()) << usage.out;
  EXPECT_FALSE(usage.err.empty());
  const Process missing = RunProcess(dir, FXAA_TOOL_PATH, {dir / "none.png", "-o", dir / "out.png"});
  EXPECT_EQ(missing.status, 1) << missing.err;
  EXPECT_NE(missing.err.find(dir / "none.png" + ": no such file"), std::string::npos) << missing.err;
}

TEST(ToolProcess, TheToolsMessagesGoToStandardErrorOnly) {
  ScratchDir dir;
  fxaa_cli::WriteImage(cli_test::MakeImage(16, 16, fxaa_cli::ChannelLayout::kRGB,
                                           fxaa_cli::SampleType::kUInt8),
                       dir / "in.png");
  // No --plugin: the one this build made is found.
  const Process p = RunProcess(dir, FXAA_TOOL_PATH, {dir / "in.png", "-o", dir / "out.png"});
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_NE(p.err.find("wrote " + dir / "out.png"), std::string::npos) << p.err;
  EXPECT_EQ(p.out.find("fxaa:"), std::string::npos) << p.out;
  EXPECT_EQ(p.err.find('\r'), std::string::npos);  // not a terminal: plain lines, no bar
}

// a.png, b.png and c.png: three RGB frames of `width` x `height`.
void WriteThreeFrames(const ScratchDir& dir, int width, int height) {
  for (const char* name : {"a.png", "b.png", "c.png"})
    fxaa_cli::WriteImage(cli_test::MakeImage(width, height, fxaa_cli::ChannelLayout::kRGB,
                                             fxaa_cli::SampleType::kUInt8),
                         dir / name);
}

TEST(ToolProcess, WithoutOpenGLTheBatchStopsWithOneMessage) {
  ScratchDir dir;
  WriteThreeFrames(dir, 8, 8);
  // glvnd finds no EGL vendor library: the plug-in gets no context.
  const Process p = RunProcess(dir, FXAA_TOOL_PATH, {dir / "a.png", dir / "b.png", dir / "c.png", "-o", dir / "out/"},
                               "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json");
  if (p.status == 0) GTEST_SKIP() << "OpenGL was found without the EGL vendor list";
  EXPECT_EQ(p.status, 1);
  size_t count = 0;
  for (size_t at = p.err.find("no OpenGL 3.2 core context"); at != std::string::npos;
       at = p.err.find("no OpenGL 3.2 core context", at + 1))
    ++count;
  EXPECT_EQ(count, 1u) << p.err;
  EXPECT_TRUE(dir.Files("out").empty());
}

// A frame the GPU fails is that frame's failure alone: the others are written, the message names
// the cause, and only a missing context would ask whether OpenGL is available (the plug-in gives
// the same code for both, 512, which the tool tells apart).
TEST(ToolProcess, AFrameTheGpuFailsIsOneFailedFrameAndLeavesNoFile) {
  const struct {
    const char* fault;       // the test-only plug-in's fault, for b.png (a.png made three targets)
    const char* said;        // after "b.png: cannot render: "
    const char* plugInLine;  // the plug-in's own line on standard output, or ""
  } cases[] = {
      {"target-storage:3:1", "out of memory", "error on render target err 4"},
      {"context-switch:2:1", "the GPU failed the frame (16 x 8, plug-in error 512)", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    ScratchDir dir;
    WriteThreeFrames(dir, 16, 8);
    const Process p = RunProcess(
        dir, FXAA_TOOL_PATH,
        {"--plugin", FXAA_FAULT_PLUGIN_PATH, "-j", "1", dir / "a.png", dir / "b.png",
         dir / "c.png", "-o", dir / "out/"},
        std::string("FXAA_GL_FAULT=") + c.fault);
    EXPECT_EQ(p.status, 1) << p.err;
    EXPECT_NE(p.err.find(dir / "b.png" + ": cannot render: " + c.said), std::string::npos) << p.err;
    EXPECT_NE(p.out.find(c.plugInLine), std::string::npos) << p.out;
    EXPECT_EQ(p.err.find("OpenGL"), std::string::npos) << p.err;
    EXPECT_EQ(dir.Files("out"), (std::vector<std::string>{"a.png", "c.png"}));
  }
}

// A failure that outlasts the probe frame but is not a missing context (here every program build
// fails) is each frame's own, not a reason to blame OpenGL and stop the batch.
TEST(ToolProcess, AFailureThatIsNoMissingContextStopsNoBatch) {
  ScratchDir dir;
  WriteThreeFrames(dir, 16, 8);
  const Process p = RunProcess(dir, FXAA_TOOL_PATH,
                               {"--plugin", FXAA_FAULT_PLUGIN_PATH, "-j", "1", dir / "a.png",
                                dir / "b.png", dir / "c.png", "-o", dir / "out/"},
                               "FXAA_GL_FAULT=program-build:4:1000");
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err.find("no OpenGL 3.2 core context"), std::string::npos) << p.err;
  for (const char* name : {"a.png", "b.png", "c.png"})
    EXPECT_NE(p.err.find(dir / name + ": cannot render: the effect failed, though an OpenGL 3.2 "
                                      "context can be made here"),
              std::string::npos)
        << p.err;
}

// Help reads what the plug-in declares without setting it up: no OpenGL context, so no word of
// EGL even where none can be made.
TEST(ToolProcess, HelpGivesTheDeclaredRangesWithoutOpenGL) {
  ScratchDir dir;
  const Process p = RunProcess(dir, FXAA_TOOL_PATH, {"render", "--help"},
                               "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json");
  EXPECT_EQ(p.status, 0);
  EXPECT_NE(p.out.find("(0 to 100, default 100)"), std::string::npos) << p.out;
  EXPECT_EQ((p.out + p.err).find("EGL"), std::string::npos) << p.out << p.err;
}

// `fxaa info` names the renderer of a context made as the plug-in makes its own, or says there
// is none; the OpenGL layer's messages about a failed context come on lines of their own, before
// the renderer's line, and garble nothing.
TEST(ToolProcess, InfoNamesTheRendererOrSaysThereIsNone) {
  const struct {
    const char* what;
    const char* environment;
    bool renders;
  } cases[] = {
      {"this machine's OpenGL", "", true},
      {"no EGL vendor library", "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const Process p = RunProcess(dir, FXAA_TOOL_PATH, {"info"}, c.environment);
    ASSERT_EQ(p.status, 0) << p.err;
    std::vector<std::string> lines;
    std::istringstream text(p.out);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    const auto renderer = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.rfind("Renderer:   ", 0) == 0;
    });
    ASSERT_GT(lines.end() - renderer, 2) << p.out;
    const bool none =
        renderer->rfind("Renderer:   none: no OpenGL 3.2 context could be made", 0) == 0;
    if (!c.renders && !none) GTEST_SKIP() << "OpenGL was found without the EGL vendor list";
    EXPECT_EQ(none, !c.renders) << *renderer;
    if (c.renders) {
      const std::regex named("Renderer:   [^ ].*, OpenGL [0-9]+\\.[0-9].*");
      EXPECT_TRUE(std::regex_match(*renderer, named)) << *renderer;
      // The largest frame, read from the same context: no driver takes fewer than 1024 a side.
      std::smatch largest;
      ASSERT_TRUE(std::regex_match(renderer[1], largest,
                                   std::regex("Frames:     at most ([0-9]+) pixels a side .*")))
          << p.out;
      EXPECT_GE(std::stoi(largest[1]), 1024) << renderer[1];
    }
    EXPECT_EQ(renderer[c.renders ? 2 : 1], "About:") << p.out;
    // The lines before it are the plug-in's file, version and rendering, each whole, and the
    // OpenGL layer's messages when a context failed.
    const auto renders = std::find_if(lines.begin(), renderer, [](const std::string& line) {
      return line.rfind("Renders:    smart render, ", 0) == 0;
    });
    EXPECT_NE(renders, renderer) << p.out;
    EXPECT_EQ(renders + 1 == renderer, c.renders) << p.out;
  }
}

TEST(ToolProcess, FindsThePluginInTheInstalledLayout) {
  ScratchDir dir;
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "lib/fxaa");
  fs::copy_file(FXAA_TOOL_PATH, dir / "bin/fxaa");
  fs::copy_file(FXAA_PLUGIN_PATH, dir / ("lib/fxaa/" + fs::path(FXAA_PLUGIN_PATH).filename().string()));
  const Process p = RunProcess(dir, dir / "bin/fxaa", {"info"});
  ASSERT_EQ(p.status, 0) << p.err;
  const std::string expected = (dir.path() / "lib/fxaa" / fs::path(FXAA_PLUGIN_PATH).filename()).string();
  EXPECT_NE(p.out.find("Plug-in:    " + expected), std::string::npos) << p.out;
}

// Runs the tool on `args` in the background (after the `environment` assignments), sends it
// `signal` (Ctrl-C's by default) once it reports its first frame written, and waits for it; one
// that has not ended half a minute later is killed (status 137). Job control keeps the signal from
// being ignored, as a shell does for background jobs without it.
Process InterruptAfterTheFirstFrame(const ScratchDir& dir, const std::vector<std::string>& args,
                                    const std::string& signal = "INT",
                                    const std::string& environment = "") {
  std::string tool = environment + " " + cli_test::Quote(FXAA_TOOL_PATH);
  for (const std::string& a : args) tool += " " + cli_test::Quote(a);
  const std::string progress = cli_test::Quote(dir / "progress.txt");
  const std::string script = "set -m; " + tool + " 2>" + progress + " & pid=$!; " +
                             "for i in $(seq 1200); do grep -q wrote " + progress +
                             " && break; sleep 0.05; done; kill -" + signal + " $pid; " +
                             "for i in $(seq 600); do kill -0 $pid 2>/dev/null || break; " +
                             "sleep 0.05; done; kill -KILL $pid 2>/dev/null; wait $pid";
  Process p = RunProcess(dir, "bash", {"-c", script});
  const auto err = cli_test::FileBytes(dir / "progress.txt");
  p.err.assign(err.begin(), err.end());
  fs::remove(dir / "progress.txt");
  return p;
}

TEST(ToolProcess, CtrlCTermOrHupStopsAVideoOrASequenceLeavingOnlyCompleteFiles) {
  ScratchDir dir;
  const cli_test::Process made = RunProcess(
      dir, "ffmpeg",
      {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-frames:v", "300",
       "-c:v", "libx264", "-pix_fmt", "yuv420p", dir / "in.mp4"});
  ASSERT_EQ(made.status, 0) << made.err;
  fs::create_directory(dir / "seq");
  ASSERT_EQ(RunProcess(dir, "ffmpeg", {"-v", "error", "-i", dir / "in.mp4", "-frames:v", "60",
                                       dir / "seq/f.%03d.png"})
                .status,
            0);
  struct Case {
    std::vector<std::string> args;
    std::string output;  // a file that must not be there, or a folder of complete frames
    const char* signal;
    int status;  // 128 and the signal's number
  };
  const std::vector<Case> cases = {
      {{dir / "in.mp4", "-o", dir / "out/v.mp4"}, dir / "out/v.mp4", "INT", 130},
      {{dir / "seq/f.%03d.png", "-o", dir / "out/s.mkv"}, dir / "out/s.mkv", "INT", 130},
      {{dir / "seq/f.%03d.png", "-o", dir / "out/s.%03d.png", "-j", "1"}, dir / "out", "INT", 130},
      {{dir / "in.mp4", "-o", dir / "out/v.mp4"}, dir / "out/v.mp4", "TERM", 143},
      {{dir / "seq/f.%03d.png", "-o", dir / "out/s.%03d.png", "-j", "1"}, dir / "out", "TERM", 143},
      {{dir / "in.mp4", "-o", dir / "out/v.mp4"}, dir / "out/v.mp4", "HUP", 129},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back() + " " + c.signal);
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    const Process p = InterruptAfterTheFirstFrame(dir, c.args, c.signal);
    EXPECT_EQ(p.status, c.status) << p.err;
    EXPECT_NE(p.err.find("wrote"), std::string::npos) << p.err;
    std::vector<std::string> left = dir.Files("out");
    if (c.output != dir / "out") {
      EXPECT_TRUE(left.empty()) << left.front();  // no file, no temporary file
      continue;
    }
    // Frames written before the stop stay, each complete; the rest were never begun.
    ASSERT_FALSE(left.empty());
    EXPECT_LT(left.size(), 60u);
    for (const std::string& name : left) {
      EXPECT_NE(name[0], '.') << name;
      EXPECT_NO_THROW(fxaa_cli::ReadImage(dir / ("out/" + name))) << name;
    }
  }
}

// A pipe among a sequence's files is refused before any is opened, as the one input is. A thread
// held in open() for ever (preloaded here: as by a pipe put in a file's place while the run goes,
// or a hung file system) does not keep a run SIGTERM stops: it ends saying so, leaving complete
// frames only and no temporary file.
TEST(ToolProcess, APipeInASequenceIsRefusedAndSigtermEndsARunHeldInOpen) {
  ScratchDir dir;
  fs::create_directory(dir / "seq");
  fs::create_directory(dir / "out");
  for (const std::string name : {"f.001.png", "f.003.png", "f.004.png"})
    fxaa_cli::WriteImage(cli_test::MakeImage(16, 16, fxaa_cli::ChannelLayout::kRGB,
                                             fxaa_cli::SampleType::kUInt8), dir / ("seq/" + name));
  ASSERT_EQ(mkfifo((dir / "seq/f.002.png").c_str(), 0600), 0);
  const Process refused = RunProcess(dir, "timeout", {"-k", "5", "30", FXAA_TOOL_PATH,
                                                      dir / "seq/f.%03d.png", "-o", dir / "out/"});
  EXPECT_EQ(refused.status, 2) << refused.err;
  EXPECT_NE(refused.err.find("f.002.png: a pipe, not a file"), std::string::npos) << refused.err;
  EXPECT_TRUE(dir.Files("out").empty());
  fs::remove(dir / "seq/f.002.png");
  fs::copy_file(dir / "seq/f.001.png", dir / "seq/f.002.png");
  const std::string held = "FXAA_TEST_BLOCKING_OPEN=f.003.png LD_PRELOAD=" BLOCKING_OPEN_PATH
                           " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0";
  for (const std::string output : {"s.mkv", "s.%03d.png"}) {
    SCOPED_TRACE(output);
    const Process p = InterruptAfterTheFirstFrame(
        dir, {"-j", "1", dir / "seq/f.%03d.png", "-o", dir / ("out/" + output)}, "TERM", held);
    EXPECT_EQ(p.status, 143) << p.err;
    EXPECT_NE(p.err.find("fxaa: stopped by SIGTERM with frames still in flight"), p.err.npos);
    for (const std::string& name : dir.Files("out"))  // no video, no temporary file
      EXPECT_TRUE(name == "s.001.png" || name == "s.002.png") << name;
  }
}

// What a killed run (kill -9) leaves: its temporary file beside the output. The next run that
// writes that output removes it; one of a process still running, or of another output, stays.
TEST(ToolProcess, ARunRemovesTheTemporaryFilesAKilledRunLeftForItsOutputs) {
  ScratchDir dir;
  fxaa_cli::WriteImage(cli_test::MakeImage(16, 16, fxaa_cli::ChannelLayout::kRGB,
                                           fxaa_cli::SampleType::kUInt8),
                       dir / "in.png");
  ASSERT_EQ(RunProcess(dir, "ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                       "testsrc2=size=32x24:rate=25", "-frames:v", "2",
                                       "-c:v", "ffv1", dir / "in.mkv"})
                .status,
            0);
  // The id of a process that has ended.
  const Process shell = RunProcess(dir, "sh", {"-c", "echo $$"});
  const std::string ended = std::to_string(std::stoul(shell.out));
  const std::string running = std::to_string(getpid());  // this test
  const struct {
    std::vector<std::string> args;
    std::string output;  // the output's file name, in the folder out/
  } cases[] = {
      {{dir / "in.mkv", "-o", dir / "out/v.mkv"}, "v.mkv"},
      {{dir / "in.mkv", "-o", dir / "out/f.%03d.png"}, "f.002.png"},
      {{dir / "in.png", "-o", dir / "out/one.png"}, "one.png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    const std::string dead = "." + c.output + ".tmp-" + ended + "-0";
    const std::vector<std::string> kept = {"." + c.output + ".tmp-" + running + "-0",
                                           ".other.png.tmp-" + ended + "-0"};
    for (const std::string& name : kept) cli_test::WriteBytes(dir / ("out/" + name), {'x'});
    cli_test::WriteBytes(dir / ("out/" + dead), {'x'});
    const Process p = RunProcess(dir, FXAA_TOOL_PATH, c.args);
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_FALSE(fs::exists(dir / ("out/" + dead)));
    for (const std::string& name : kept) EXPECT_TRUE(fs::exists(dir / ("out/" + name))) << name;
  }
}

}  // namespace
