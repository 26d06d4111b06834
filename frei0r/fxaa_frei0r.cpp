// The frei0r filter module: the effect, carried inside, as ffmpeg, MLT (Kdenlive, Shotcut) and
// GStreamer load it. Only the f0r_ functions leave the module. frei0r has no error return, so a
// construction that cannot succeed returns null and says why on standard error, and a frame
// that fails is passed on unchanged with a line there (frei0r_instance.cpp).
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "frei0r/frei0r_controls.h"
#include "frei0r/frei0r_instance.h"
#include "host/effect_entry.h"
#include "host/effect_version.h"
#include "host_runtime/registry_lock.h"
#include "host_runtime/world.h"

// The header declares the interface without C linkage or visibility of its own (on Windows the
// export list says what leaves the DLL).
#if !defined(_WIN32)
#pragma GCC visibility push(default)
#endif
extern "C" {
#include <frei0r.h>
}
#if !defined(_WIN32)
#pragma GCC visibility pop
#endif

namespace {

using fxaa_frei0r::ControlTable;
using fxaa_frei0r::Instance;
using fxaa_frei0r::kControlCount;

constexpr unsigned kMaxSide = host_runtime::kMaxWorldSide;
constexpr char kFilterName[] = "FXAA frei0r filter";
// The workers every instance's frames render on, as for the OpenFX plug-in: the effect draws one
// frame at a time on the GPU, so two keep it busy while one hands over, and they are the most
// frames whose worlds are in memory, whatever the number of instances or of the host's threads.
constexpr int kMaxWorkers = 2;

// Read once per load of the module, on first need; plain data under a trivially destructible
// lock, so that unloading runs nothing of ours. f0r_deinit forgets it all.
host_runtime::RegistryLock g_mutex;
int g_initCount = 0;
bool g_controlsRead = false;
bool g_controlsOk = false;
ControlTable g_controls;
// Made with the first instance and ended with the last, so that no worker outlives the
// instances: a host may unload the module without f0r_deinit.
fxaa_embedding::WorkerPool* g_pool = nullptr;
int g_poolUsers = 0;

// The control table, read from the plug-in's declaration the first time (outside the lock,
// which is held only for pointer steps); null (said once on standard error) when it cannot be
// read.
const ControlTable* Controls() {
  {
    std::lock_guard<host_runtime::RegistryLock> lock(g_mutex);
    if (g_controlsRead) return g_controlsOk ? &g_controls : nullptr;
  }
  ControlTable table;
  std::string error;
  bool ok = false;
  try {
    ok = fxaa_frei0r::ReadControls(EffectMain, &table, &error);
  } catch (const std::exception& e) {
    error = std::string("reading the effect's parameters: ") + e.what();
  }
  bool first = false;
  {
    std::lock_guard<host_runtime::RegistryLock> lock(g_mutex);
    if (!g_controlsRead) {
      first = true;
      g_controlsRead = true;
      g_controlsOk = ok;
      g_controls = table;
    }
    ok = g_controlsOk;
  }
  if (first && !ok) std::fprintf(stderr, "%s: %s\n", kFilterName, error.c_str());
  return ok ? &g_controls : nullptr;
}

// The one boundary of every f0r_ function: whatever `body` throws is said on standard error with
// the function's name, and the function returns `failed`. frei0r is a C interface.
template <typename Result, typename Body>
Result Guarded(const char* function, Result failed, Body body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s: %s\n", kFilterName, function, e.what());
  } catch (...) {
    std::fprintf(stderr, "%s: %s: an exception of no known type\n", kFilterName, function);
  }
  return failed;
}

Instance* AsInstance(f0r_instance_t instance) { return static_cast<Instance*>(instance); }

// The shared pool, counted for one more instance; made outside the lock when there is none.
fxaa_embedding::WorkerPool& HoldPool() {
  std::unique_ptr<fxaa_embedding::WorkerPool> made;
  for (;;) {
    {
      std::lock_guard<host_runtime::RegistryLock> lock(g_mutex);
      if (g_pool == nullptr && made) g_pool = made.release();
      if (g_pool != nullptr) {
        ++g_poolUsers;
        return *g_pool;
      }
    }
    made = std::make_unique<fxaa_embedding::WorkerPool>(EffectMain, kFilterName, kMaxWorkers);
  }
}

// One instance fewer; the last ends the workers (the effect is set down on their threads).
void LetGoOfPool() {
  fxaa_embedding::WorkerPool* last = nullptr;
  {
    std::lock_guard<host_runtime::RegistryLock> lock(g_mutex);
    if (--g_poolUsers == 0) std::swap(last, g_pool);
  }
  delete last;
}

}  // namespace

int f0r_init() {
  std::lock_guard<host_runtime::RegistryLock> lock(g_mutex);
  ++g_initCount;
  return 1;
}

void f0r_deinit() {
  std::lock_guard<host_runtime::RegistryLock> lock(g_mutex);
  if (g_initCount > 0 && --g_initCount > 0) return;  // ffmpeg initialises once per filter
  g_controlsRead = false;
  g_controlsOk = false;
  g_controls = ControlTable{};
  fxaa_embedding::ForgetUnavailable();
}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (!info) return;
  info->name = "FXAA";
  info->author = "Corvella";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = FXAA_MAJOR_VERSION;
  info->minor_version = FXAA_MINOR_VERSION;
  info->num_params = Guarded("f0r_get_plugin_info", 0, [] { return Controls() ? kControlCount : 0; });
  info->explanation = "Removes jaggies with FXAA, rendered on the GPU through OpenGL";
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
  const ControlTable* controls = Guarded("f0r_get_param_info", static_cast<const ControlTable*>(nullptr), Controls);
  if (!info || !controls || index < 0 || index >= kControlCount) return;
  info->name = controls->controls[index].name;
  info->type = F0R_PARAM_DOUBLE;
  info->explanation = controls->controls[index].explanation;
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  return Guarded("f0r_construct", f0r_instance_t(nullptr), [&]() -> f0r_instance_t {
    const ControlTable* controls = Controls();
    if (!controls) return nullptr;
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
      std::fprintf(stderr, "%s: cannot render %ux%u frames (each side 1 to %u)\n", kFilterName,
                   width, height, kMaxSide);
      return nullptr;
    }
    std::string why;
    if (fxaa_embedding::EffectUnavailable(&why)) {
      std::fprintf(stderr, "%s: cannot render here: %s\n", kFilterName, why.c_str());
      return nullptr;
    }
    fxaa_embedding::WorkerPool& pool = HoldPool();
    try {
      return new Instance(*controls, static_cast<int>(width), static_cast<int>(height), pool);
    } catch (...) {
      LetGoOfPool();
      throw;
    }
  });
}

void f0r_destruct(f0r_instance_t instance) {
  if (!instance) return;
  Guarded("f0r_destruct", 0, [&] {
    delete AsInstance(instance);  // waits for its frames still rendering
    LetGoOfPool();
    return 0;
  });
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
  if (!instance || !param || index < 0 || index >= kControlCount) return;
  Guarded("f0r_set_param_value", 0, [&] {
    AsInstance(instance)->SetValue(index, *static_cast<const f0r_param_double*>(param));
    return 0;
  });
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
  if (!instance || !param || index < 0 || index >= kControlCount) return;
  Guarded("f0r_get_param_value", 0, [&] {
    *static_cast<f0r_param_double*>(param) = AsInstance(instance)->Value(index);
    return 0;
  });
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* in, uint32_t* out) {
  if (!instance || !in || !out) return;
  Guarded("f0r_update", 0, [&] {
    AsInstance(instance)->Update(time, in, out);
    return 0;
  });
}
