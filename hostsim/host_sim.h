// The host side: loads the plug-in file and plays After Effects for the tests and the fxaa tool.
// It owns the command blocks, the basic suite and the six suites the effect asks for, the
// callbacks, memory handles and pixel worlds, records every call the plug-in makes, and can make
// any of those calls fail on request. One Host may send commands from several threads at once.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/host_api.h"

namespace hostsim {

// A loaded plug-in file and its entry point.
class PluginModule {
 public:
  // Returns nullptr and sets *error to a one-line reason when the file cannot be loaded or has
  // no entry point.
  static std::unique_ptr<PluginModule> Load(const std::string& path, std::string* error);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  PF_FilterProc entry() const { return entry_; }
  const std::string& path() const { return path_; }

 private:
  PluginModule() = default;
  void* library_ = nullptr;
  PF_FilterProc entry_ = nullptr;
  std::string path_;
};

// A host-owned pixel world: ARGB, 8 bits (bytes) or 32 bits (floats) per channel, rows
// `rowbytes` apart with optional padding, and guard bytes before and after the pixels.
class World {
 public:
  static constexpr uint8_t kGuardByte = 0xA5;
  static constexpr uint8_t kPaddingByte = 0x5A;

  World(int width, int height, int bitDepth, int rowPaddingBytes = 0, size_t guardBytes = 64);

  PF_EffectWorld* get() { return &world_; }
  int width() const { return world_.width; }
  int height() const { return world_.height; }
  int bitDepth() const { return bitDepth_; }
  int bytesPerPixel() const { return bitDepth_ == 32 ? 16 : bitDepth_ == 16 ? 8 : 4; }
  int rowbytes() const { return world_.rowbytes; }
  uint8_t* row(int y) { return static_cast<uint8_t*>(world_.data) + size_t(y) * world_.rowbytes; }
  const uint8_t* row(int y) const {
    return static_cast<const uint8_t*>(world_.data) + size_t(y) * world_.rowbytes;
  }
  PF_Pixel8* pixel8(int x, int y) { return reinterpret_cast<PF_Pixel8*>(row(y)) + x; }
  PF_PixelFloat* pixelF(int x, int y) { return reinterpret_cast<PF_PixelFloat*>(row(y)) + x; }

  // Channel c (0 alpha, 1 red, 2 green, 3 blue) of pixel (x, y) as a float: bytes as 0..255.
  float channel(int x, int y, int c) const;
  void setChannel(int x, int y, int c, float value);

  // True while nothing was written before or after the pixel rows.
  bool GuardsIntact() const;
  // True while the padding at the end of every row still holds kPaddingByte.
  bool PaddingIntact() const;
  // Every byte of every row's pixels (not the padding) is zero.
  bool AllZero() const;

 private:
  int bitDepth_;
  size_t guard_;
  std::vector<uint8_t> storage_;
  PF_EffectWorld world_{};
};

// One call the plug-in made into the host.
struct Call {
  std::string name;    // e.g. "AcquireSuite", "add_param", "AEGP_SetDynamicStreamFlag"
  std::string detail;  // e.g. "PF Handle Suite 2", "index 10", "flag 2 undoable 0 set 1"
};

class Host {
 public:
  explicit Host(PF_FilterProc entry);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // ---- Configuration (before the commands that use it) ----
  // Value a checkout of parameter `index` returns (popup values are rounded). Unset parameters
  // return the value the plug-in declared as its default.
  void SetParamValue(int index, double value);
  void SetDownsample(PF_RationalScale x, PF_RationalScale y);
  void SetTime(A_long current, A_long step, A_u_long scale);
  // Hand the plug-in no basic suite (pica_basicP null).
  void SetNullBasicSuite(bool null);

  // Make call `name` fail: its `occurrence`-th call from now (1-based; 0 = every call) returns
  // `code`. Names are those of the Call record. For "AcquireSuite", `detail` may name the suite
  // ("AEGP Stream Suite 7") and `nullTable` makes it return 0 with a null table instead;
  // "host_new_handle" and "host_lock_handle" return null. For "checkout_param" and
  // "AEGP_GetNewEffectStreamByIndex", `detail` may be "index N".
  void FailCall(const std::string& name, int occurrence, PF_Err code, const std::string& detail = "",
                bool nullTable = false);
  void ClearFailures();

  // ---- Commands: each builds fresh blocks and calls the entry point ----
  PF_Err Send(PF_Cmd cmd, void* extra = nullptr, PF_OutData* out = nullptr);
  PF_Err About(std::string* text);
  PF_Err GlobalSetup();
  PF_Err GlobalSetdown();
  PF_Err ParamsSetup();
  PF_Err UpdateParamsUI();
  PF_Err UserChangedParam();
  // request: the output rectangle asked for; layer: the input layer's size.
  PF_Err SmartPreRender(const PF_LRect& request, int layerWidth, int layerHeight,
                        PF_PreRenderOutput* result);
  // Renders into `output` from `input` (nullptr: a layer without pixels) at `bitDepth`.
  PF_Err SmartRender(World* input, World* output, int bitDepth);

  // ---- Results ----
  const PF_OutData& lastOut() const { return lastOut_; }  // of the last single-threaded command
  PF_Handle globalData() const { return globalData_; }
  std::vector<PF_ParamDef> DeclaredParams() const;
  std::vector<Call> Calls() const;
  int Count(const std::string& name) const;
  void ClearCalls();
  int OutstandingSuites() const;   // acquired and not released
  int OutstandingStreams() const;  // stream references not disposed
  int OutstandingEffects() const;  // effect references not disposed
  int LiveHandles() const;

  // Internal: used by the callbacks.
  struct Impl;
  Impl* impl() { return impl_.get(); }

 private:
  std::unique_ptr<Impl> impl_;
  PF_FilterProc entry_;
  PF_OutData lastOut_{};
  PF_Handle globalData_ = nullptr;
};

}  // namespace hostsim
