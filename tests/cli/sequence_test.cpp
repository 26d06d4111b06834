// Frame patterns, frame ranges and the batch plan: which file each frame comes from and goes
// to, gaps, and the command lines that must be refused.
#include "cli/batch_plan.h"
#include "cli/file_frames.h"
#include "cli/sequence.h"

#include "cli_test_util.h"

namespace {

using namespace fxaa_cli;
using cli_test::ScratchDir;
namespace fs = std::filesystem;

TEST(FramePatterns, ParseBothPlaceholderStyles) {
  struct Case {
    const char* text;
    bool isPattern;
    const char* prefix;
    const char* suffix;
    int width;
  };
  const Case cases[] = {
      {"shot.%04d.exr", true, "shot.", ".exr", 4},
      {"a/b/frame_%d.png", true, "a/b/frame_", ".png", 0},
      {"plate.####.png", true, "plate.", ".png", 4},
      {"x#.png", true, "x", ".png", 1},
      {"100%%_%03d.png", true, "100%_", ".png", 3},
      {"still.png", false, "", "", 0},
      {"50%%.png", false, "", "", 0},
  };
  for (const Case& c : cases) {
    FramePattern p;
    EXPECT_EQ(ParsePattern(c.text, &p), c.isPattern) << c.text;
    if (!c.isPattern) continue;
    EXPECT_EQ(p.prefix, c.prefix) << c.text;
    EXPECT_EQ(p.suffix, c.suffix) << c.text;
    EXPECT_EQ(p.width, c.width) << c.text;
  }
}

TEST(FramePatterns, RefuseMalformedPlaceholders) {
  for (const char* text : {"a.%04d.%04d.png", "a.%s.png", "a.####.%d.png", "a.%4.png",
                           "a.%010d.png", "a.%4294967297d.png"}) {
    FramePattern p;
    EXPECT_THROW(ParsePattern(text, &p), UsageError) << text;
  }
}

TEST(FramePatterns, FormatPadsAndMatchReadsTheNumberBack) {
  FramePattern padded{"shot.", ".exr", 4};
  EXPECT_EQ(padded.Format(7), "shot.0007.exr");
  EXPECT_EQ(padded.Format(12345), "shot.12345.exr");
  FramePattern plain{"f", ".png", 0};
  EXPECT_EQ(plain.Format(7), "f7.png");

  struct Case {
    const FramePattern* pattern;
    const char* name;
    int frame;  // -1: no match
  };
  const Case cases[] = {
      {&padded, "shot.0007.exr", 7},  {&padded, "shot.12345.exr", 12345},
      {&padded, "shot.007.exr", -1},  {&padded, "shot.00007.exr", -1},
      {&padded, "shot.0007.png", -1}, {&padded, "shot.00a7.exr", -1},
      {&plain, "f7.png", 7},          {&plain, "f07.png", -1},
      {&plain, "f.png", -1},
  };
  for (const Case& c : cases) {
    int frame = -1;
    const bool matched = c.pattern->Match(c.name, &frame);
    EXPECT_EQ(matched, c.frame >= 0) << c.name;
    if (matched) {
      EXPECT_EQ(frame, c.frame) << c.name;
    }
  }
}

TEST(FrameRanges, ParseRangesStepsAndLists) {
  struct Case {
    const char* text;
    std::vector<int> frames;
  };
  const Case cases[] = {
      {"1-5", {1, 2, 3, 4, 5}}, {"7", {7}},           {"1-9x4", {1, 5, 9}},
      {"1-3,2-4", {1, 2, 3, 4}}, {"10,2", {2, 10}},   {"0-1", {0, 1}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFrameRange(c.text), c.frames) << c.text;
}

TEST(FrameRanges, RefuseMalformedText) {
  for (const char* text : {"", "5-1", "a", "1-", "-3", "1-5x0", "1,,2", "1-5y2", "3.5", "1-2x"}) {
    EXPECT_THROW(ParseFrameRange(text), UsageError) << "'" << text << "'";
  }
}

class BatchPlanTest : public ::testing::Test {
 protected:
  // What a plan of files reads, and where each file goes.
  static const std::vector<FileFrame>& Files(const BatchPlan& plan) {
    return dynamic_cast<const FileSource&>(*plan.source).files();
  }
  static std::string Output(const BatchPlan& plan, size_t i) {
    const FileFrame& f = Files(plan)[i];
    return dynamic_cast<const FileSink&>(*plan.sink).OutputFor(f.number, f.path);
  }
  // Writes empty files: the plan only looks at names.
  void Touch(const std::string& name) { cli_test::WriteBytes(dir_ / name, {'x'}); }
  std::string At(const std::string& name) const { return dir_ / name; }

  ScratchDir dir_;
};

TEST_F(BatchPlanTest, ScannedSequenceRunsFromFirstToLastFrameAndMarksGaps) {
  for (const char* f : {"in.0002.png", "in.0003.png", "in.0005.png", "other.0001.png"}) Touch(f);
  const BatchPlan plan = PlanBatch({At("in.%04d.png")}, "", At("out.%04d.png"));
  ASSERT_EQ(Files(plan).size(), 4u);
  EXPECT_EQ(plan.gaps, std::vector<std::string>{At("in.0004.png")});
  EXPECT_EQ(Files(plan)[0].number, 2);
  EXPECT_EQ(Files(plan)[2].path, At("in.0004.png"));
  EXPECT_TRUE(Files(plan)[2].missing);
  EXPECT_FALSE(Files(plan)[3].missing);
  EXPECT_EQ(Output(plan, 3), At("out.0005.png"));
}

TEST_F(BatchPlanTest, GivenRangeMarksEveryAbsentFrame) {
  for (const char* f : {"in.1.exr", "in.3.exr"}) Touch(f);
  BatchPlan plan = PlanBatch({At("in.#.exr")}, "1-4", At("out") + "/");
  ASSERT_EQ(Files(plan).size(), 4u);
  EXPECT_EQ(plan.gaps.size(), 2u);
  EXPECT_TRUE(Files(plan)[1].missing);
  EXPECT_TRUE(Files(plan)[3].missing);
  // A folder output keeps the input names, and is created when the batch starts, not before.
  EXPECT_EQ(Output(plan, 2), (fs::path(At("out")) / "in.3.exr").string());
  EXPECT_FALSE(fs::exists(At("out")));
  plan.sink->Start(*plan.source, SinkContext{});
  EXPECT_TRUE(fs::is_directory(At("out")));
}

TEST_F(BatchPlanTest, NoFilesOrNoOutputFolderAreRuntimeErrorsFoundBeforeAnyFrame) {
  EXPECT_THROW(PlanBatch({At("none.%04d.png")}, "", At("o.%04d.png")), ImageError);
  Touch("a.0001.png");
  try {
    PlanBatch({At("a.%04d.png")}, "", At("typo/o.%04d.png"));
    ADD_FAILURE() << "accepted";
  } catch (const ImageError& e) {
    EXPECT_EQ(std::string(e.what()), At("typo") + ": output folder does not exist");
  }
}

// A name up to the file system's limit (255 bytes here) is written, its temporary name shortened
// to fit beside it; a longer one is refused before anything is rendered.
TEST_F(BatchPlanTest, OutputNamesUpToTheLimitAreWrittenLongerOnesRefusedAtOnce) {
  Touch("in.png");
  const std::string fits = std::string(246, 'n') + ".png";
  EXPECT_NO_THROW(PlanBatch({At("in.png")}, "", At(fits)));
  WriteImage(cli_test::MakeImage(8, 8, ChannelLayout::kRGB, SampleType::kUInt8), At(fits));
  EXPECT_EQ(dir_.Files(), (std::vector<std::string>{"in.png", fits}));
  EXPECT_THROW(PlanBatch({At("in.png")}, "", At(std::string(252, 'n') + ".png")), UsageError);
}

TEST_F(BatchPlanTest, FileListNumbersFramesByTheirOwnNumbersOrPosition) {
  const BatchPlan numbered =
      PlanBatch({At("shot_7.png"), At("shot_19.png")}, "", At("aa.%03d.png"));
  EXPECT_EQ(Output(numbered, 0), At("aa.007.png"));
  EXPECT_EQ(Output(numbered, 1), At("aa.019.png"));

  const BatchPlan unnumbered = PlanBatch({At("x.png"), At("y.png")}, "", At("aa.%03d.png"));
  EXPECT_EQ(Output(unnumbered, 0), At("aa.001.png"));
  EXPECT_EQ(Output(unnumbered, 1), At("aa.002.png"));
  EXPECT_TRUE(unnumbered.gaps.empty());  // a missing listed file is found when it is read
}

TEST_F(BatchPlanTest, RefusesPlansThatCannotWork) {
  fs::create_directory(At("sub"));
  Touch("a.png");
  struct Case {
    std::vector<std::string> inputs;
    std::string frames, output, message;
  };
  const std::vector<Case> cases = {
      {{At("a.png"), At("b.png")}, "", At("one.png"), "several frames need an output pattern"},
      {{At("a.png")}, "", At("a.png"), "would overwrite an input"},
      {{At("a.png")}, "", At("sub/../a.png"), "would overwrite an input"},
      {{At("a.png")}, "", At("."), "would overwrite an input"},
      {{At("a.png"), At("sub/a.png")}, "", At("out") + "/", "written twice"},
      {{At("a.png")}, "1-3", At("o.png"), "--frames needs a numbered input"},
      {{At("a.png")}, "", At("o.gif"), "unknown output type"},
      {{At("s.%02d.png"), At("a.png")}, "", At("o/"), "must be the only input"},
      {{}, "", At("o.png"), "no input"},
      {{At("a.png")}, "", "", "no output"},
  };
  for (const Case& c : cases) {
    try {
      PlanBatch(c.inputs, c.frames, c.output);
      ADD_FAILURE() << c.output << ": accepted";
    } catch (const UsageError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  // Nothing was created for a refused plan.
  EXPECT_FALSE(fs::exists(At("out")));
}

}  // namespace
