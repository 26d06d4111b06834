// A host of our own for the OpenFX plug-in, written from the published interface, the way the
// host side plays After Effects: it loads the binary as a host does (dlopen or LoadLibrary),
// serves the property, image-effect, parameter and message suites, and sends the actions. The
// images are the tests': any depth and components, bounds anywhere, rows padded or running
// top-down (negative row bytes). Portable, so the Windows build runs it under Wine.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "openfx/ofx_api.h"

namespace ofxtest {

// A property: its type ('i' int, 'd' double, 's' string, 'p' pointer) and its values.
struct Property {
  char type = 0;
  std::vector<int> ints;
  std::vector<double> doubles;
  std::vector<std::string> strings;
  std::vector<void*> pointers;
};

}  // namespace ofxtest

struct OfxPropertySetStruct {
  std::map<std::string, ofxtest::Property> properties;
  // Test helpers: the first value of a property, or `otherwise`.
  std::string String(const std::string& name, int index = 0) const;
  double Double(const std::string& name, int index = 0, double otherwise = 0) const;
  int Int(const std::string& name, int index = 0, int otherwise = 0) const;
  size_t Count(const std::string& name) const;
  void Set(const std::string& name, std::vector<std::string> values);
  void Set(const std::string& name, std::vector<double> values);
  void Set(const std::string& name, std::vector<int> values);
  void Set(const std::string& name, void* value);
};

struct OfxParamStruct {
  std::string type;
  OfxPropertySetStruct props;
  double value = 0;  // doubles, and choices' indexes
};

struct OfxParamSetStruct {
  std::vector<std::string> order;  // names, as defined
  std::map<std::string, std::unique_ptr<OfxParamStruct>> params;
};

namespace ofxtest {
class HostImage;
}

struct OfxImageClipStruct {
  OfxImageEffectStruct* effect = nullptr;
  std::string name;
  OfxPropertySetStruct props;
};

struct OfxImageEffectStruct {
  OfxPropertySetStruct props;
  OfxParamSetStruct params;
  std::map<std::string, std::unique_ptr<OfxImageClipStruct>> clips;
  // An instance's images by render time: the source and the output of that frame.
  std::mutex framesMutex;
  std::map<double, std::pair<ofxtest::HostImage*, ofxtest::HostImage*>> frames;
};

namespace ofxtest {

// How the host lays pixels out.
struct Layout {
  int width = 0, height = 0;
  int sampleBytes = 1;  // 1 byte, 2 (16-bit), 4 (float)
  int components = 4;   // 4 RGBA, 3 RGB
  int x1 = 0, y1 = 0;   // bounds' lower-left corner in pixel coordinates
  int rowPadding = 0;   // bytes after each row
  bool topDown = false;  // rows stored top row first: negative row bytes
  bool premultiplied = false;
};

// An image the host owns, handed to the plug-in through its property set.
class HostImage {
 public:
  explicit HostImage(const Layout& layout);
  const Layout& layout() const { return layout_; }
  // Pixel (x, y) counted from the bounds' lower-left corner, y up.
  uint8_t* Pixel(int x, int y);
  const uint8_t* Pixel(int x, int y) const;
  // The picture as RGBA rows top first, samples packed, no padding: what comparisons read.
  std::vector<uint8_t> Packed() const;
  void SetPacked(const std::vector<uint8_t>& rgbaTopFirst);
  OfxPropertySetStruct props;

 private:
  Layout layout_;
  std::vector<uint8_t> storage_;
  uint8_t* bottomRow_ = nullptr;
  int rowBytes_ = 0;
};

// One loaded binary and its first plug-in, through its whole life: load, describe, instances,
// renders, unload. Not for two hosts at once in one process (the suites reach it statically).
class TestHost {
 public:
  explicit TestHost(const std::string& binaryPath);
  ~TestHost();  // destroys what instances remain, sends unload, closes the binary
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // The suites this host will not serve from now on, by name ("OfxParameterSuite"): a host
  // that lacks one.
  static void Withhold(std::vector<std::string> suites);
  // Runs `hook` on the reading thread whenever the plug-in reads the property `name` (an empty
  // name: never), before the value is read.
  static void OnPropertyRead(const std::string& name, std::function<void()> hook);

  // Load action, then describe and describe in the filter context. False with error() set.
  bool Start();
  // The unload action, sent now rather than by the destructor; safe while another thread
  // renders.
  OfxStatus Unload();
  const std::string& error() const { return error_; }
  const OfxPlugin* plugin() const { return plugin_; }
  OfxPropertySetStruct& descriptor() { return descriptor_.props; }
  OfxImageEffectStruct& filterDescriptor() { return filter_; }

  // An instance in the filter context, its controls at their defaults; null when refused.
  OfxImageEffectStruct* CreateInstance();
  void DestroyInstance(OfxImageEffectStruct* instance);
  // Sets a control (a choice by its index).
  static void SetValue(OfxImageEffectStruct* instance, const std::string& name, double value);

  // Renders `source` into `output` at `time`, the render window the output's bounds. Safe on
  // several threads at once, with different times.
  OfxStatus Render(OfxImageEffectStruct* instance, double time, double renderScale,
                   HostImage* source, HostImage* output);
  // The clip the host may use in place of rendering ("" when it must render).
  OfxStatus IsIdentity(OfxImageEffectStruct* instance, double time, std::string* clip);
  // The end of a sequence's render, then a purge of the plug-in's caches: the host at rest.
  OfxStatus EndSequenceAndPurge(OfxImageEffectStruct* instance);

  std::vector<std::string> messages() const;
  int heldImages() const;  // fetched and not yet released

 private:
  OfxStatus Send(const char* action, const void* handle, OfxPropertySetStruct* in,
                 OfxPropertySetStruct* out);

  void* library_ = nullptr;
  const OfxPlugin* plugin_ = nullptr;
  OfxHost host_{};
  OfxPropertySetStruct hostProps_;
  OfxImageEffectStruct descriptor_;
  OfxImageEffectStruct filter_;
  std::vector<std::unique_ptr<OfxImageEffectStruct>> instances_;
  std::atomic<bool> loaded_{false};
  std::string error_;
};

}  // namespace ofxtest
