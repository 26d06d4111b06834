#include "tests/windows/frei0r_cases.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

extern "C" {
#include <frei0r.h>
}

namespace wintest {
namespace {

constexpr char kMagic[8] = {'F', 'X', 'F', '0', 'R', '1', '\n', 0};

// A hard diagonal edge and a disk over a gradient, the left quarter half transparent.
std::vector<uint32_t> Picture() {
  std::vector<uint32_t> frame(size_t(kFrei0rWidth) * kFrei0rHeight);
  for (int y = 0; y < kFrei0rHeight; ++y) {
    for (int x = 0; x < kFrei0rWidth; ++x) {
      const int dx = x - 30, dy = y - 12;
      const bool inside = 3 * x > 2 * y + 10 && dx * dx + dy * dy > 64;
      const uint8_t bytes[4] = {uint8_t(inside ? 230 : x * 5), uint8_t(inside ? 40 : y * 7),
                                uint8_t(inside ? 120 : 20),
                                uint8_t(x < kFrei0rWidth / 4 ? 128 : 255)};
      std::memcpy(&frame[size_t(y) * kFrei0rWidth + x], bytes, 4);
    }
  }
  return frame;
}

// The platform's library calls behind one face.
struct Library {
#if defined(_WIN32)
  explicit Library(const std::string& path) : handle(LoadLibraryA(path.c_str())) {}
  ~Library() {
    if (handle) FreeLibrary(handle);
  }
  void* Find(const char* name) const {
    return handle ? reinterpret_cast<void*>(GetProcAddress(handle, name)) : nullptr;
  }
  HMODULE handle;
#else
  explicit Library(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (handle) dlclose(handle);
  }
  void* Find(const char* name) const { return handle ? dlsym(handle, name) : nullptr; }
  void* handle;
#endif
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
};

template <typename F>
bool Find(const Library& library, const char* name, F** function, std::string* error) {
  *function = reinterpret_cast<F*>(library.Find(name));
  if (!*function) *error = std::string("the module exports no ") + name;
  return *function != nullptr;
}

}  // namespace

bool RenderThroughFrei0r(const std::string& modulePath, Frei0rRun* run, std::string* error) {
  Library library(modulePath);
  if (!library.handle) {
    *error = "cannot load " + modulePath;
    return false;
  }
  decltype(f0r_init)* init;
  decltype(f0r_deinit)* deinit;
  decltype(f0r_get_plugin_info)* pluginInfo;
  decltype(f0r_get_param_info)* paramInfo;
  decltype(f0r_construct)* construct;
  decltype(f0r_destruct)* destruct;
  decltype(f0r_set_param_value)* setParam;
  decltype(f0r_update)* update;
  if (!Find(library, "f0r_init", &init, error) || !Find(library, "f0r_deinit", &deinit, error) ||
      !Find(library, "f0r_get_plugin_info", &pluginInfo, error) ||
      !Find(library, "f0r_get_param_info", &paramInfo, error) ||
      !Find(library, "f0r_construct", &construct, error) ||
      !Find(library, "f0r_destruct", &destruct, error) ||
      !Find(library, "f0r_set_param_value", &setParam, error) ||
      !Find(library, "f0r_update", &update, error))
    return false;

  init();
  f0r_plugin_info_t info = {};
  pluginInfo(&info);
  run->names.assign(1, info.name ? info.name : "");
  bool described =
      info.plugin_type == F0R_PLUGIN_TYPE_FILTER && info.color_model == F0R_COLOR_MODEL_RGBA8888;
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t param = {};
    paramInfo(&param, i);
    run->names.push_back(param.name ? param.name : "");
    described = described && param.type == F0R_PARAM_DOUBLE;
  }
  f0r_instance_t instance = described ? construct(kFrei0rWidth, kFrei0rHeight) : nullptr;
  if (!instance) {
    deinit();
    *error = described ? "the module refused a " + std::to_string(kFrei0rWidth) + "x" +
                             std::to_string(kFrei0rHeight) + " instance"
                       : "the module is not an RGBA8888 filter with controls of type double";
    return false;
  }
  const std::vector<uint32_t> in = Picture();
  run->frames.assign(1, in);
  std::vector<uint32_t> out(in.size());
  update(instance, 0.0, in.data(), out.data());
  run->frames.push_back(out);
  for (int control : {1, 2}) {  // "Strength", "FXAA Span"
    double half = 0.5;
    setParam(instance, &half, control);
  }
  update(instance, 40.0, in.data(), out.data());
  run->frames.push_back(out);
  destruct(instance);
  deinit();
  return true;
}

bool WriteFrei0rFrames(const std::string& path, const Frei0rFrames& frames, std::string* error) {
  std::ofstream file(path, std::ios::binary);
  file.write(kMagic, sizeof(kMagic));
  for (const std::vector<uint32_t>& frame : frames)
    file.write(reinterpret_cast<const char*>(frame.data()), std::streamsize(frame.size() * 4));
  if (!file.flush()) *error = "cannot write " + path;
  return bool(file);
}

bool ReadFrei0rFrames(const std::string& path, Frei0rFrames* frames, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  char magic[sizeof(kMagic)] = {};
  if (!file.read(magic, sizeof(magic)) || std::memcmp(magic, kMagic, sizeof(kMagic)) != 0) {
    *error = path + " is not a frame file of the frei0r test";
    return false;
  }
  frames->clear();
  std::vector<uint32_t> frame(size_t(kFrei0rWidth) * kFrei0rHeight);
  while (file.read(reinterpret_cast<char*>(frame.data()), std::streamsize(frame.size() * 4)))
    frames->push_back(frame);
  if (file.gcount() != 0) {
    *error = path + " ends inside a frame";
    return false;
  }
  return true;
}

int LargestByteDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  const uint8_t* pa = reinterpret_cast<const uint8_t*>(a.data());
  const uint8_t* pb = reinterpret_cast<const uint8_t*>(b.data());
  for (size_t i = 0; i < a.size() * 4; ++i) largest = std::max(largest, std::abs(pa[i] - pb[i]));
  return largest;
}

}  // namespace wintest
