// Our declarations of the OpenFX image-effect C interface (API 1.4, image-effect API version 1):
// the exports' types, the bootstrap structs, the suites a filter uses, and the strings it needs.
// Layouts are the same on Linux x86-64 and Win64; the static_asserts below hold them to the
// published sizes and offsets.
#pragma once

#include <cstddef>

extern "C" {

typedef int OfxStatus;
typedef double OfxTime;
typedef struct OfxPropertySetStruct* OfxPropertySetHandle;
typedef struct OfxImageEffectStruct* OfxImageEffectHandle;
typedef struct OfxImageClipStruct* OfxImageClipHandle;
typedef struct OfxImageMemoryStruct* OfxImageMemoryHandle;
typedef struct OfxParamStruct* OfxParamHandle;
typedef struct OfxParamSetStruct* OfxParamSetHandle;

typedef struct OfxRectI {
  int x1, y1, x2, y2;
} OfxRectI;
typedef struct OfxRectD {
  double x1, y1, x2, y2;
} OfxRectD;

typedef OfxStatus(OfxPluginEntryPoint)(const char* action, const void* handle,
                                       OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs);

typedef struct OfxHost {
  OfxPropertySetHandle host;
  const void* (*fetchSuite)(OfxPropertySetHandle host, const char* suiteName, int suiteVersion);
} OfxHost;

typedef struct OfxPlugin {
  const char* pluginApi;
  int apiVersion;
  const char* pluginIdentifier;
  unsigned int pluginVersionMajor;
  unsigned int pluginVersionMinor;
  void (*setHost)(OfxHost* host);
  OfxPluginEntryPoint* mainEntry;
} OfxPlugin;

typedef struct OfxPropertySuiteV1 {
  OfxStatus (*propSetPointer)(OfxPropertySetHandle, const char*, int, void*);
  OfxStatus (*propSetString)(OfxPropertySetHandle, const char*, int, const char*);
  OfxStatus (*propSetDouble)(OfxPropertySetHandle, const char*, int, double);
  OfxStatus (*propSetInt)(OfxPropertySetHandle, const char*, int, int);
  OfxStatus (*propSetPointerN)(OfxPropertySetHandle, const char*, int, void* const*);
  OfxStatus (*propSetStringN)(OfxPropertySetHandle, const char*, int, const char* const*);
  OfxStatus (*propSetDoubleN)(OfxPropertySetHandle, const char*, int, const double*);
  OfxStatus (*propSetIntN)(OfxPropertySetHandle, const char*, int, const int*);
  OfxStatus (*propGetPointer)(OfxPropertySetHandle, const char*, int, void**);
  OfxStatus (*propGetString)(OfxPropertySetHandle, const char*, int, char**);
  OfxStatus (*propGetDouble)(OfxPropertySetHandle, const char*, int, double*);
  OfxStatus (*propGetInt)(OfxPropertySetHandle, const char*, int, int*);
  OfxStatus (*propGetPointerN)(OfxPropertySetHandle, const char*, int, void**);
  OfxStatus (*propGetStringN)(OfxPropertySetHandle, const char*, int, char**);
  OfxStatus (*propGetDoubleN)(OfxPropertySetHandle, const char*, int, double*);
  OfxStatus (*propGetIntN)(OfxPropertySetHandle, const char*, int, int*);
  OfxStatus (*propReset)(OfxPropertySetHandle, const char*);
  OfxStatus (*propGetDimension)(OfxPropertySetHandle, const char*, int* count);
} OfxPropertySuiteV1;

typedef struct OfxImageEffectSuiteV1 {
  OfxStatus (*getPropertySet)(OfxImageEffectHandle, OfxPropertySetHandle*);
  OfxStatus (*getParamSet)(OfxImageEffectHandle, OfxParamSetHandle*);
  OfxStatus (*clipDefine)(OfxImageEffectHandle, const char* name, OfxPropertySetHandle*);
  OfxStatus (*clipGetHandle)(OfxImageEffectHandle, const char* name, OfxImageClipHandle*,
                             OfxPropertySetHandle*);
  OfxStatus (*clipGetPropertySet)(OfxImageClipHandle, OfxPropertySetHandle*);
  OfxStatus (*clipGetImage)(OfxImageClipHandle, OfxTime, const OfxRectD* region,
                            OfxPropertySetHandle* image);
  OfxStatus (*clipReleaseImage)(OfxPropertySetHandle image);
  OfxStatus (*clipGetRegionOfDefinition)(OfxImageClipHandle, OfxTime, OfxRectD* bounds);
  int (*abort)(OfxImageEffectHandle);
  OfxStatus (*imageMemoryAlloc)(OfxImageEffectHandle, size_t, OfxImageMemoryHandle*);
  OfxStatus (*imageMemoryFree)(OfxImageMemoryHandle);
  OfxStatus (*imageMemoryLock)(OfxImageMemoryHandle, void**);
  OfxStatus (*imageMemoryUnlock)(OfxImageMemoryHandle);
} OfxImageEffectSuiteV1;

typedef struct OfxParameterSuiteV1 {
  OfxStatus (*paramDefine)(OfxParamSetHandle, const char* paramType, const char* name,
                           OfxPropertySetHandle*);
  OfxStatus (*paramGetHandle)(OfxParamSetHandle, const char* name, OfxParamHandle*,
                              OfxPropertySetHandle*);
  OfxStatus (*paramSetGetPropertySet)(OfxParamSetHandle, OfxPropertySetHandle*);
  OfxStatus (*paramGetPropertySet)(OfxParamHandle, OfxPropertySetHandle*);
  OfxStatus (*paramGetValue)(OfxParamHandle, ...);
  OfxStatus (*paramGetValueAtTime)(OfxParamHandle, OfxTime, ...);
  OfxStatus (*paramGetDerivative)(OfxParamHandle, OfxTime, ...);
  OfxStatus (*paramGetIntegral)(OfxParamHandle, OfxTime, OfxTime, ...);
  OfxStatus (*paramSetValue)(OfxParamHandle, ...);
  OfxStatus (*paramSetValueAtTime)(OfxParamHandle, OfxTime, ...);
  OfxStatus (*paramGetNumKeys)(OfxParamHandle, unsigned int*);
  OfxStatus (*paramGetKeyTime)(OfxParamHandle, unsigned int, OfxTime*);
  OfxStatus (*paramGetKeyIndex)(OfxParamHandle, OfxTime, int, int*);
  OfxStatus (*paramDeleteKey)(OfxParamHandle, OfxTime);
  OfxStatus (*paramDeleteAllKeys)(OfxParamHandle);
  OfxStatus (*paramCopy)(OfxParamHandle, OfxParamHandle, OfxTime, const void* frameRange);
  OfxStatus (*paramEditBegin)(OfxParamSetHandle, const char* name);
  OfxStatus (*paramEditEnd)(OfxParamSetHandle);
} OfxParameterSuiteV1;

typedef struct OfxMessageSuiteV1 {
  OfxStatus (*message)(void* handle, const char* messageType, const char* messageId,
                       const char* format, ...);
} OfxMessageSuiteV1;

}  // extern "C"

static_assert(sizeof(OfxPlugin) == 48 && offsetof(OfxPlugin, apiVersion) == 8 &&
                  offsetof(OfxPlugin, pluginIdentifier) == 16 &&
                  offsetof(OfxPlugin, pluginVersionMajor) == 24 &&
                  offsetof(OfxPlugin, pluginVersionMinor) == 28 &&
                  offsetof(OfxPlugin, setHost) == 32 && offsetof(OfxPlugin, mainEntry) == 40,
              "OfxPlugin layout");
static_assert(sizeof(OfxHost) == 16 && offsetof(OfxHost, fetchSuite) == 8, "OfxHost layout");
static_assert(sizeof(OfxRectI) == 16 && sizeof(OfxRectD) == 32, "rectangle layouts");
static_assert(sizeof(OfxPropertySuiteV1) == 144 &&
                  offsetof(OfxPropertySuiteV1, propGetPointer) == 64 &&
                  offsetof(OfxPropertySuiteV1, propGetDimension) == 136,
              "property suite layout");
static_assert(sizeof(OfxImageEffectSuiteV1) == 104 &&
                  offsetof(OfxImageEffectSuiteV1, clipGetImage) == 40 &&
                  offsetof(OfxImageEffectSuiteV1, abort) == 64 &&
                  offsetof(OfxImageEffectSuiteV1, imageMemoryUnlock) == 96,
              "image effect suite layout");
static_assert(sizeof(OfxParameterSuiteV1) == 144 &&
                  offsetof(OfxParameterSuiteV1, paramGetValueAtTime) == 40 &&
                  offsetof(OfxParameterSuiteV1, paramSetValue) == 64 &&
                  offsetof(OfxParameterSuiteV1, paramEditEnd) == 136,
              "parameter suite layout");
static_assert(sizeof(OfxMessageSuiteV1) == 8, "message suite layout");

// Status codes.
constexpr OfxStatus kOfxStatOK = 0;
constexpr OfxStatus kOfxStatFailed = 1;
constexpr OfxStatus kOfxStatErrFatal = 2;
constexpr OfxStatus kOfxStatErrUnknown = 3;
constexpr OfxStatus kOfxStatErrMissingHostFeature = 4;
constexpr OfxStatus kOfxStatErrUnsupported = 5;
constexpr OfxStatus kOfxStatErrExists = 6;
constexpr OfxStatus kOfxStatErrFormat = 7;
constexpr OfxStatus kOfxStatErrMemory = 8;
constexpr OfxStatus kOfxStatErrBadHandle = 9;
constexpr OfxStatus kOfxStatErrBadIndex = 10;
constexpr OfxStatus kOfxStatErrValue = 11;
constexpr OfxStatus kOfxStatReplyDefault = 14;

// The API and its suites.
#define kOfxImageEffectPluginApi "OfxImageEffectPluginAPI"
constexpr int kOfxImageEffectPluginApiVersion = 1;
#define kOfxPropertySuite "OfxPropertySuite"
#define kOfxImageEffectSuite "OfxImageEffectSuite"
#define kOfxParameterSuite "OfxParameterSuite"
#define kOfxMessageSuite "OfxMessageSuite"

// Actions.
#define kOfxActionLoad "OfxActionLoad"
#define kOfxActionUnload "OfxActionUnload"
#define kOfxActionDescribe "OfxActionDescribe"
#define kOfxActionCreateInstance "OfxActionCreateInstance"
#define kOfxActionDestroyInstance "OfxActionDestroyInstance"
#define kOfxImageEffectActionDescribeInContext "OfxImageEffectActionDescribeInContext"
#define kOfxImageEffectActionGetRegionsOfInterest "OfxImageEffectActionGetRegionsOfInterest"
#define kOfxImageEffectActionIsIdentity "OfxImageEffectActionIsIdentity"
#define kOfxImageEffectActionRender "OfxImageEffectActionRender"
#define kOfxImageEffectActionEndSequenceRender "OfxImageEffectActionEndSequenceRender"
#define kOfxActionPurgeCaches "OfxActionPurgeCaches"

// Properties.
#define kOfxPropName "OfxPropName"
#define kOfxPropLabel "OfxPropLabel"
#define kOfxPropTime "OfxPropTime"
#define kOfxPropVersion "OfxPropVersion"
#define kOfxPropVersionLabel "OfxPropVersionLabel"
#define kOfxPropPluginDescription "OfxPropPluginDescription"
#define kOfxImageEffectPropContext "OfxImageEffectPropContext"
#define kOfxImageEffectPropSupportedContexts "OfxImageEffectPropSupportedContexts"
#define kOfxImageEffectPropSupportedPixelDepths "OfxImageEffectPropSupportedPixelDepths"
#define kOfxImageEffectPropSupportedComponents "OfxImageEffectPropSupportedComponents"
#define kOfxImageEffectPluginPropGrouping "OfxImageEffectPluginPropGrouping"
#define kOfxImageEffectPluginRenderThreadSafety "OfxImageEffectPluginRenderThreadSafety"
#define kOfxImageEffectPluginPropHostFrameThreading "OfxImageEffectPluginPropHostFrameThreading"
#define kOfxImageEffectPropSupportsMultiResolution "OfxImageEffectPropSupportsMultiResolution"
#define kOfxImageEffectPropSupportsTiles "OfxImageEffectPropSupportsTiles"
#define kOfxImageEffectPropTemporalClipAccess "OfxImageEffectPropTemporalClipAccess"
#define kOfxImageEffectPropFrameRate "OfxImageEffectPropFrameRate"
#define kOfxImageEffectPropRenderScale "OfxImageEffectPropRenderScale"
#define kOfxImageEffectPropRenderWindow "OfxImageEffectPropRenderWindow"
#define kOfxImageEffectPropRegionOfInterest "OfxImageEffectPropRegionOfInterest"
#define kOfxImageEffectPropPixelDepth "OfxImageEffectPropPixelDepth"
#define kOfxImageEffectPropComponents "OfxImageEffectPropComponents"
#define kOfxImageEffectPropPreMultiplication "OfxImageEffectPropPreMultiplication"
#define kOfxImagePropData "OfxImagePropData"
#define kOfxImagePropBounds "OfxImagePropBounds"
#define kOfxImagePropRowBytes "OfxImagePropRowBytes"
#define kOfxParamPropDefault "OfxParamPropDefault"
#define kOfxParamPropAnimates "OfxParamPropAnimates"
#define kOfxParamPropMin "OfxParamPropMin"
#define kOfxParamPropMax "OfxParamPropMax"
#define kOfxParamPropDisplayMin "OfxParamPropDisplayMin"
#define kOfxParamPropDisplayMax "OfxParamPropDisplayMax"
#define kOfxParamPropDigits "OfxParamPropDigits"
#define kOfxParamPropIncrement "OfxParamPropIncrement"
#define kOfxParamPropDoubleType "OfxParamPropDoubleType"
#define kOfxParamPropHint "OfxParamPropHint"
#define kOfxParamPropParent "OfxParamPropParent"
#define kOfxParamPropChoiceOption "OfxParamPropChoiceOption"
#define kOfxParamPropGroupOpen "OfxParamPropGroupOpen"
#define kOfxParamPropScriptName "OfxParamPropScriptName"

// Fixed values.
#define kOfxImageEffectContextFilter "OfxImageEffectContextFilter"
#define kOfxImageEffectContextGeneral "OfxImageEffectContextGeneral"
#define kOfxImageEffectSimpleSourceClipName "Source"
#define kOfxImageEffectOutputClipName "Output"
#define kOfxBitDepthByte "OfxBitDepthByte"
#define kOfxBitDepthShort "OfxBitDepthShort"
#define kOfxBitDepthFloat "OfxBitDepthFloat"
#define kOfxImageComponentRGBA "OfxImageComponentRGBA"
#define kOfxImageComponentRGB "OfxImageComponentRGB"
#define kOfxImagePreMultiplied "OfxImageAlphaPremultiplied"
#define kOfxImageEffectRenderFullySafe "OfxImageEffectRenderFullySafe"
#define kOfxParamTypeDouble "OfxParamTypeDouble"
#define kOfxParamTypeChoice "OfxParamTypeChoice"
#define kOfxParamTypeGroup "OfxParamTypeGroup"
#define kOfxParamDoubleTypePlain "OfxParamDoubleTypePlain"
#define kOfxMessageError "OfxMessageError"
