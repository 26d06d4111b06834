// Layout checks for host_api.h: every size and offset below is the published Win64 value.
// A mismatch here means the library would misread the real host's blocks.
#pragma once

#define FXAA_CHECK_SIZE(T, n) static_assert(sizeof(T) == (n), "size of " #T)
#define FXAA_CHECK_AT(T, f, n) static_assert(offsetof(T, f) == (n), #T "." #f)

static_assert(sizeof(void*) == 8, "64-bit targets only");

FXAA_CHECK_SIZE(PF_Pixel, 4);
FXAA_CHECK_SIZE(PF_PixelFloat, 16);
FXAA_CHECK_SIZE(PF_LRect, 16);
FXAA_CHECK_SIZE(PF_RationalScale, 8);
FXAA_CHECK_SIZE(PF_SpecVersion, 4);
FXAA_CHECK_SIZE(PF_SoundFormatInfo, 16);
FXAA_CHECK_SIZE(PF_SoundWorld, 32);

FXAA_CHECK_SIZE(PF_LayerDef, 120);
FXAA_CHECK_AT(PF_LayerDef, reserved0, 0);
FXAA_CHECK_AT(PF_LayerDef, reserved1, 8);
FXAA_CHECK_AT(PF_LayerDef, world_flags, 16);
FXAA_CHECK_AT(PF_LayerDef, data, 24);
FXAA_CHECK_AT(PF_LayerDef, rowbytes, 32);
FXAA_CHECK_AT(PF_LayerDef, width, 36);
FXAA_CHECK_AT(PF_LayerDef, height, 40);
FXAA_CHECK_AT(PF_LayerDef, extent_hint, 44);
FXAA_CHECK_AT(PF_LayerDef, platform_ref, 64);
FXAA_CHECK_AT(PF_LayerDef, reserved_long1, 72);
FXAA_CHECK_AT(PF_LayerDef, reserved_long4, 80);
FXAA_CHECK_AT(PF_LayerDef, pix_aspect_ratio, 88);
FXAA_CHECK_AT(PF_LayerDef, reserved_long2, 96);
FXAA_CHECK_AT(PF_LayerDef, origin_x, 104);
FXAA_CHECK_AT(PF_LayerDef, origin_y, 108);
FXAA_CHECK_AT(PF_LayerDef, reserved_long3, 112);
FXAA_CHECK_AT(PF_LayerDef, dephault, 116);

FXAA_CHECK_SIZE(PF_SliderDef, 88);
FXAA_CHECK_SIZE(PF_FixedSliderDef, 92);
FXAA_CHECK_SIZE(PF_AngleDef, 16);
FXAA_CHECK_SIZE(PF_CheckBoxDef, 16);
FXAA_CHECK_SIZE(PF_ColorDef, 8);
FXAA_CHECK_SIZE(PF_PointDef, 20);
FXAA_CHECK_SIZE(PF_PopupDef, 16);
FXAA_CHECK_AT(PF_PopupDef, value, 0);
FXAA_CHECK_AT(PF_PopupDef, num_choices, 4);
FXAA_CHECK_AT(PF_PopupDef, dephault, 6);
FXAA_CHECK_AT(PF_PopupDef, u, 8);
FXAA_CHECK_SIZE(PF_FloatSliderDef, 88);
FXAA_CHECK_AT(PF_FloatSliderDef, value, 0);
FXAA_CHECK_AT(PF_FloatSliderDef, phase, 8);
FXAA_CHECK_AT(PF_FloatSliderDef, value_desc, 16);
FXAA_CHECK_AT(PF_FloatSliderDef, valid_min, 48);
FXAA_CHECK_AT(PF_FloatSliderDef, valid_max, 52);
FXAA_CHECK_AT(PF_FloatSliderDef, slider_min, 56);
FXAA_CHECK_AT(PF_FloatSliderDef, slider_max, 60);
FXAA_CHECK_AT(PF_FloatSliderDef, dephault, 64);
FXAA_CHECK_AT(PF_FloatSliderDef, precision, 68);
FXAA_CHECK_AT(PF_FloatSliderDef, display_flags, 70);
FXAA_CHECK_AT(PF_FloatSliderDef, fs_flags, 72);
FXAA_CHECK_AT(PF_FloatSliderDef, curve_tolerance, 76);
FXAA_CHECK_AT(PF_FloatSliderDef, useExponent, 80);
FXAA_CHECK_AT(PF_FloatSliderDef, exponent, 84);
FXAA_CHECK_SIZE(PF_ArbitraryDef, 32);
FXAA_CHECK_SIZE(PF_PathDef, 12);
FXAA_CHECK_SIZE(PF_ButtonDef, 16);
FXAA_CHECK_SIZE(PF_Point3DDef, 64);
FXAA_CHECK_SIZE(PF_ParamDefUnion, 120);

FXAA_CHECK_SIZE(PF_ParamDef, 176);
FXAA_CHECK_AT(PF_ParamDef, uu, 0);
FXAA_CHECK_AT(PF_ParamDef, ui_flags, 4);
FXAA_CHECK_AT(PF_ParamDef, ui_width, 8);
FXAA_CHECK_AT(PF_ParamDef, ui_height, 10);
FXAA_CHECK_AT(PF_ParamDef, param_type, 12);
FXAA_CHECK_AT(PF_ParamDef, name, 16);
FXAA_CHECK_AT(PF_ParamDef, flags, 48);
FXAA_CHECK_AT(PF_ParamDef, unused, 52);
FXAA_CHECK_AT(PF_ParamDef, u, 56);

FXAA_CHECK_SIZE(PF_InteractCallbacks, 176);
FXAA_CHECK_AT(PF_InteractCallbacks, checkout_param, 0);
FXAA_CHECK_AT(PF_InteractCallbacks, checkin_param, 8);
FXAA_CHECK_AT(PF_InteractCallbacks, add_param, 16);
FXAA_CHECK_AT(PF_InteractCallbacks, abort, 24);
FXAA_CHECK_AT(PF_InteractCallbacks, progress, 32);
FXAA_CHECK_AT(PF_InteractCallbacks, reserved_str, 72);
FXAA_CHECK_AT(PF_InteractCallbacks, reserved, 96);

FXAA_CHECK_SIZE(PF_ANSICallbacks, 160);
FXAA_CHECK_AT(PF_ANSICallbacks, sprintf, 120);
FXAA_CHECK_AT(PF_ANSICallbacks, strcpy, 128);
FXAA_CHECK_AT(PF_ANSICallbacks, ansi_procs, 152);
FXAA_CHECK_SIZE(PF_ColorCallbacks, 64);

FXAA_CHECK_SIZE(PF_UtilCallbacks, 552);
FXAA_CHECK_AT(PF_UtilCallbacks, fill, 72);
FXAA_CHECK_AT(PF_UtilCallbacks, host_new_handle, 160);
FXAA_CHECK_AT(PF_UtilCallbacks, host_lock_handle, 168);
FXAA_CHECK_AT(PF_UtilCallbacks, host_unlock_handle, 176);
FXAA_CHECK_AT(PF_UtilCallbacks, host_dispose_handle, 184);
FXAA_CHECK_AT(PF_UtilCallbacks, ansi, 208);
FXAA_CHECK_AT(PF_UtilCallbacks, colorCB, 368);
FXAA_CHECK_AT(PF_UtilCallbacks, get_platform_data, 432);
FXAA_CHECK_AT(PF_UtilCallbacks, host_get_handle_size, 440);
FXAA_CHECK_AT(PF_UtilCallbacks, host_resize_handle, 464);
FXAA_CHECK_AT(PF_UtilCallbacks, get_pixel_data16, 536);
FXAA_CHECK_AT(PF_UtilCallbacks, reserved, 544);
static_assert(offsetof(PF_UtilCallbacks, ansi) + offsetof(PF_ANSICallbacks, strcpy) == 336,
              "utils->ansi.strcpy");

FXAA_CHECK_SIZE(PF_InData, 408);
FXAA_CHECK_AT(PF_InData, inter, 0);
FXAA_CHECK_AT(PF_InData, utils, 176);
FXAA_CHECK_AT(PF_InData, effect_ref, 184);
FXAA_CHECK_AT(PF_InData, quality, 192);
FXAA_CHECK_AT(PF_InData, version, 196);
FXAA_CHECK_AT(PF_InData, serial_num, 200);
FXAA_CHECK_AT(PF_InData, appl_id, 204);
FXAA_CHECK_AT(PF_InData, num_params, 208);
FXAA_CHECK_AT(PF_InData, what_cpu, 216);
FXAA_CHECK_AT(PF_InData, current_time, 224);
FXAA_CHECK_AT(PF_InData, time_step, 228);
FXAA_CHECK_AT(PF_InData, total_time, 232);
FXAA_CHECK_AT(PF_InData, local_time_step, 236);
FXAA_CHECK_AT(PF_InData, time_scale, 240);
FXAA_CHECK_AT(PF_InData, field, 244);
FXAA_CHECK_AT(PF_InData, shutter_angle, 248);
FXAA_CHECK_AT(PF_InData, width, 252);
FXAA_CHECK_AT(PF_InData, height, 256);
FXAA_CHECK_AT(PF_InData, extent_hint, 260);
FXAA_CHECK_AT(PF_InData, output_origin_x, 276);
FXAA_CHECK_AT(PF_InData, output_origin_y, 280);
FXAA_CHECK_AT(PF_InData, downsample_x, 284);
FXAA_CHECK_AT(PF_InData, downsample_y, 292);
FXAA_CHECK_AT(PF_InData, pixel_aspect_ratio, 300);
FXAA_CHECK_AT(PF_InData, in_flags, 308);
FXAA_CHECK_AT(PF_InData, global_data, 312);
FXAA_CHECK_AT(PF_InData, sequence_data, 320);
FXAA_CHECK_AT(PF_InData, frame_data, 328);
FXAA_CHECK_AT(PF_InData, start_sampL, 336);
FXAA_CHECK_AT(PF_InData, dur_sampL, 340);
FXAA_CHECK_AT(PF_InData, total_sampL, 344);
FXAA_CHECK_AT(PF_InData, src_snd, 352);
FXAA_CHECK_AT(PF_InData, pica_basicP, 384);
FXAA_CHECK_AT(PF_InData, pre_effect_source_origin_x, 392);
FXAA_CHECK_AT(PF_InData, pre_effect_source_origin_y, 396);
FXAA_CHECK_AT(PF_InData, shutter_phase, 400);

FXAA_CHECK_SIZE(PF_OutData, 408);
FXAA_CHECK_AT(PF_OutData, my_version, 0);
FXAA_CHECK_AT(PF_OutData, name, 4);
FXAA_CHECK_AT(PF_OutData, global_data, 40);
FXAA_CHECK_AT(PF_OutData, num_params, 48);
FXAA_CHECK_AT(PF_OutData, sequence_data, 56);
FXAA_CHECK_AT(PF_OutData, flat_sdata_size, 64);
FXAA_CHECK_AT(PF_OutData, frame_data, 72);
FXAA_CHECK_AT(PF_OutData, width, 80);
FXAA_CHECK_AT(PF_OutData, height, 84);
FXAA_CHECK_AT(PF_OutData, origin, 88);
FXAA_CHECK_AT(PF_OutData, out_flags, 96);
FXAA_CHECK_AT(PF_OutData, return_msg, 100);
FXAA_CHECK_AT(PF_OutData, start_sampL, 356);
FXAA_CHECK_AT(PF_OutData, dur_sampL, 360);
FXAA_CHECK_AT(PF_OutData, dest_snd, 368);
FXAA_CHECK_AT(PF_OutData, out_flags2, 400);

FXAA_CHECK_SIZE(PF_RenderRequest, 44);
FXAA_CHECK_AT(PF_RenderRequest, field, 16);
FXAA_CHECK_AT(PF_RenderRequest, channel_mask, 20);
FXAA_CHECK_AT(PF_RenderRequest, preserve_rgb_of_zero_alpha, 24);
FXAA_CHECK_AT(PF_RenderRequest, reserved, 28);
FXAA_CHECK_SIZE(PF_CheckoutResult, 76);
FXAA_CHECK_AT(PF_CheckoutResult, max_result_rect, 16);
FXAA_CHECK_AT(PF_CheckoutResult, par, 32);
FXAA_CHECK_AT(PF_CheckoutResult, solid, 40);
FXAA_CHECK_AT(PF_CheckoutResult, ref_width, 44);
FXAA_CHECK_AT(PF_CheckoutResult, reserved, 52);
FXAA_CHECK_SIZE(PF_PreRenderInput, 64);
FXAA_CHECK_AT(PF_PreRenderInput, bitdepth, 44);
FXAA_CHECK_AT(PF_PreRenderInput, gpu_data, 48);
FXAA_CHECK_AT(PF_PreRenderInput, what_gpu, 56);
FXAA_CHECK_AT(PF_PreRenderInput, device_index, 60);
FXAA_CHECK_SIZE(PF_PreRenderOutput, 56);
FXAA_CHECK_AT(PF_PreRenderOutput, max_result_rect, 16);
FXAA_CHECK_AT(PF_PreRenderOutput, solid, 32);
FXAA_CHECK_AT(PF_PreRenderOutput, flags, 34);
FXAA_CHECK_AT(PF_PreRenderOutput, pre_render_data, 40);
FXAA_CHECK_AT(PF_PreRenderOutput, delete_pre_render_data_func, 48);
FXAA_CHECK_SIZE(PF_PreRenderCallbacks, 16);
FXAA_CHECK_AT(PF_PreRenderCallbacks, checkout_layer, 0);
FXAA_CHECK_SIZE(PF_PreRenderExtra, 24);
FXAA_CHECK_AT(PF_PreRenderExtra, output, 8);
FXAA_CHECK_AT(PF_PreRenderExtra, cb, 16);
FXAA_CHECK_SIZE(PF_SmartRenderInput, 72);
FXAA_CHECK_AT(PF_SmartRenderInput, bitdepth, 44);
FXAA_CHECK_AT(PF_SmartRenderInput, pre_render_data, 48);
FXAA_CHECK_AT(PF_SmartRenderInput, gpu_data, 56);
FXAA_CHECK_AT(PF_SmartRenderInput, what_gpu, 64);
FXAA_CHECK_AT(PF_SmartRenderInput, device_index, 68);
FXAA_CHECK_SIZE(PF_SmartRenderCallbacks, 24);
FXAA_CHECK_AT(PF_SmartRenderCallbacks, checkout_layer_pixels, 0);
FXAA_CHECK_AT(PF_SmartRenderCallbacks, checkin_layer_pixels, 8);
FXAA_CHECK_AT(PF_SmartRenderCallbacks, checkout_output, 16);
FXAA_CHECK_SIZE(PF_SmartRenderExtra, 16);
FXAA_CHECK_AT(PF_SmartRenderExtra, cb, 8);

FXAA_CHECK_SIZE(SPBasicSuite, 56);
FXAA_CHECK_AT(SPBasicSuite, AcquireSuite, 0);
FXAA_CHECK_AT(SPBasicSuite, ReleaseSuite, 8);
FXAA_CHECK_AT(SPBasicSuite, Undefined, 48);

FXAA_CHECK_SIZE(PF_ANSICallbacksSuite1, 152);
FXAA_CHECK_AT(PF_ANSICallbacksSuite1, sprintf, 120);
FXAA_CHECK_AT(PF_ANSICallbacksSuite1, strcpy, 128);
FXAA_CHECK_SIZE(PF_HandleSuite1, 48);
FXAA_CHECK_AT(PF_HandleSuite1, host_new_handle, 0);
FXAA_CHECK_AT(PF_HandleSuite1, host_lock_handle, 8);
FXAA_CHECK_AT(PF_HandleSuite1, host_dispose_handle, 24);
FXAA_CHECK_AT(PF_HandleSuite1, host_resize_handle, 40);
FXAA_CHECK_AT(AEGP_PFInterfaceSuite1, AEGP_GetNewEffectForEffect, 8);
FXAA_CHECK_AT(AEGP_StreamSuite2, AEGP_GetNewEffectStreamByIndex, 40);
FXAA_CHECK_AT(AEGP_StreamSuite2, AEGP_DisposeStream, 56);
FXAA_CHECK_AT(AEGP_DynamicStreamSuite2, AEGP_SetDynamicStreamFlag, 40);
FXAA_CHECK_AT(AEGP_EffectSuite2, AEGP_DisposeEffect, 64);

#undef FXAA_CHECK_SIZE
#undef FXAA_CHECK_AT
