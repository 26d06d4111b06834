#include "render/smart_pre_render.h"

#include <algorithm>

namespace {
bool IsEmpty(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }
}  // namespace

void UnionRect(const PF_LRect& source, PF_LRect* destination) {
  if (IsEmpty(*destination)) {
    *destination = source;
  } else if (!IsEmpty(source)) {
    destination->left = std::min(destination->left, source.left);
    destination->top = std::min(destination->top, source.top);
    destination->right = std::max(destination->right, source.right);
    destination->bottom = std::max(destination->bottom, source.bottom);
  }
}

PF_Err SmartPreRender(PF_InData* in_data, PF_OutData* /*out_data*/, PF_PreRenderExtra* extra) {
  PF_RenderRequest request = extra->input->output_request;
  PF_CheckoutResult result{};
  PF_Err err = extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request,
                                         in_data->current_time, in_data->time_step,
                                         in_data->time_scale, &result);
  if (err != PF_Err_NONE) return err;
  UnionRect(result.result_rect, &extra->output->result_rect);
  UnionRect(result.max_result_rect, &extra->output->max_result_rect);
  return PF_Err_NONE;
}
