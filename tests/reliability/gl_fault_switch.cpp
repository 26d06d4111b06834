// The switch of the test-only plug-in's GPU fault points: which fault is armed, how many of its
// points pass before it fires, and how many times it fires. Tests arm it through the exported
// FxaaArmGlFault; a process (the fxaa tool) through FXAA_GL_FAULT=name[:pass[:times]], read once.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "gl/gl_fault_hooks.h"

namespace {

std::atomic<int> g_fault{-1};
std::atomic<int> g_pass{0};
std::atomic<int> g_times{0};  // negative: every time once armed
std::once_flag g_fromEnvironment;

void ReadEnvironment() {
  const char* text = std::getenv("FXAA_GL_FAULT");
  if (text == nullptr) return;
  static const char* const kNames[] = {"target-storage", "program-build", "context-switch",
                                       "gl-error", "throw"};
  for (int i = 0; i < static_cast<int>(GlFault::kCount); ++i) {
    const size_t length = std::strlen(kNames[i]);
    if (std::strncmp(text, kNames[i], length) != 0) continue;
    int pass = 0, times = 1;
    if (text[length] == ':') {
      char* end = nullptr;
      pass = static_cast<int>(std::strtol(text + length + 1, &end, 10));
      if (*end == ':') times = static_cast<int>(std::strtol(end + 1, nullptr, 10));
    }
    g_pass = pass;
    g_times = times;
    g_fault = i;
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void FxaaArmGlFault(int fault, int pass,
                                                                      int times) {
  std::call_once(g_fromEnvironment, ReadEnvironment);
  g_fault = -1;
  g_pass = pass;
  g_times = times;
  g_fault = fault;
}

bool GlFaultDue(GlFault fault) {
  std::call_once(g_fromEnvironment, ReadEnvironment);
  if (g_fault.load() != static_cast<int>(fault)) return false;
  if (g_pass.fetch_sub(1) > 0) return false;
  if (g_times.load() < 0) return true;
  if (g_times.fetch_sub(1) > 0) return true;
  g_fault = -1;
  return false;
}
