// The smart-render protocol: pre-render with its layer checkout, and the render with its input
// and output worlds. Each command keeps what it hands out in the calling thread's own state, so
// several threads may render through one Host at once.
#include <algorithm>

#include "host_runtime/host_state.h"

namespace host_runtime {
namespace {

using Impl = Host::Impl;

// Registers the input layer under `checkoutId` and reports its rectangles: the request clipped
// to the layer, and the whole layer.
PF_Err CheckoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkoutId,
                     const PF_RenderRequest* request, A_long time, A_long step, A_u_long scale,
                     PF_CheckoutResult* result) {
  Impl* impl = HostOf(effect_ref);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (request == nullptr || result == nullptr)
    return Bad(impl, "checkout_layer with a null request or result");
  const CommandState* command = CurrentCommand();
  if (command == nullptr) return Bad(impl, "checkout_layer outside a command");
  ObservedCall call(
      impl, "checkout_layer",
      [&] { return IndexDetail(index) + " id " + std::to_string(checkoutId); },
      [&] {
        return "time " + std::to_string(time) + " step " + std::to_string(step) + " scale " +
               std::to_string(scale);
      });
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->lastLayerRequest = *request;
  }
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  if (index != 0) return call.Return(PF_Err_INVALID_INDEX);
  const PF_LRect layer{0, 0, command->layerWidth, command->layerHeight};
  PF_LRect r{std::max(request->rect.left, layer.left), std::max(request->rect.top, layer.top),
             std::min(request->rect.right, layer.right),
             std::min(request->rect.bottom, layer.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) r = PF_LRect{0, 0, 0, 0};
  *result = PF_CheckoutResult{};
  result->result_rect = r;
  result->max_result_rect = layer;
  result->par = {1, 1};
  result->ref_width = layer.right;
  result->ref_height = layer.bottom;
  return call.Return(0);
}

// The detail of the layer-pixel calls: "id I".
std::string CheckoutIdDetail(A_long checkoutId) { return "id " + std::to_string(checkoutId); }

// Gives the input world for checkout id 0 (none for a layer without pixels).
PF_Err CheckoutLayerPixels(PF_ProgPtr effect_ref, A_long checkoutId, PF_EffectWorld** pixels) {
  Impl* impl = HostOf(effect_ref);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (pixels == nullptr) return Bad(impl, "checkout_layer_pixels with a null out pointer");
  *pixels = nullptr;
  const CommandState* command = CurrentCommand();
  if (command == nullptr) return Bad(impl, "checkout_layer_pixels outside a command");
  ObservedCall call(impl, "checkout_layer_pixels", [&] { return CheckoutIdDetail(checkoutId); });
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  if (checkoutId != 0) {
    call.Return(PF_Err_BAD_CALLBACK_PARAM);
    return Bad(impl, "checkout_layer_pixels of an id never checked out");
  }
  *pixels = command->input ? command->input->get() : nullptr;
  return call.Return(0);
}

PF_Err CheckinLayerPixels(PF_ProgPtr effect_ref, A_long checkoutId) {
  Impl* impl = HostOf(effect_ref);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  ObservedCall call(impl, "checkin_layer_pixels", [&] { return CheckoutIdDetail(checkoutId); });
  PF_Err code = 0;
  return call.Return(call.Replaced(&code) ? code : 0);
}

PF_Err CheckoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output) {
  Impl* impl = HostOf(effect_ref);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (output == nullptr) return Bad(impl, "checkout_output with a null out pointer");
  *output = nullptr;
  const CommandState* command = CurrentCommand();
  if (command == nullptr) return Bad(impl, "checkout_output outside a command");
  ObservedCall call(impl, "checkout_output");
  PF_Err code = 0;
  if (call.Replaced(&code)) return call.Return(code);
  *output = command->output ? command->output->get() : nullptr;
  return call.Return(0);
}

}  // namespace

PF_Err Host::SmartPreRender(const PF_LRect& request, int layerWidth, int layerHeight,
                            PF_PreRenderOutput* result) {
  PreRenderSetup setup;
  setup.request.rect = request;
  setup.request.channel_mask = 15;
  setup.layerWidth = layerWidth;
  setup.layerHeight = layerHeight;
  return SmartPreRender(setup, result);
}

PF_Err Host::SmartPreRender(const PreRenderSetup& setup, PF_PreRenderOutput* result,
                            const FrameValues* values) {
  PF_PreRenderInput input{};
  input.output_request = setup.request;
  input.bitdepth = setup.bitDepth;
  PF_PreRenderOutput local{};
  PF_PreRenderCallbacks callbacks{Guarded<CheckoutLayer>, nullptr};
  PF_PreRenderExtra extra{&input, result ? result : &local, &callbacks};
  CommandState state;
  state.layerWidth = setup.layerWidth;
  state.layerHeight = setup.layerHeight;
  state.values = values;
  PF_InData in = MakeInData(values);
  PF_OutData out{};
  return SendCommand(PF_Cmd_SMART_PRE_RENDER, &in, &out, &extra, &state);
}

PF_Err Host::SmartRender(World* input, World* output, int bitDepth, const FrameValues* values) {
  PF_SmartRenderInput renderInput{};
  renderInput.bitdepth = static_cast<short>(bitDepth);
  if (output) renderInput.output_request.rect = {0, 0, output->width(), output->height()};
  renderInput.output_request.channel_mask = 15;
  PF_SmartRenderCallbacks callbacks{Guarded<CheckoutLayerPixels>, Guarded<CheckinLayerPixels>,
                                    Guarded<CheckoutOutput>};
  PF_SmartRenderExtra extra{&renderInput, &callbacks};
  CommandState state;
  state.input = input;
  state.output = output;
  state.values = values;
  PF_InData in = MakeInData(values);
  PF_OutData out{};
  return SendCommand(PF_Cmd_SMART_RENDER, &in, &out, &extra, &state);
}

}  // namespace host_runtime
