// The frei0r module as a host loads it: loaded and unloaded again and again, instances built,
// rendered and dropped, frames compared with the fxaa tool's run as a separate process, and the
// frames it cannot render.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>
#include <unistd.h>

#include "cli/image.h"
#include "tests/cli/cli_test_util.h"

extern "C" {
#include <frei0r.h>
}

namespace {

using Frame = std::vector<uint32_t>;

// The module's functions, found as a host finds them.
struct Module {
  explicit Module(const char* path = FXAA_FREI0R_PATH)
      : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  void* handle;
  template <typename F>
  F* Find(const char* name) {
    return reinterpret_cast<F*>(handle ? dlsym(handle, name) : nullptr);
  }
#define FXAA_FIND(member, name) decltype(name)* member = Find<decltype(name)>(#name)
  FXAA_FIND(init, f0r_init);
  FXAA_FIND(deinit, f0r_deinit);
  FXAA_FIND(pluginInfo, f0r_get_plugin_info);
  FXAA_FIND(paramInfo, f0r_get_param_info);
  FXAA_FIND(construct, f0r_construct);
  FXAA_FIND(destruct, f0r_destruct);
  FXAA_FIND(setParam, f0r_set_param_value);
  FXAA_FIND(getParam, f0r_get_param_value);
  FXAA_FIND(update, f0r_update);
#undef FXAA_FIND
  bool ok() const {
    return handle && init && deinit && pluginInfo && paramInfo && construct && destruct &&
           setParam && getParam && update;
  }
  ~Module() {
    if (handle) dlclose(handle);
  }
  void Set(f0r_instance_t instance, int index, double value) { setParam(instance, &value, index); }
  double Get(f0r_instance_t instance, int index) {
    double value = -1;
    getParam(instance, &value, index);
    return value;
  }
};

// Hard-edged shapes over a gradient, with some alpha: plenty of edges for the effect to change.
Frame TestFrame(int width, int height, int seed) {
  Frame frame(size_t(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool inside = (x * 3 + y * (5 + seed)) % 23 < 11 ||
                          std::hypot(x - width / 2, y - height / 3) < height / 4;
      const uint8_t r = inside ? 240 : uint8_t(x * 255 / width);
      const uint8_t g = inside ? 30 : uint8_t(y * 255 / height);
      const uint8_t b = uint8_t(inside ? 90 + seed * 40 : 20);
      const uint8_t a = x < width / 4 ? 128 : 255;
      const uint8_t bytes[4] = {r, g, b, a};
      std::memcpy(&frame[size_t(y) * width + x], bytes, 4);
    }
  }
  return frame;
}

// The frame the fxaa tool, run as a process of its own, makes of `in` as an RGBA PNG, with
// effect-side values by name: a reference that shares no code path with the module's own.
Frame ReferenceRender(const Frame& in, int width, int height,
                      const std::vector<std::pair<std::string, double>>& values = {}) {
  fxaa_cli::Image image;
  image.width = width, image.height = height;
  image.Allocate();
  const uint8_t* src = reinterpret_cast<const uint8_t*>(in.data());
  for (size_t i = 0; i < in.size(); ++i)
    for (int c = 0; c < 4; ++c) image.bytes[i * 4 + (c + 1) % 4] = src[i * 4 + c];
  cli_test::ScratchDir dir;
  fxaa_cli::WriteImage(image, dir / "in.png");
  std::vector<std::string> args = {"--plugin", FXAA_PLUGIN_PATH, "-q", dir / "in.png", "-o",
                                   dir / "out.png"};
  const std::pair<const char*, const char*> options[] = {
      {"Source", "--source"}, {"Strength", "--strength"}, {"FXAA Span", "--span"},
      {"FXAA Reduce Multiplier", "--reduce-multiplier"}, {"FXAA Reduce Minimum", "--reduce-minimum"}};
  for (const auto& v : values)
    for (const auto& o : options)
      if (v.first == o.first) {
        args.push_back(o.second);
        args.push_back(v.first == "Source" ? (v.second == 2 ? "alpha" : "color")
                                           : std::to_string(v.second));
      }
  const cli_test::Process run = cli_test::RunProcess(dir, FXAA_TOOL_PATH, args);
  EXPECT_EQ(run.status, 0) << run.err;
  if (run.status != 0) return {};
  const fxaa_cli::Image out = fxaa_cli::ReadImage(dir / "out.png");
  Frame result(in.size());
  uint8_t* dst = reinterpret_cast<uint8_t*>(result.data());
  for (size_t i = 0; i < in.size(); ++i)
    for (int c = 0; c < 4; ++c) dst[i * 4 + c] = out.bytes[i * 4 + (c + 1) % 4];
  return result;
}

Frame Render(Module& m, f0r_instance_t instance, const Frame& in, double time = 0) {
  Frame out(in.size(), 0xDEADBEEF);
  m.update(instance, time, in.data(), out.data());
  return out;
}

TEST(Frei0rModule, LoadsRendersAndUnloadsAgainAndAgainLikeTheTool) {
  const int w = 61, h = 37;
  const Frame in = TestFrame(w, h, 0);
  const Frame atDefaults = ReferenceRender(in, w, h);
  const Frame changed = ReferenceRender(in, w, h, {{"Strength", 50}, {"FXAA Span", 4}});
  ASSERT_NE(atDefaults, in) << "the test frame has no edges the effect changes";
  ASSERT_NE(changed, atDefaults);

  for (int load = 0; load < 4; ++load) {
    SCOPED_TRACE("load " + std::to_string(load));
    {
      Module m;
      ASSERT_TRUE(m.ok()) << dlerror();
      ASSERT_EQ(m.init(), 1);
      f0r_plugin_info_t info{};
      m.pluginInfo(&info);
      EXPECT_STREQ(info.name, "FXAA");
      EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
      ASSERT_EQ(info.num_params, 5);
      const char* names[] = {"Source", "Strength", "FXAA Span", "FXAA Reduce Multiplier",
                             "FXAA Reduce Minimum"};
      for (int i = 0; i < 5; ++i) {
        f0r_param_info_t p{};
        m.paramInfo(&p, i);
        EXPECT_STREQ(p.name, names[i]);
        EXPECT_EQ(p.type, F0R_PARAM_DOUBLE);
      }
      for (int round = 0; round < 3; ++round) {
        f0r_instance_t a = m.construct(w, h), b = m.construct(w, h);
        ASSERT_TRUE(a && b);
        m.Set(b, 1, 0.5);   // Strength 50 %
        m.Set(b, 2, 0.04);  // FXAA Span 4
        std::thread other([&] { EXPECT_EQ(Render(m, b, in), changed); });
        EXPECT_EQ(Render(m, a, in), atDefaults);
        other.join();
        EXPECT_EQ(Render(m, b, in, 40), changed);
        m.destruct(a);
        m.destruct(b);
        m.destruct(m.construct(w, h));  // never rendered: no thread, nothing to set down
      }
      m.deinit();
    }
    // Nothing of the module may keep it mapped: no thread, no pending thread clean-up.
    void* still = dlopen(FXAA_FREI0R_PATH, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(still, nullptr) << "the module stayed loaded after dlclose";
    if (still) dlclose(still);
  }
}

TEST(Frei0rModule, ControlsClampAndMapOntoTheWholeRange) {
  Module m;
  ASSERT_TRUE(m.ok()) << dlerror();
  m.init();
  f0r_instance_t instance = m.construct(32, 32);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(m.Get(instance, 0), 0.0);   // Color
  EXPECT_EQ(m.Get(instance, 1), 1.0);   // 100 %
  EXPECT_EQ(m.Get(instance, 2), 0.08);  // 8 of 0 to 100
  m.Set(instance, 1, 7);
  EXPECT_EQ(m.Get(instance, 1), 1.0);
  m.Set(instance, 2, -3);
  EXPECT_EQ(m.Get(instance, 2), 0.0);
  m.Set(instance, 3, std::nan(""));
  EXPECT_EQ(m.Get(instance, 3), 0.01);
  // Out of range and in range render alike: the values really reach the effect clamped.
  const Frame in = TestFrame(32, 32, 1);
  m.Set(instance, 0, 0.9);  // Alpha
  EXPECT_EQ(Render(m, instance, in),
            ReferenceRender(in, 32, 32,
                            {{"Source", 2}, {"FXAA Span", 0}, {"FXAA Reduce Multiplier", 1}}));
  m.destruct(instance);
  EXPECT_EQ(m.construct(0, 10), nullptr);
  EXPECT_EQ(m.construct(30001, 2), nullptr);
  m.deinit();
}

TEST(Frei0rModule, SlicesOfOneInstanceFromSeveralThreadsEachRenderAsAFrameOfTheirOwn) {
  // MLT's slice mode: one instance of width x (height / n), called from n threads at once.
  const int w = 40, slice = 12, n = 3;
  const Frame whole = TestFrame(w, slice * n, 2);
  Module m;
  ASSERT_TRUE(m.ok()) << dlerror();
  m.init();
  f0r_instance_t instance = m.construct(w, slice);
  Frame out(whole.size());
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i)
    threads.emplace_back([&, i] {
      const size_t at = size_t(i) * slice * w;
      m.update(instance, 0, whole.data() + at, out.data() + at);
    });
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < n; ++i) {
    const Frame part(whole.begin() + i * slice * w, whole.begin() + (i + 1) * slice * w);
    EXPECT_EQ(Frame(out.begin() + i * slice * w, out.begin() + (i + 1) * slice * w),
              ReferenceRender(part, w, slice))
        << "slice " << i;
  }
  m.destruct(instance);
  m.deinit();
}

// This process's resident memory in bytes, with freed memory handed back: the least of a few
// readings, since the software renderer's threads free their buffers as they go.
long ResidentBytes() {
  long least = -1;
  for (int reading = 0; reading < 5; ++reading) {
    malloc_trim(0);
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) return -1;
    std::fclose(statm);
    if (least < 0 || resident < least) least = resident;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return least * sysconf(_SC_PAGESIZE);
}

TEST(Frei0rModule, InstancesAtRestHoldNoFrameOrContextOfTheirOwn) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer keeps freed memory in its quarantine: resident memory says "
                  "nothing of what the instances hold";
#endif
  // A timeline with the filter on every clip: each instance has rendered, then rests.
  const int w = 640, h = 360;
  Module m;
  ASSERT_TRUE(m.ok()) << dlerror();
  m.init();
  const Frame in = TestFrame(w, h, 0);
  Frame out(in.size());
  std::vector<f0r_instance_t> instances;
  auto addOne = [&] {
    instances.push_back(m.construct(w, h));
    ASSERT_NE(instances.back(), nullptr);
    m.update(instances.back(), 0, in.data(), out.data());
  };
  addOne();
  ASSERT_NE(out, in) << "the frame did not render";
  m.update(instances.back(), 0, in.data(), out.data());
  const long one = ResidentBytes();
  while (instances.size() < 32) addOne();
  const long many = ResidentBytes();
  ASSERT_GT(one, 0);
  // An instance with a thread, a context and two worlds of its own costs several megabytes.
  EXPECT_LT(many - one, 16l << 20) << "1 instance: " << one << " bytes, 32: " << many;
  for (f0r_instance_t instance : instances) m.destruct(instance);
  m.deinit();
}

// Lines the module wrote to standard error.
int CountLines(const std::string& text, const std::string& holding) {
  int count = 0;
  for (size_t at = 0; (at = text.find(holding, at)) != std::string::npos; at += holding.size())
    ++count;
  return count;
}

TEST(Frei0rModule, AFrameTheEffectCannotRenderIsPassedOnUnchangedAndSaidOnce) {
  // Wider than the software renderer's largest texture: the effect refuses the frame.
  const int w = 16385, h = 2;
  Module m;
  ASSERT_TRUE(m.ok()) << dlerror();
  m.init();
  f0r_instance_t instance = m.construct(w, h);
  ASSERT_NE(instance, nullptr);
  const Frame in = TestFrame(w, h, 0);
  testing::internal::CaptureStderr();
  const Frame first = Render(m, instance, in, 0);
  const Frame second = Render(m, instance, in, 40);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(first, in);
  EXPECT_EQ(second, in);
  EXPECT_EQ(CountLines(said, "passed on unchanged"), 1) << said;
  EXPECT_EQ(CountLines(said, "frame 1 "), 1) << said;
  EXPECT_NE(said.find("larger than the GPU takes"), std::string::npos) << said;
  m.destruct(instance);
  m.deinit();
}

// Run by CTest with the fault copy's first program build failing.
TEST(Frei0rModuleWithFaults, AProgramThatDidNotBuildIsNamedAndTheNextInstanceRenders) {
  if (!std::getenv("FXAA_GL_FAULT")) GTEST_SKIP() << "runs with a fault armed";
  Module m(FXAA_FREI0R_FAULTS_PATH);
  ASSERT_TRUE(m.ok()) << dlerror();
  const int w = 24, h = 16;
  const Frame in = TestFrame(w, h, 3);
  testing::internal::CaptureStderr();
  f0r_instance_t first = m.construct(w, h);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Render(m, first, in), in);
  m.destruct(first);
  f0r_instance_t next = m.construct(w, h);
  const std::string said = testing::internal::GetCapturedStderr();
  ASSERT_NE(next, nullptr) << said;
  EXPECT_EQ(Render(m, next, in), ReferenceRender(in, w, h));
  m.destruct(next);
  EXPECT_NE(said.find("passed on unchanged, not anti-aliased: the effect's shader programs did "
                      "not build"), std::string::npos) << said;
  EXPECT_EQ(said.find("no OpenGL"), std::string::npos) << said;
}

// Run by CTest a second time with no EGL vendor library, where no context can be made.
TEST(Frei0rModuleWithoutOpenGL, TheFirstFrameSaysWhyAndLaterInstancesAreRefused) {
  if (!std::getenv("FXAA_TEST_NO_OPENGL")) GTEST_SKIP() << "runs where OpenGL is hidden";
  Module m;
  ASSERT_TRUE(m.ok()) << dlerror();
  m.init();
  f0r_instance_t instance = m.construct(16, 16);
  ASSERT_NE(instance, nullptr) << "construction must not try OpenGL";
  const Frame in = TestFrame(16, 16, 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Render(m, instance, in), in);
  EXPECT_EQ(Render(m, instance, in), in);
  EXPECT_EQ(m.construct(16, 16), nullptr);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(CountLines(said, "no OpenGL 3.2 core context"), 2) << said;  // the frame, the refusal
  EXPECT_EQ(CountLines(said, "libegl-mesa0"), 2) << said;  // each says what to install
  m.destruct(instance);
  m.deinit();
  // After f0r_deinit, with the module still loaded, a new f0r_init starts afresh: the latch is
  // forgotten.
  m.init();
  f0r_instance_t again = m.construct(16, 16);
  EXPECT_NE(again, nullptr);
  m.destruct(again);
  m.deinit();
}

}  // namespace
