// Describing the effect: what it is, where it goes in the host's menus, what it takes, and its
// controls in the effect's own names, units, ranges and defaults, as its declaration gives them.
#include <string>
#include <vector>

#include "host/effect_version.h"
#include "openfx/ofx_plugin.h"

namespace fxaa_ofx {
namespace {

// Sets every value of a string property at once.
void SetStrings(const OfxPropertySuiteV1& props, OfxPropertySetHandle set, const char* name,
                const std::vector<const char*>& values) {
  for (size_t i = 0; i < values.size(); ++i)
    props.propSetString(set, name, int(i), values[i]);
}

// The source and output clips: RGBA or RGB, whole frames only.
OfxStatus DefineClip(const Plugin& plugin, OfxImageEffectHandle descriptor, const char* name) {
  OfxPropertySetHandle clip = nullptr;
  const OfxStatus status = plugin.effects->clipDefine(descriptor, name, &clip);
  if (status != kOfxStatOK) return status;
  SetStrings(*plugin.props, clip, kOfxImageEffectPropSupportedComponents,
             {kOfxImageComponentRGBA, kOfxImageComponentRGB});
  plugin.props->propSetInt(clip, kOfxImageEffectPropSupportsTiles, 0, 0);
  return kOfxStatOK;
}

OfxStatus DefineControl(const Plugin& plugin, OfxParamSetHandle params, const Control& control) {
  const host_runtime::ParamState& p = control.exposed.param;
  const bool popup = p.type == PF_Param_POPUP;
  OfxPropertySetHandle set = nullptr;
  const OfxStatus status = plugin.params->paramDefine(
      params, popup ? kOfxParamTypeChoice : kOfxParamTypeDouble, control.name.c_str(), &set);
  if (status != kOfxStatOK) return status;
  const OfxPropertySuiteV1& props = *plugin.props;
  props.propSetString(set, kOfxPropLabel, 0, p.name.c_str());
  props.propSetString(set, kOfxParamPropScriptName, 0, control.name.c_str());
  props.propSetInt(set, kOfxParamPropAnimates, 0, 1);
  for (const host_runtime::KnownParam& known : host_runtime::KnownParams())
    if (p.name == known.name) props.propSetString(set, kOfxParamPropHint, 0, known.hint);
  if (!control.exposed.group.empty()) {
    const std::string parent = control.exposed.group;
    props.propSetString(set, kOfxParamPropParent, 0, parent.c_str());
  }
  if (popup) {
    for (size_t i = 0; i < p.choices.size(); ++i)
      props.propSetString(set, kOfxParamPropChoiceOption, int(i), p.choices[i].c_str());
    props.propSetInt(set, kOfxParamPropDefault, 0, int(p.defaultValue) - 1);
    return kOfxStatOK;
  }
  props.propSetString(set, kOfxParamPropDoubleType, 0, kOfxParamDoubleTypePlain);
  props.propSetDouble(set, kOfxParamPropDefault, 0, p.defaultValue);
  props.propSetDouble(set, kOfxParamPropMin, 0, p.validMin);
  props.propSetDouble(set, kOfxParamPropMax, 0, p.validMax);
  props.propSetDouble(set, kOfxParamPropDisplayMin, 0, p.sliderMin);
  props.propSetDouble(set, kOfxParamPropDisplayMax, 0, p.sliderMax);
  props.propSetInt(set, kOfxParamPropDigits, 0, p.precision > 0 ? p.precision : 1);
  return kOfxStatOK;
}

// A group each time the controls enter one, defined before its members.
OfxStatus DefineGroup(const Plugin& plugin, OfxParamSetHandle params, const Control& first) {
  OfxPropertySetHandle set = nullptr;
  const OfxStatus status = plugin.params->paramDefine(params, kOfxParamTypeGroup,
                                                      first.exposed.group.c_str(), &set);
  if (status != kOfxStatOK) return status;
  plugin.props->propSetString(set, kOfxPropLabel, 0, first.exposed.group.c_str());
  plugin.props->propSetInt(set, kOfxParamPropGroupOpen, 0, first.exposed.groupCollapsed ? 0 : 1);
  return kOfxStatOK;
}

}  // namespace

OfxStatus Describe(const Plugin& plugin, OfxImageEffectHandle descriptor, std::string* why) {
  OfxPropertySetHandle effect = nullptr;
  const OfxStatus status = plugin.effects->getPropertySet(descriptor, &effect);
  if (status != kOfxStatOK) {
    *why = "the host gave no property set for the descriptor: " + StatusText(status);
    return kOfxStatErrBadHandle;
  }
  const OfxPropertySuiteV1& props = *plugin.props;
  props.propSetString(effect, kOfxPropLabel, 0, "FXAA");
  props.propSetString(effect, kOfxImageEffectPluginPropGrouping, 0, "Corvella");
  props.propSetString(effect, kOfxPropPluginDescription, 0,
                      "Removes jaggies with FXAA, rendered on the GPU through OpenGL");
  const int version[3] = {FXAA_MAJOR_VERSION, FXAA_MINOR_VERSION, FXAA_BUG_VERSION};
  props.propSetIntN(effect, kOfxPropVersion, 3, version);
  const std::string label = std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
                            std::to_string(version[2]);
  props.propSetString(effect, kOfxPropVersionLabel, 0, label.c_str());
  SetStrings(props, effect, kOfxImageEffectPropSupportedContexts,
             {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral});
  SetStrings(props, effect, kOfxImageEffectPropSupportedPixelDepths,
             {kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat});
  // Any instance may render several frames at once: each frame carries its own values to a
  // worker. A frame is one piece of GPU work, so the host does not split it.
  props.propSetString(effect, kOfxImageEffectPluginRenderThreadSafety, 0,
                      kOfxImageEffectRenderFullySafe);
  props.propSetInt(effect, kOfxImageEffectPluginPropHostFrameThreading, 0, 0);
  // FXAA reads each pixel's neighbours: whole frames only.
  props.propSetInt(effect, kOfxImageEffectPropSupportsTiles, 0, 0);
  props.propSetInt(effect, kOfxImageEffectPropSupportsMultiResolution, 0, 1);
  props.propSetInt(effect, kOfxImageEffectPropTemporalClipAccess, 0, 0);
  return kOfxStatOK;
}

OfxStatus DescribeInContext(const Plugin& plugin, OfxImageEffectHandle descriptor,
                            std::string* why) {
  // What the host refused, named for the message when it does.
  auto refused = [why](OfxStatus status, const std::string& what) {
    if (status != kOfxStatOK) *why = "the host refused " + what + ": " + StatusText(status);
    return status;
  };
  for (const char* clip : {kOfxImageEffectSimpleSourceClipName, kOfxImageEffectOutputClipName}) {
    const OfxStatus status =
        refused(DefineClip(plugin, descriptor, clip), std::string("the clip ") + clip);
    if (status != kOfxStatOK) return status;
  }
  OfxParamSetHandle params = nullptr;
  OfxStatus status = refused(plugin.effects->getParamSet(descriptor, &params), "its parameter set");
  std::string group;
  for (const Control& control : plugin.controls) {
    if (status != kOfxStatOK) break;
    if (!control.exposed.group.empty() && control.exposed.group != group)
      status = refused(DefineGroup(plugin, params, control), "the group " + control.exposed.group);
    group = control.exposed.group;
    if (status == kOfxStatOK)
      status = refused(DefineControl(plugin, params, control), "the control " + control.name);
  }
  return status;
}

}  // namespace fxaa_ofx
