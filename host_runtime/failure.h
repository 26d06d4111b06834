// Why something the host side or a program on it did could not be done: what kind of failure,
// the plug-in's code where it gave one, and the cause in one line for the user. Plug-in codes
// stay plug-in codes; the program's own causes are kinds, never numbers mixed in with them.
#pragma once

#include <string>

#include "host/host_api.h"

namespace host_runtime {

struct Failure {
  enum class Kind {
    kNone,         // no failure
    kSetUp,        // the effect could not be loaded or set up
    kNoContext,    // no OpenGL context can be made here: no frame can render
    kPlugin,       // the plug-in returned an error code for the frame
    kNoThread,     // no thread could be started to render on
    kOutOfMemory,  // the host side's own memory ran out
    kUnexpected,   // any other exception, with its what()
  };
  Kind kind = Kind::kNone;
  PF_Err code = 0;  // the plug-in's code, for kPlugin
  std::string cause;

  explicit operator bool() const { return kind != Kind::kNone; }
  static Failure None() { return Failure{}; }
  static Failure Of(Kind kind, std::string cause) { return Failure{kind, 0, std::move(cause)}; }
  // The failure of a frame the plug-in returned `code` for (0 gives none).
  static Failure FromPlugin(PF_Err code);
};

// A plug-in error code as the interface defines it, with its number: "out of memory (error 4)".
std::string PluginErrorText(PF_Err code);

}  // namespace host_runtime
