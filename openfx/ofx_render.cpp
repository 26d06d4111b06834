// Rendering a frame: the source image into a world, the controls' values at the frame's time and
// the render scale as the effect's downsample factor, the frame on a worker, the result into the
// output image. A frame that cannot render fails the action, with one message saying why.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "openfx/ofx_image.h"
#include "openfx/ofx_plugin.h"

namespace fxaa_ofx {
namespace {

// The images of one render, released on every way out, as the host requires.
class HeldImages {
 public:
  explicit HeldImages(const OfxImageEffectSuiteV1& effects) : effects_(effects) {}
  ~HeldImages() {
    for (OfxPropertySetHandle image : images_)
      if (image) effects_.clipReleaseImage(image);
  }
  HeldImages(const HeldImages&) = delete;
  HeldImages& operator=(const HeldImages&) = delete;

  // The clip's image at `time`, or null.
  OfxPropertySetHandle Get(OfxImageEffectHandle instance, const char* clipName, OfxTime time) {
    OfxImageClipHandle clip = nullptr;
    OfxPropertySetHandle image = nullptr;
    if (effects_.clipGetHandle(instance, clipName, &clip, nullptr) != kOfxStatOK ||
        effects_.clipGetImage(clip, time, nullptr, &image) != kOfxStatOK)
      return nullptr;
    images_[count_++] = image;
    return image;
  }

 private:
  const OfxImageEffectSuiteV1& effects_;
  OfxPropertySetHandle images_[2] = {};
  int count_ = 0;
};

// The effect's downsample factor for a render scale: the nearest fraction with a small
// denominator (1/2 for a half-resolution preview, as After Effects passes it).
PF_RationalScale DownsampleFor(double scale) {
  if (!(scale > 0) || scale >= 1) return PF_RationalScale{1, 1};
  for (A_u_long den = 1; den <= 1000; ++den) {
    const double num = std::round(scale * den);
    if (num >= 1 && std::fabs(num / den - scale) < 1e-9) return PF_RationalScale{A_long(num), den};
  }
  return PF_RationalScale{A_long(std::lround(scale * 65536)), 65536};
}

// The controls' values at `time`, in the effect's own units (popups 1-based) and held to its
// limits: a host that ignores the declared ranges, or an expression, may send anything.
bool ReadValues(const Plugin& plugin, OfxImageEffectHandle instance, OfxTime time,
                host_runtime::FrameValues* values) {
  OfxParamSetHandle params = nullptr;
  if (plugin.effects->getParamSet(instance, &params) != kOfxStatOK) return false;
  for (const Control& control : plugin.controls) {
    OfxParamHandle param = nullptr;
    if (plugin.params->paramGetHandle(params, control.name.c_str(), &param, nullptr) != kOfxStatOK)
      return false;
    double value = 0;
    if (control.exposed.param.type == PF_Param_POPUP) {
      int choice = 0;
      if (plugin.params->paramGetValueAtTime(param, time, &choice) != kOfxStatOK) return false;
      value = choice + 1;
    } else if (plugin.params->paramGetValueAtTime(param, time, &value) != kOfxStatOK) {
      return false;
    }
    values->params[control.exposed.param.index] = control.limits.Limit(value);
  }
  return true;
}

double DoubleArg(const Plugin& plugin, OfxPropertySetHandle args, const char* name, int index,
                 double otherwise) {
  double value = otherwise;
  return plugin.props->propGetDouble(args, name, index, &value) == kOfxStatOK ? value : otherwise;
}

// Fails the render with one message to the host naming the frame and the cause.
OfxStatus Fail(const Plugin& plugin, OfxImageEffectHandle instance, OfxTime time,
               const std::string& cause) {
  if (plugin.messages != nullptr)
    plugin.messages->message(instance, kOfxMessageError, nullptr,
                             "FXAA: frame %g was not rendered: %s", time, cause.c_str());
  return kOfxStatFailed;
}

OfxStatus RenderFrame(Plugin& plugin, OfxImageEffectHandle instance, OfxPropertySetHandle inArgs,
                      OfxTime time) {
  HeldImages images(*plugin.effects);
  OfxPropertySetHandle source = images.Get(instance, kOfxImageEffectSimpleSourceClipName, time);
  OfxPropertySetHandle output = images.Get(instance, kOfxImageEffectOutputClipName, time);
  if (!source || !output) return Fail(plugin, instance, time, "the host gave no image");
  ImageView in, out;
  std::string why;
  if (!ReadImageView(*plugin.props, source, &in, &why) ||
      !ReadImageView(*plugin.props, output, &out, &why))
    return Fail(plugin, instance, time, why);
  if (in.sampleBytes != out.sampleBytes)
    return Fail(plugin, instance, time, "the source and output differ in depth");
  if (in.width() > host_runtime::kMaxWorldSide || in.height() > host_runtime::kMaxWorldSide)
    return Fail(plugin, instance, time,
                "a frame of " + std::to_string(in.width()) + " x " + std::to_string(in.height()) +
                    " is larger than the effect takes (" + std::to_string(host_runtime::kMaxWorldSide) +
                    " pixels a side)");

  host_runtime::FrameValues values;
  if (!ReadValues(plugin, instance, time, &values))
    return Fail(plugin, instance, time, "the host did not give the controls' values");
  values.downsampleX = DownsampleFor(DoubleArg(plugin, inArgs, kOfxImageEffectPropRenderScale, 0, 1));
  values.downsampleY = DownsampleFor(DoubleArg(plugin, inArgs, kOfxImageEffectPropRenderScale, 1, 1));
  // The effect does not look at the time; it is passed on in milliframes for its messages,
  // held within the 32 bits it has (a host may render at any double).
  const double milliframes = std::isfinite(time) ? time * 1000 : 0;
  values.time = A_long(std::lround(std::clamp(milliframes, double(INT32_MIN), double(INT32_MAX))));
  values.timeStep = 1000;
  OfxPropertySetHandle effect = nullptr;
  plugin.effects->getPropertySet(instance, &effect);
  const double rate = effect ? DoubleArg(plugin, effect, kOfxImageEffectPropFrameRate, 0, 25) : 25;
  values.timeScale = A_u_long(std::lround((rate > 0 ? rate : 25) * 1000));

  // A worker first, then the memory: at most the workers' frames hold worlds, whatever the
  // number of threads the host renders on. The worker is free again before a failure is said.
  host_runtime::Failure failure;
  {
    fxaa_embedding::WorkerPool::Frame frame = plugin.pool->Take();
    frame.Size(in.width(), in.height(), WorldDepthFor(in));
    ToWorld(in, &frame.input());
    failure = frame.Render(values);
    if (!failure) {
      int window[4] = {out.bounds.x1, out.bounds.y1, out.bounds.x2, out.bounds.y2};
      plugin.props->propGetIntN(inArgs, kOfxImageEffectPropRenderWindow, 4, window);
      FromWorld(&frame.output(), in.bounds, OfxRectI{window[0], window[1], window[2], window[3]},
                out);
    }
  }
  return failure ? Fail(plugin, instance, time, failure.cause) : kOfxStatOK;
}

}  // namespace

OfxStatus Render(Plugin& plugin, OfxImageEffectHandle instance, OfxPropertySetHandle inArgs) {
  const OfxTime time = DoubleArg(plugin, inArgs, kOfxPropTime, 0, 0);
  try {
    return RenderFrame(plugin, instance, inArgs, time);
  } catch (const std::bad_alloc&) {
    return Fail(plugin, instance, time, "out of memory for the frame");
  } catch (const std::exception& e) {
    return Fail(plugin, instance, time, e.what());
  }
}

// At Strength 0 the output is the source: the host need not render.
OfxStatus IsIdentity(const Plugin& plugin, OfxImageEffectHandle instance,
                     OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs) {
  host_runtime::FrameValues values;
  const OfxTime time = DoubleArg(plugin, inArgs, kOfxPropTime, 0, 0);
  if (!ReadValues(plugin, instance, time, &values)) return kOfxStatReplyDefault;
  for (const Control& control : plugin.controls)
    if (control.exposed.param.name == "Strength" && values.params[control.exposed.param.index] == 0) {
      plugin.props->propSetString(outArgs, kOfxPropName, 0, kOfxImageEffectSimpleSourceClipName);
      return kOfxStatOK;
    }
  return kOfxStatReplyDefault;
}

// The whole source, whatever part of the output is asked for: every pixel reads its neighbours.
OfxStatus RegionsOfInterest(const Plugin& plugin, OfxImageEffectHandle instance,
                            OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs) {
  OfxImageClipHandle clip = nullptr;
  OfxRectD rod{};
  const OfxTime time = DoubleArg(plugin, inArgs, kOfxPropTime, 0, 0);
  if (plugin.effects->clipGetHandle(instance, kOfxImageEffectSimpleSourceClipName, &clip, nullptr) !=
          kOfxStatOK ||
      plugin.effects->clipGetRegionOfDefinition(clip, time, &rod) != kOfxStatOK)
    return kOfxStatReplyDefault;
  const double region[4] = {rod.x1, rod.y1, rod.x2, rod.y2};
  plugin.props->propSetDoubleN(outArgs, "OfxImageClipPropRoI_Source", 4, region);
  return kOfxStatOK;
}

}  // namespace fxaa_ofx
