// State of one Host shared by the host side's files: the call record with its fault injection,
// the reference counters, and the function tables handed to the plug-in. Every member that
// render threads may touch at once is guarded by `mutex`.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "hostsim/host_sim.h"

namespace hostsim {

struct Host::Impl {
  struct Failure {
    std::string name, detail;
    int occurrence;  // 0: every matching call
    int seen;
    PF_Err code;
    bool nullTable;
  };
  // A host memory handle: the block sits between two guard zones.
  struct HandleBlock {
    size_t size;
    uint8_t* raw;  // kHandleGuard bytes, `size` bytes, kHandleGuard bytes
  };
  static constexpr size_t kHandleGuard = 16;
  static constexpr uint8_t kHandleGuardByte = 0xC3;

  mutable std::mutex mutex;
  std::vector<Call> calls;
  std::vector<Failure> failures;
  int injected = 0;
  int badCalls = 0;

  std::map<int, double> paramValues;
  std::vector<PF_ParamDef> declared;
  std::map<long, bool> hidden;  // parameter index -> hidden flag, as last set
  PF_RenderRequest lastLayerRequest{};
  PF_RationalScale downsampleX{1, 1}, downsampleY{1, 1};
  A_long currentTime = 0, timeStep = 1;
  A_u_long timeScale = 24;
  bool nullBasic = false;
  uint8_t newHandleFill = 0;

  std::map<std::string, int> acquired;  // "name version" -> references held
  std::set<const void*> streams;        // live stream references
  std::set<const void*> effects;        // live effect references
  std::map<PF_Handle, HandleBlock> handles;
  std::set<void*> blocks;               // basic-suite blocks
  int paramsOut = 0;

  SPBasicSuite basic{};
  PF_UtilCallbacks utils{};
  PF_InteractCallbacks inter{};
  PF_ANSICallbacksSuite1 ansiSuite{};
  PF_HandleSuite1 handleSuite{};
  AEGP_PFInterfaceSuite1 interfaceSuite{};
  AEGP_StreamSuite2 streamSuite{};
  AEGP_DynamicStreamSuite2 dynamicStreamSuite{};
  AEGP_EffectSuite2 effectSuite{};

  Impl();
  ~Impl();

  // Whether this call is one a test asked to fail; if so sets *code (and *nullTable).
  bool Inject(const std::string& name, const std::string& detail, PF_Err* code,
              bool* nullTable = nullptr);
  void Record(Call call);
  // Records a call, with the result it gets, and returns that result.
  PF_Err Finish(const std::string& name, const std::string& detail, PF_Err result, bool injected,
                const std::string& args = "");
  // Records a malformed call the host refused and returns PF_Err_BAD_CALLBACK_PARAM.
  PF_Err Bad(const std::string& what);
};

// What the command running on this thread hands out: its host and, for the smart-render
// commands, the layer and the worlds. Each command on each thread has its own.
struct CommandState {
  Host::Impl* impl = nullptr;
  World* input = nullptr;
  World* output = nullptr;
  int layerWidth = 0, layerHeight = 0;
  std::map<const PF_ParamDef*, int> paramsCheckedOut;  // slot -> index
};

// The current thread's command state (impl null outside a command).
CommandState& CurrentCommand();
// The host a callback belongs to: the one `effect_ref` names, or null (recorded as a bad call on
// the current command's host) when it names none.
Host::Impl* HostOf(PF_ProgPtr effect_ref);
// The host of a suite function, which gets no effect_ref: the current command's, else the most
// recently created live host, else null.
Host::Impl* CurrentHost();

// Fill in the function tables of `impl` (suites.cpp, callbacks.cpp).
void InstallSuites(Host::Impl& impl);
void InstallCallbacks(Host::Impl& impl);

std::string IndexDetail(long index);

}  // namespace hostsim
