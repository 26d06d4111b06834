// The host side: loads the plug-in file and plays After Effects for the fxaa tool, for programs
// that embed the effect, and for the tests. It owns the command blocks, the basic suite and the
// six suites the effect asks for, the callbacks, memory handles and pixel worlds. It keeps only
// what is live (handles, suites held, streams, parameters checked out), never a record that grows
// with the frames; an observer (call_observer.h) may watch every call. One Host may render on
// several threads at once, and several Hosts may live in one process, each on its own threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/host_api.h"
#include "host_runtime/call_observer.h"
#include "host_runtime/frame_values.h"
#include "host_runtime/param_state.h"
#include "host_runtime/world.h"

namespace host_runtime {

// What AcquireSuite returns for a name and version the host does not provide ('S!Fd').
constexpr SPErr kSuiteNotFoundError = 0x53214664;

// What the pre-render command sends: the request, its bit depth and the input layer's size.
struct PreRenderSetup {
  PreRenderSetup() { request.channel_mask = 15; }
  PF_RenderRequest request{};
  short bitDepth = 8;
  int layerWidth = 0;
  int layerHeight = 0;
};

// What the command running on a thread hands out (host_state.h).
struct CommandState;

// The names an observer sees, with their detail strings:
//   AcquireSuite "<name> <version>"         ReleaseSuite "<name> <version>"
//   IsEqual  AllocateBlock "<size>"  FreeBlock  ReallocateBlock "<size>"
//   sprintf "<text written>"                strcpy "<source text>"
//   host_new_handle "<size>"  host_lock_handle  host_unlock_handle  host_dispose_handle
//   host_get_handle_size  host_resize_handle "<size>"
//   add_param "<name>"  checkout_param "index N"  checkin_param "index N" (or "not checked out")
//   fill  checkout_layer "index N id I"  checkout_layer_pixels "id I"  checkin_layer_pixels "id I"
//   checkout_output  abort  progress "<current> of <total>"
//   AEGP_GetNewEffectForEffect  AEGP_GetNewEffectStreamByIndex "index N"
//   AEGP_SetDynamicStreamFlag "index N flag F undoable U set S"  AEGP_DisposeStream "index N"
//   AEGP_DisposeEffect
//   bad_call "<what>": a call the host refused as malformed (unknown handle, stream, effect_ref,
//   release of a suite not held, null argument, a command's callback outside any command).
class Host {
 public:
  explicit Host(PF_FilterProc entry);
  ~Host();  // frees every handle still alive (the host owns global_data)
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // ---- Configuration (before the commands that use it) ----
  // Value a checkout of parameter `index` returns (rounded for popups, any double for sliders,
  // NaN included). Unset parameters return the default the plug-in declared. A smart-render
  // command given FrameValues takes its values, time and downsample factor from those instead.
  void SetParamValue(int index, double value);
  void ClearParamValues();
  void SetDownsample(PF_RationalScale x, PF_RationalScale y);
  void SetTime(A_long current, A_long step, A_u_long scale);
  // Hand the plug-in no basic suite (pica_basicP null).
  void SetNullBasicSuite(bool null);
  // The byte new handle blocks start with (0 unless set): a host need not clear them.
  void SetNewHandleFill(uint8_t fill);
  // Shows every call from now on to `observer` (nullptr: none), which must stay alive until it
  // is replaced. Set it while no command runs.
  void SetObserver(CallObserver* observer);

  // ---- Commands: each builds fresh PF_InData/PF_OutData and calls the entry point ----
  // Any command code; `extra` is passed through; `out` (when given) receives PF_OutData, else
  // it is kept for lastOut(). Returns the entry point's PF_Err.
  PF_Err Send(PF_Cmd cmd, void* extra = nullptr, PF_OutData* out = nullptr);
  // Like Send, with blocks the caller prepared (start from MakeInData()) and may have altered.
  PF_Err SendWith(PF_Cmd cmd, PF_InData* in, PF_OutData* out, void* extra = nullptr);
  // The PF_InData this host would send now (with `values`, for that frame).
  PF_InData MakeInData(const FrameValues* values = nullptr) const;
  PF_Err About(std::string* text);
  PF_Err GlobalSetup();    // keeps global_data, my_version, out_flags, out_flags2
  PF_Err GlobalSetdown();
  PF_Err ParamsSetup();    // keeps num_params; declared parameters are recorded by add_param
  PF_Err UpdateParamsUI();
  PF_Err UserChangedParam();
  // request: the output rectangle asked for; layer: the input layer's size.
  PF_Err SmartPreRender(const PF_LRect& request, int layerWidth, int layerHeight,
                        PF_PreRenderOutput* result);
  PF_Err SmartPreRender(const PreRenderSetup& setup, PF_PreRenderOutput* result,
                        const FrameValues* values = nullptr);
  // Renders into `output` (nullptr: checkout_output gives none) from `input` (nullptr: a layer
  // without pixels) at `bitDepth` (any value is passed on). Safe on several threads at once,
  // each frame with values of its own when `values` is given.
  PF_Err SmartRender(World* input, World* output, int bitDepth,
                     const FrameValues* values = nullptr);

  // ---- Results ----
  const PF_OutData& lastOut() const { return lastOut_; }  // of the last Send without `out`
  PF_Handle globalData() const { return globalData_; }
  A_u_long myVersion() const { return myVersion_; }
  PF_OutFlags outFlags() const { return outFlags_; }
  PF_OutFlags2 outFlags2() const { return outFlags2_; }
  A_long numParams() const { return numParams_; }  // as of the last ParamsSetup
  PF_ProgPtr effectRef() const;                    // distinct per Host
  // Copies of the definitions add_param accepted, in order (index 1 first).
  std::vector<PF_ParamDef> DeclaredParams() const;
  // The same parameters as the host presents them: declared ranges, defaults and choices, and
  // whether each is hidden now (by the flags the plug-in set through the dynamic stream suite).
  std::vector<ParamState> Params() const;
  // The last request checkout_layer received.
  PF_RenderRequest LastLayerRequest() const;

  // ---- Outstanding references (thread-safe) ----
  int OutstandingSuites() const;    // acquired and not released
  int OutstandingSuites(const std::string& nameAndVersion) const;
  int OutstandingStreams() const;   // stream references not disposed
  int OutstandingEffects() const;   // effect references not disposed
  int OutstandingParams() const;    // parameters checked out and not checked in
  int LiveHandles() const;          // handles not disposed
  bool HandleGuardsIntact() const;  // nothing written past either end of any live handle

  // Internal: shared by the host side's own files.
  struct Impl;

 private:
  // Sends `cmd` with the blocks given while `state` is the calling thread's command.
  PF_Err SendCommand(PF_Cmd cmd, PF_InData* in, PF_OutData* out, void* extra, CommandState* state);

  std::unique_ptr<Impl> impl_;
  PF_FilterProc entry_;
  PF_OutData lastOut_{};
  PF_Handle globalData_ = nullptr;
  A_u_long myVersion_ = 0;
  PF_OutFlags outFlags_ = 0;
  PF_OutFlags2 outFlags2_ = 0;
  A_long numParams_ = 0;
};

}  // namespace host_runtime
