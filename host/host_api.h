// Our own declarations of the After Effects effect plug-in interface: the types, constants,
// callback tables and suites this effect and our host side use. Layouts follow the published
// Win64 declarations field for field; fixed-width types give the same offsets on Linux x86-64,
// and the static_asserts at the end pin every offset either side touches.
#pragma once

#include <cstddef>
#include <cstdint>

// On Windows each library's export list (a .def file) says what leaves it: the plug-in's objects
// also go into the frei0r DLL, which must export only the f0r_ functions.
#if defined(_WIN32)
#define FXAA_EXPORT extern "C"
#else
#define FXAA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#pragma pack(push, 8)

extern "C" {

// ---- Basic types -------------------------------------------------------------------------
typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef uint8_t A_u_char;
typedef uint8_t A_Boolean;
typedef A_long A_Err;
typedef double A_FpLong;
typedef float A_FpShort;
typedef uint64_t A_u_longlong;
typedef A_u_longlong A_HandleSize;
typedef uint16_t A_UTF16Char;

typedef A_char PF_Boolean;
typedef A_long PF_Fixed;
typedef A_u_long PF_UFixed;
typedef double PF_FpLong;
typedef float PF_FpShort;
typedef void** PF_Handle;
typedef A_long PF_Err;
typedef A_long PF_Cmd;
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamType;
typedef A_long PF_ParamFlags;
typedef A_long PF_ParamUIFlags;
typedef A_long PF_ParamValue;
typedef A_short PF_ValueDisplayFlags;
typedef A_u_long PF_FSliderFlags;
typedef A_long PF_OutFlags;
typedef A_long PF_OutFlags2;
typedef A_long PF_InFlags;
typedef A_long PF_Quality;
typedef A_long PF_Field;
typedef A_long PF_WorldFlags;
typedef A_long PF_ChannelMask;
typedef short PF_RenderOutputFlags;
typedef A_long PF_GPU_Framework;
typedef A_long PF_PathID;

typedef struct PF_ProgressInfo* PF_ProgPtr;
typedef void* PF_PixelPtr;
typedef void** PF_ArbitraryH;

typedef int32_t SPErr;
typedef int32_t SPBoolean;

typedef A_long AEGP_PluginID;
typedef struct _AEGP_Effect** AEGP_EffectRefH;
typedef struct _AEGPp_Stream** AEGP_StreamRefH;
typedef A_u_long AEGP_DynStreamFlags;

// ---- Error codes and commands ------------------------------------------------------------
enum : PF_Err {
  PF_Err_NONE = 0,
  PF_Err_OUT_OF_MEMORY = 4,
  PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
  PF_Err_INVALID_INDEX = 513,
  PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
  PF_Err_INVALID_CALLBACK = 515,
  PF_Err_BAD_CALLBACK_PARAM = 516,
  PF_Interrupt_CANCEL = 517,
  PF_Err_CANNOT_PARSE_KEYFRAME_TEXT = 518,
};

enum : PF_Cmd {
  PF_Cmd_ABOUT = 0,
  PF_Cmd_GLOBAL_SETUP = 1,
  PF_Cmd_UNUSED_0 = 2,
  PF_Cmd_GLOBAL_SETDOWN = 3,
  PF_Cmd_PARAMS_SETUP = 4,
  PF_Cmd_SEQUENCE_SETUP = 5,
  PF_Cmd_DO_DIALOG = 9,
  PF_Cmd_RENDER = 11,
  PF_Cmd_USER_CHANGED_PARAM = 13,
  PF_Cmd_UPDATE_PARAMS_UI = 14,
  PF_Cmd_SMART_PRE_RENDER = 23,
  PF_Cmd_SMART_RENDER = 24,
  PF_Cmd_RESERVED1 = 25,
};

// ---- Flags and parameter constants -------------------------------------------------------
enum : PF_OutFlags {
  PF_OutFlag_NONE = 0,
  PF_OutFlag_DEEP_COLOR_AWARE = 1 << 25,
  PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1 << 26,
};

enum : PF_OutFlags2 {
  PF_OutFlag2_NONE = 0,
  PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 1 << 3,
  PF_OutFlag2_SUPPORTS_SMART_RENDER = 1 << 10,
  PF_OutFlag2_FLOAT_COLOR_AWARE = 1 << 12,
  PF_OutFlag2_SUPPORTS_THREADED_RENDERING = 1 << 27,
};

enum : PF_ParamType {
  PF_Param_LAYER = 0,
  PF_Param_SLIDER = 1,
  PF_Param_FIX_SLIDER = 2,
  PF_Param_ANGLE = 3,
  PF_Param_CHECKBOX = 4,
  PF_Param_COLOR = 5,
  PF_Param_POINT = 6,
  PF_Param_POPUP = 7,
  PF_Param_FLOAT_SLIDER = 10,
  PF_Param_GROUP_START = 13,
  PF_Param_GROUP_END = 14,
};

enum : PF_ParamFlags {
  PF_ParamFlag_NONE = 0,
  PF_ParamFlag_START_COLLAPSED = 1 << 5,
};

enum : PF_ValueDisplayFlags {
  PF_ValueDisplayFlag_NONE = 0,
  PF_ValueDisplayFlag_PERCENT = 1,
  PF_ValueDisplayFlag_PIXEL = 2,
};

enum : AEGP_DynStreamFlags {
  AEGP_DynStreamFlag_ACTIVE_EYEBALL = 1,
  AEGP_DynStreamFlag_HIDDEN = 2,
};

enum : A_long { PF_Stage_DEVELOP = 0, PF_Stage_ALPHA = 1, PF_Stage_BETA = 2, PF_Stage_RELEASE = 3 };

#define PF_MAX_EFFECT_NAME_LEN 31
#define PF_MAX_EFFECT_PARAM_NAME_LEN 31
#define PF_MAX_EFFECT_MSG_LEN 255

// ---- Small structs -----------------------------------------------------------------------
typedef struct {
  A_u_char alpha, red, green, blue;
} PF_Pixel;
typedef PF_Pixel PF_Pixel8;

typedef struct {
  A_u_short alpha, red, green, blue;
} PF_Pixel16;

typedef struct {
  PF_FpShort alpha, red, green, blue;
} PF_PixelFloat;
typedef PF_PixelFloat PF_Pixel32;

typedef struct {
  A_long left, top, right, bottom;
} PF_LRect;
typedef PF_LRect PF_Rect;

typedef struct {
  A_long h, v;
} PF_Point;

typedef struct {
  A_long num;
  A_u_long den;
} PF_RationalScale;

typedef struct {
  A_short major, minor;
} PF_SpecVersion;

typedef struct {
  A_long value;
  A_u_long scale;
} A_Time;

typedef struct {
  double rateF;
  A_short num_channels;
  A_short format;
  A_short sample_size;
} PF_SoundFormatInfo;

typedef struct {
  PF_SoundFormatInfo fi;
  A_long num_samples;
  void* dataP;
} PF_SoundWorld;

// ---- Pixel world -------------------------------------------------------------------------
typedef struct PF_LayerDef {
  void* reserved0;
  void* reserved1;
  PF_WorldFlags world_flags;
  PF_PixelPtr data;
  A_long rowbytes;
  A_long width;
  A_long height;
  PF_LRect extent_hint;
  void* platform_ref;
  A_long reserved_long1;
  void* reserved_long4;
  PF_RationalScale pix_aspect_ratio;
  void* reserved_long2;
  A_long origin_x;
  A_long origin_y;
  A_long reserved_long3;
  A_long dephault;
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

// ---- Parameter definitions ---------------------------------------------------------------
typedef struct {
  PF_ParamValue value;
  A_char value_str[32];
  A_char value_desc[32];
  PF_ParamValue valid_min, valid_max, slider_min, slider_max, dephault;
} PF_SliderDef;

typedef struct {
  PF_Fixed value;
  A_char value_str[32];
  A_char value_desc[32];
  PF_Fixed valid_min, valid_max, slider_min, slider_max, dephault;
  A_short precision;
  PF_ValueDisplayFlags display_flags;
} PF_FixedSliderDef;

typedef struct {
  PF_Fixed value, dephault, valid_min, valid_max;
} PF_AngleDef;

typedef struct {
  PF_ParamValue value;
  PF_Boolean dephault;
  A_char reserved;
  A_short reserved1;
  union {
    const A_char* nameptr;
  } u;
} PF_CheckBoxDef;

typedef struct {
  PF_Pixel value;
  PF_Pixel dephault;
} PF_ColorDef;

typedef struct {
  PF_Fixed x_value, y_value;
  A_char reserved[3];
  PF_Boolean restrict_bounds;
  PF_Fixed x_dephault, y_dephault;
} PF_PointDef;

typedef struct {
  PF_ParamValue value;
  A_short num_choices;
  A_short dephault;
  union {
    const A_char* namesptr;
  } u;
} PF_PopupDef;

typedef struct {
  PF_FpLong value;
  PF_FpLong phase;
  A_char value_desc[32];
  PF_FpShort valid_min, valid_max, slider_min, slider_max, dephault;
  A_short precision;
  PF_ValueDisplayFlags display_flags;
  PF_FSliderFlags fs_flags;
  PF_FpShort curve_tolerance;
  PF_Boolean useExponent;
  PF_FpShort exponent;
} PF_FloatSliderDef;

typedef struct {
  A_short id;
  A_short pad;
  PF_ArbitraryH dephault;
  PF_ArbitraryH value;
  void* refconPV;
} PF_ArbitraryDef;

typedef struct PF_PathDef {
  PF_PathID path_id;
  A_long reserved0;
  A_long dephault;
} PF_PathDef;

typedef struct {
  PF_ParamValue value;
  union {
    const A_char* namesptr;
  } u;
} PF_ButtonDef;

typedef struct {
  PF_FpLong x_value, y_value, z_value;
  PF_FpLong x_dephault, y_dephault, z_dephault;
  char reserved[16];
} PF_Point3DDef;

typedef union {
  PF_LayerDef ld;
  PF_SliderDef sd;
  PF_FixedSliderDef fd;
  PF_AngleDef ad;
  PF_CheckBoxDef bd;
  PF_ColorDef cd;
  PF_PointDef td;
  PF_PopupDef pd;
  PF_FloatSliderDef fs_d;
  PF_ArbitraryDef arb_d;
  PF_PathDef path_d;
  PF_ButtonDef button_d;
  PF_Point3DDef point3d_d;
} PF_ParamDefUnion;

typedef struct PF_ParamDef {
  union {
    A_long id;
    A_long change_flags;
  } uu;
  PF_ParamUIFlags ui_flags;
  A_short ui_width;
  A_short ui_height;
  PF_ParamType param_type;
  A_char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
  PF_ParamFlags flags;
  A_long unused;
  PF_ParamDefUnion u;
} PF_ParamDef;

typedef PF_ParamDef* PF_ParamDefPtr;
typedef PF_ParamDef** PF_ParamList;

// ---- Callback tables in PF_InData --------------------------------------------------------
// Members nobody here calls are typed as plain pointers: they only hold their place.
typedef struct {
  PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                           A_long time_step, A_u_long time_scale, PF_ParamDef* param);
  PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
  PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
  PF_Err (*abort)(PF_ProgPtr effect_ref);
  PF_Err (*progress)(PF_ProgPtr effect_ref, A_long current, A_long total);
  void* register_ui;
  void* checkout_layer_audio;
  void* checkin_layer_audio;
  void* get_audio_data;
  void* reserved_str[3];
  void* reserved[10];
} PF_InteractCallbacks;

typedef struct {
  void* atan;
  void* atan2;
  void* ceil;
  void* cos;
  void* exp;
  void* fabs;
  void* floor;
  void* fmod;
  void* hypot;
  void* log;
  void* log10;
  void* pow;
  void* sin;
  void* sqrt;
  void* tan;
  int (*sprintf)(A_char* buffer, const A_char* format, ...);
  A_char* (*strcpy)(A_char* dest, const A_char* src);
  void* asin;
  void* acos;
  A_long ansi_procs[1];
} PF_ANSICallbacks;

typedef struct {
  void* RGBtoHLS;
  void* HLStoRGB;
  void* RGBtoYIQ;
  void* YIQtoRGB;
  void* Luminance;
  void* Hue;
  void* Lightness;
  void* Saturation;
} PF_ColorCallbacks;

typedef struct _PF_UtilCallbacks {
  void* begin_sampling;
  void* subpixel_sample;
  void* area_sample;
  void* get_batch_func_is_deprecated;
  void* end_sampling;
  void* composite_rect;
  void* blend;
  void* convolve;
  void* copy;
  PF_Err (*fill)(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect,
                 PF_EffectWorld* world);
  void* gaussian_kernel;
  void* iterate;
  void* premultiply;
  void* premultiply_color;
  void* new_world;
  void* dispose_world;
  void* iterate_origin;
  void* iterate_lut;
  void* transfer_rect;
  void* transform_world;
  PF_Handle (*host_new_handle)(A_u_longlong size);
  void* (*host_lock_handle)(PF_Handle handle);
  void (*host_unlock_handle)(PF_Handle handle);
  void (*host_dispose_handle)(PF_Handle handle);
  void* get_callback_addr;
  void* app;
  PF_ANSICallbacks ansi;
  PF_ColorCallbacks colorCB;
  void* get_platform_data;
  A_u_longlong (*host_get_handle_size)(PF_Handle handle);
  void* iterate_origin_non_clip_src;
  void* iterate_generic;
  PF_Err (*host_resize_handle)(A_u_longlong new_size, PF_Handle* handle);
  void* subpixel_sample16;
  void* area_sample16;
  void* fill16;
  void* premultiply_color16;
  void* iterate16;
  void* iterate_origin16;
  void* iterate_origin_non_clip_src16;
  void* get_pixel_data8;
  void* get_pixel_data16;
  A_long reserved[1];
} PF_UtilCallbacks;

struct SPBasicSuite;

// ---- Command blocks ----------------------------------------------------------------------
typedef struct PF_InData {
  PF_InteractCallbacks inter;
  struct _PF_UtilCallbacks* utils;
  PF_ProgPtr effect_ref;
  PF_Quality quality;
  PF_SpecVersion version;
  A_long serial_num;
  A_long appl_id;
  A_long num_params;
  A_long reserved;
  A_long what_cpu;
  A_long what_fpu;
  A_long current_time;
  A_long time_step;
  A_long total_time;
  A_long local_time_step;
  A_u_long time_scale;
  PF_Field field;
  PF_Fixed shutter_angle;
  A_long width;
  A_long height;
  PF_LRect extent_hint;
  A_long output_origin_x;
  A_long output_origin_y;
  PF_RationalScale downsample_x;
  PF_RationalScale downsample_y;
  PF_RationalScale pixel_aspect_ratio;
  PF_InFlags in_flags;
  PF_Handle global_data;
  PF_Handle sequence_data;
  PF_Handle frame_data;
  A_long start_sampL;
  A_long dur_sampL;
  A_long total_sampL;
  PF_SoundWorld src_snd;
  struct SPBasicSuite* pica_basicP;
  A_long pre_effect_source_origin_x;
  A_long pre_effect_source_origin_y;
  PF_Fixed shutter_phase;
} PF_InData;

typedef struct PF_OutData {
  A_u_long my_version;
  A_char name[PF_MAX_EFFECT_NAME_LEN + 1];
  PF_Handle global_data;
  A_long num_params;
  PF_Handle sequence_data;
  A_long flat_sdata_size;
  PF_Handle frame_data;
  A_long width;
  A_long height;
  PF_Point origin;
  PF_OutFlags out_flags;
  A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
  A_long start_sampL;
  A_long dur_sampL;
  PF_SoundWorld dest_snd;
  PF_OutFlags2 out_flags2;
} PF_OutData;

// ---- Smart render ------------------------------------------------------------------------
typedef struct {
  PF_LRect rect;
  PF_Field field;
  PF_ChannelMask channel_mask;
  PF_Boolean preserve_rgb_of_zero_alpha;
  char unused[3];
  A_long reserved[4];
} PF_RenderRequest;

typedef struct {
  PF_LRect result_rect;
  PF_LRect max_result_rect;
  PF_RationalScale par;
  PF_Boolean solid;
  PF_Boolean reservedB[3];
  A_long ref_width;
  A_long ref_height;
  A_long reserved[6];
} PF_CheckoutResult;

typedef struct {
  PF_RenderRequest output_request;
  short bitdepth;
  const void* gpu_data;
  PF_GPU_Framework what_gpu;
  A_u_long device_index;
} PF_PreRenderInput;

typedef void (*PF_DeletePreRenderDataFunc)(void* pre_render_data);

typedef struct {
  PF_LRect result_rect;
  PF_LRect max_result_rect;
  PF_Boolean solid;
  PF_Boolean reserved;
  PF_RenderOutputFlags flags;
  void* pre_render_data;
  PF_DeletePreRenderDataFunc delete_pre_render_data_func;
} PF_PreRenderOutput;

typedef struct {
  PF_Err (*checkout_layer)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_idL,
                           const PF_RenderRequest* req, A_long what_time, A_long time_step,
                           A_u_long time_scale, PF_CheckoutResult* checkout_result);
  void* GuidMixInPtr;
} PF_PreRenderCallbacks;

typedef struct {
  PF_PreRenderInput* input;
  PF_PreRenderOutput* output;
  PF_PreRenderCallbacks* cb;
} PF_PreRenderExtra;

typedef struct {
  PF_RenderRequest output_request;
  short bitdepth;
  void* pre_render_data;
  const void* gpu_data;
  PF_GPU_Framework what_gpu;
  A_u_long device_index;
} PF_SmartRenderInput;

typedef struct {
  PF_Err (*checkout_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL,
                                  PF_EffectWorld** pixels);
  PF_Err (*checkin_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL);
  PF_Err (*checkout_output)(PF_ProgPtr effect_ref, PF_EffectWorld** output);
} PF_SmartRenderCallbacks;

typedef struct {
  PF_SmartRenderInput* input;
  PF_SmartRenderCallbacks* cb;
} PF_SmartRenderExtra;

// ---- Basic suite and the named suites the effect acquires ----------------------------------
typedef struct SPBasicSuite {
  SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
  SPErr (*ReleaseSuite)(const char* name, int32_t version);
  SPBoolean (*IsEqual)(const char* token1, const char* token2);
  SPErr (*AllocateBlock)(size_t size, void** block);
  SPErr (*FreeBlock)(void* block);
  SPErr (*ReallocateBlock)(void* block, size_t new_size, void** new_block);
  SPErr (*Undefined)(void);
} SPBasicSuite;

// "PF ANSI Suite", version 1
typedef struct {
  void* atan;
  void* atan2;
  void* ceil;
  void* cos;
  void* exp;
  void* fabs;
  void* floor;
  void* fmod;
  void* hypot;
  void* log;
  void* log10;
  void* pow;
  void* sin;
  void* sqrt;
  void* tan;
  int (*sprintf)(A_char* buffer, const A_char* format, ...);
  A_char* (*strcpy)(A_char* dest, const A_char* src);
  void* asin;
  void* acos;
} PF_ANSICallbacksSuite1;

// "PF Handle Suite", version 2
typedef struct {
  PF_Handle (*host_new_handle)(A_HandleSize size);
  void* (*host_lock_handle)(PF_Handle handle);
  void (*host_unlock_handle)(PF_Handle handle);
  void (*host_dispose_handle)(PF_Handle handle);
  A_HandleSize (*host_get_handle_size)(PF_Handle handle);
  PF_Err (*host_resize_handle)(A_HandleSize new_size, PF_Handle* handle);
} PF_HandleSuite1;

// "AEGP PF Interface Suite", version 1 (declared up to the last member called)
typedef struct {
  void* AEGP_GetEffectLayer;
  A_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID plugin_id, PF_ProgPtr effect_ref,
                                      AEGP_EffectRefH* effect);
} AEGP_PFInterfaceSuite1;

// "AEGP Stream Suite", version 7 (declared up to the last member called)
typedef struct {
  void* AEGP_IsStreamLegal;
  void* AEGP_CanVaryOverTime;
  void* AEGP_GetValidInterpolations;
  void* AEGP_GetNewLayerStream;
  void* AEGP_GetEffectNumParamStreams;
  A_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID plugin_id, AEGP_EffectRefH effect,
                                          PF_ParamIndex index, AEGP_StreamRefH* stream);
  void* AEGP_GetNewMaskStream;
  A_Err (*AEGP_DisposeStream)(AEGP_StreamRefH stream);
} AEGP_StreamSuite2;

// "AEGP Dynamic Stream Suite", version 2 (declared up to the last member called)
typedef struct {
  void* AEGP_GetNewStreamRefForLayer;
  void* AEGP_GetStreamDepth;
  void* AEGP_GetStreamGroupingType;
  void* AEGP_GetNumStreamsInGroup;
  void* AEGP_GetDynamicStreamFlags;
  A_Err (*AEGP_SetDynamicStreamFlag)(AEGP_StreamRefH stream, AEGP_DynStreamFlags one_flag,
                                     A_Boolean undoable, A_Boolean set);
} AEGP_DynamicStreamSuite2;

// "AEGP Effect Suite", version 2 (declared up to the last member called)
typedef struct {
  void* AEGP_GetLayerNumEffects;
  void* AEGP_GetLayerEffectByIndex;
  void* AEGP_GetInstalledKeyFromLayerEffect;
  void* AEGP_GetEffectParamUnionByIndex;
  void* AEGP_GetEffectFlags;
  void* AEGP_SetEffectFlags;
  void* AEGP_ReorderEffect;
  void* AEGP_EffectCallGeneric;
  A_Err (*AEGP_DisposeEffect)(AEGP_EffectRefH effect);
} AEGP_EffectSuite2;

// The entry point's signature, as the host calls it.
typedef PF_Err (*PF_FilterProc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                PF_ParamList params, PF_LayerDef* output, void* extra);

}  // extern "C"

#pragma pack(pop)

#include "host/host_api_layout.h"
