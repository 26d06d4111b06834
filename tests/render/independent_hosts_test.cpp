// Two effect sessions in one process, each with a host of its own, rendering at once on two
// threads draw exactly the frames one session draws alone: nothing of one host (its place among
// the live hosts, its suites, its parameter values) reaches the other. Through the built
// plug-in, 8-bit and 32-bit float; one session loads the file, the other is handed the entry
// point, as a module with the effect compiled in would be.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host_runtime/effect_session.h"
#include "tests/render/test_images.h"

namespace {

using host_runtime::EffectSession;
using testimages::Image;
using Bytes = std::vector<uint8_t>;

struct Frame {
  Image image;
  int depth;
};

// A few frames of each depth, with edges in colour and in alpha.
std::vector<Frame> Frames() {
  std::vector<Frame> frames;
  for (int depth : {8, 32}) {
    frames.push_back({testimages::Edge(40, 30, 30), depth});
    frames.push_back({testimages::TextLike(33, 21), depth});
    frames.push_back({testimages::AlphaDisc(24, 24), depth});
  }
  return frames;
}

// Each session's parameters: they differ, so a frame drawn with the other host's values shows.
struct Setting {
  double source, strength;
};
constexpr Setting kSettings[2] = {{1, 100}, {2, 40}};

void Apply(EffectSession& session, const Setting& setting) {
  session.SetValue(session.Find("Source")->index, setting.source);
  session.SetValue(session.Find("Strength")->index, setting.strength);
}

// The bytes of the frames `session` renders (their worlds have no row padding); a failed frame
// is left empty.
std::vector<Bytes> RenderAll(EffectSession& session, const std::vector<Frame>& frames) {
  std::vector<Bytes> rendered;
  for (const Frame& f : frames) {
    host_runtime::World input(f.image.width, f.image.height, f.depth);
    host_runtime::World output(f.image.width, f.image.height, f.depth);
    testimages::Store(f.image, &input);
    const uint8_t* pixels = output.row(0);
    rendered.push_back(session.Render(&input, &output) == PF_Err_NONE
                           ? Bytes(pixels, pixels + size_t(output.rowbytes()) * output.height())
                           : Bytes());
  }
  return rendered;
}

TEST(IndependentHosts, TwoSessionsOnTwoThreadsDrawWhatOneSessionDrawsAlone) {
  const std::vector<Frame> frames = Frames();
  std::string error;
  std::vector<Bytes> alone[2];
  {
    std::unique_ptr<EffectSession> one = EffectSession::Open(FXAA_PLUGIN_PATH, &error);
    ASSERT_NE(one, nullptr) << error;
    for (int s = 0; s < 2; ++s) {
      Apply(*one, kSettings[s]);
      alone[s] = RenderAll(*one, frames);
    }
  }

  std::unique_ptr<host_runtime::PluginModule> module =
      host_runtime::PluginModule::Load(FXAA_PLUGIN_PATH, &error);
  ASSERT_NE(module, nullptr) << error;
  std::unique_ptr<EffectSession> sessions[2] = {
      EffectSession::Open(FXAA_PLUGIN_PATH, &error),
      EffectSession::Open(module->entry(), "the linked-in effect", &error)};
  ASSERT_TRUE(sessions[0] && sessions[1]) << error;
  EXPECT_EQ(sessions[1]->path(), "the linked-in effect");
  constexpr int kRounds = 3;  // each thread draws every frame this often, the two overlapping
  std::vector<Bytes> together[2][kRounds];
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int s = 0; s < 2; ++s)
    threads.emplace_back([&, s] {
      Apply(*sessions[s], kSettings[s]);
      ++ready;
      while (ready.load() < 2) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round)
        together[s][round] = RenderAll(*sessions[s], frames);
    });
  for (std::thread& t : threads) t.join();

  for (int s = 0; s < 2; ++s)
    for (size_t f = 0; f < frames.size(); ++f) {
      SCOPED_TRACE("session " + std::to_string(s) + ", frame " + std::to_string(f));
      ASSERT_FALSE(alone[s][f].empty()) << "the frame failed alone";
      for (int round = 0; round < kRounds; ++round)
        EXPECT_TRUE(together[s][round][f] == alone[s][f]) << "round " << round;
    }
  for (size_t f = 0; f < frames.size(); ++f)
    EXPECT_TRUE(alone[0][f] != alone[1][f]) << "frame " << f << ": the settings draw alike";
}

// One session, two threads, each frame with values of its own (as an OpenFX host renders two
// times of a clip at once): each draws what the session draws with those values alone.
TEST(IndependentHosts, FramesOfOneSessionAtOnceKeepTheirOwnValues) {
  const std::vector<Frame> frames = Frames();
  std::string error;
  std::unique_ptr<EffectSession> session = EffectSession::Open(FXAA_PLUGIN_PATH, &error);
  ASSERT_NE(session, nullptr) << error;
  host_runtime::FrameValues values[2];
  std::vector<Bytes> alone[2], together[2];
  for (int s = 0; s < 2; ++s) {
    Apply(*session, kSettings[s]);
    alone[s] = RenderAll(*session, frames);
    values[s].params[session->Find("Source")->index] = kSettings[s].source;
    values[s].params[session->Find("Strength")->index] = kSettings[s].strength;
  }
  Apply(*session, Setting{1, 0});  // the session's own values must reach neither thread
  std::vector<std::thread> threads;
  for (int s = 0; s < 2; ++s)
    threads.emplace_back([&, s] {
      for (const Frame& f : frames) {
        host_runtime::World input(f.image.width, f.image.height, f.depth);
        host_runtime::World output(f.image.width, f.image.height, f.depth);
        testimages::Store(f.image, &input);
        const uint8_t* pixels = output.row(0);
        together[s].push_back(
            session->Render(&input, &output, values[s]) == PF_Err_NONE
                ? Bytes(pixels, pixels + size_t(output.rowbytes()) * output.height())
                : Bytes());
      }
    });
  for (std::thread& t : threads) t.join();
  for (int s = 0; s < 2; ++s)
    for (size_t f = 0; f < frames.size(); ++f)
      EXPECT_TRUE(!alone[s][f].empty() && together[s][f] == alone[s][f])
          << "values " << s << ", frame " << f;
}

}  // namespace
