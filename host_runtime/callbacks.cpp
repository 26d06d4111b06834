// The interaction callbacks (parameters, abort, progress) and the fill utility callback.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "host_runtime/host_state.h"

namespace host_runtime {
namespace {

using Impl = Host::Impl;

// The further arguments of a checkout: "time T step S scale C".
std::string TimeArgs(A_long time, A_long step, A_u_long scale) {
  return "time " + std::to_string(time) + " step " + std::to_string(step) + " scale " +
         std::to_string(scale);
}

PF_Err AddParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
  Impl* impl = HostOf(effect_ref);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (def == nullptr) return Bad(impl, "add_param with a null definition");
  auto name = [&] { return std::string(def->name, strnlen(def->name, sizeof(def->name))); };
  ObservedCall call(impl, "add_param", name, [&] { return IndexDetail(index); });
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  if (index != -1) return call.Return(PF_Err_INVALID_INDEX);
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->declared.push_back(*def);
  }
  return call.Return(0);
}

// The declared definition of parameter `index` with the value of the frame (`frame`, when it has
// its own) or of the host, else its default.
bool ParamAt(Impl* impl, const FrameValues* frame, PF_ParamIndex index, PF_ParamDef* param) {
  std::lock_guard<std::mutex> lock(impl->mutex);
  if (index < 1 || size_t(index) > impl->declared.size()) return false;
  *param = impl->declared[size_t(index) - 1];
  const std::map<int, double>& values = (frame ? frame : &impl->values)->params;
  auto set = values.find(index);
  const bool hasValue = set != values.end();
  if (param->param_type == PF_Param_POPUP) {
    param->u.pd.value = hasValue ? static_cast<PF_ParamValue>(std::lround(set->second))
                                 : param->u.pd.dephault;
  } else if (param->param_type == PF_Param_FLOAT_SLIDER) {
    param->u.fs_d.value = hasValue ? set->second : param->u.fs_d.dephault;
  }
  return true;
}

PF_Err CheckoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long time, A_long step,
                     A_u_long scale, PF_ParamDef* param) {
  Impl* impl = HostOf(effect_ref);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (param == nullptr) return Bad(impl, "checkout_param with a null slot");
  CommandState* command = CurrentCommand();
  if (command == nullptr) return Bad(impl, "checkout_param outside a command");
  ObservedCall call(impl, "checkout_param", [&] { return IndexDetail(index); },
                    [&] { return TimeArgs(time, step, scale); });
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  if (!ParamAt(impl, command->values, index, param)) return call.Return(PF_Err_INVALID_INDEX);
  command->paramsCheckedOut[param] = index;
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    ++impl->paramsOut;
  }
  return call.Return(0);
}

// A check-in of a slot whose checkout failed is harmless and succeeds, as the effect checks in
// every slot whatever its checkout returned.
PF_Err CheckinParam(PF_ProgPtr effect_ref, PF_ParamDef* param) {
  Impl* impl = HostOf(effect_ref);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (param == nullptr) return Bad(impl, "checkin_param with a null slot");
  CommandState* command = CurrentCommand();
  if (command == nullptr) return Bad(impl, "checkin_param outside a command");
  auto& out = command->paramsCheckedOut;
  auto found = out.find(param);
  long index = -1;
  if (found != out.end()) {
    index = found->second;
    out.erase(found);
    std::lock_guard<std::mutex> lock(impl->mutex);
    --impl->paramsOut;
  }
  ObservedCall call(impl, "checkin_param", [&] {
    return index < 0 ? std::string("not checked out") : IndexDetail(index);
  });
  PF_Err code = 0;
  return call.Return(call.Replaced(&code) ? code : 0);
}

PF_Err Abort(PF_ProgPtr effect_ref) {
  Impl* impl = HostOf(effect_ref);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  ObservedCall call(impl, "abort");
  PF_Err code = 0;
  return call.Return(call.Replaced(&code) ? code : 0);
}

PF_Err Progress(PF_ProgPtr effect_ref, A_long current, A_long total) {
  Impl* impl = HostOf(effect_ref);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  ObservedCall call(impl, "progress",
                    [&] { return std::to_string(current) + " of " + std::to_string(total); });
  PF_Err code = 0;
  return call.Return(call.Replaced(&code) ? code : 0);
}

// Writes `c` into pixels [left, right) of one row at the world's bit depth.
void FillRow(uint8_t* row, int left, int right, int bitDepth, const PF_Pixel& c) {
  for (int x = left; x < right; ++x) {
    if (bitDepth == 32) {
      const PF_PixelFloat p{c.alpha / 255.f, c.red / 255.f, c.green / 255.f, c.blue / 255.f};
      std::memcpy(row + size_t(x) * sizeof(p), &p, sizeof(p));
    } else if (bitDepth == 16) {
      auto wide = [](A_u_char v) { return A_u_short((v * 32768 + 127) / 255); };
      const PF_Pixel16 p{wide(c.alpha), wide(c.red), wide(c.green), wide(c.blue)};
      std::memcpy(row + size_t(x) * sizeof(p), &p, sizeof(p));
    } else {
      std::memcpy(row + size_t(x) * sizeof(c), &c, sizeof(c));
    }
  }
}

// Fills a world the host owns: no colour means transparent black, no rectangle the whole world;
// a rectangle is clipped to the world. The row padding is never written.
PF_Err Fill(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* rect,
            PF_EffectWorld* world) {
  Impl* impl = HostOf(effect_ref);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const int bitDepth = World::BitDepthOf(world);
  if (world == nullptr || !World::IsLive(world))
    return Bad(impl, "fill of a world the host does not own");
  ObservedCall call(impl, "fill", [&] {
    return rect ? "rect " + std::to_string(rect->left) + " " + std::to_string(rect->top) + " " +
                      std::to_string(rect->right) + " " + std::to_string(rect->bottom)
                : std::string("whole");
  });
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  PF_Rect area{0, 0, world->width, world->height};
  if (rect) {
    area.left = std::max(rect->left, 0);
    area.top = std::max(rect->top, 0);
    area.right = std::min(rect->right, world->width);
    area.bottom = std::min(rect->bottom, world->height);
  }
  const PF_Pixel c = color ? *color : PF_Pixel{0, 0, 0, 0};
  for (int y = area.top; y < area.bottom; ++y) {
    uint8_t* row = static_cast<uint8_t*>(world->data) + size_t(y) * world->rowbytes;
    FillRow(row, area.left, area.right, bitDepth, c);
  }
  return call.Return(0);
}

}  // namespace

void InstallCallbacks(Host::Impl& impl) {
  impl.inter.checkout_param = Guarded<CheckoutParam>;
  impl.inter.checkin_param = Guarded<CheckinParam>;
  impl.inter.add_param = Guarded<AddParam>;
  impl.inter.abort = Guarded<Abort>;
  impl.inter.progress = Guarded<Progress>;
  impl.utils.fill = Guarded<Fill>;
}

}  // namespace host_runtime
