// The plug-in's version word and error codes in the words its users are given.
#include "host_runtime/effect_session.h"
#include "host_runtime/failure.h"

namespace host_runtime {

std::string VersionText(A_u_long version) {
  const unsigned major = (version >> 19) & 0x7;
  const unsigned minor = (version >> 15) & 0xF;
  const unsigned revision = (version >> 11) & 0xF;
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
}

std::string DescribePluginError(PF_Err code) {
  switch (code) {
    case PF_Err_OUT_OF_MEMORY: return "out of memory, or the frame is larger than the GPU takes";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
      return "no OpenGL context for rendering, or the GPU failed the frame";
    case PF_Err_BAD_CALLBACK_PARAM: return "the plug-in refused the host's data";
    case PF_Interrupt_CANCEL: return "cancelled";
  }
  return "the plug-in failed";
}

std::string PluginErrorText(PF_Err code) {
  const char* meaning = "an error the interface does not define";
  switch (code) {
    case PF_Err_OUT_OF_MEMORY: meaning = "out of memory"; break;
    case PF_Err_INTERNAL_STRUCT_DAMAGED: meaning = "internal structure damaged"; break;
    case PF_Err_INVALID_INDEX: meaning = "invalid index"; break;
    case PF_Err_UNRECOGNIZED_PARAM_TYPE: meaning = "unrecognised parameter type"; break;
    case PF_Err_INVALID_CALLBACK: meaning = "invalid callback"; break;
    case PF_Err_BAD_CALLBACK_PARAM: meaning = "bad callback parameter"; break;
    case PF_Interrupt_CANCEL: meaning = "cancelled"; break;
  }
  return std::string(meaning) + " (error " + std::to_string(code) + ")";
}

Failure Failure::FromPlugin(PF_Err code) {
  if (code == 0) return None();
  return Failure{Kind::kPlugin, code, DescribePluginError(code)};
}

}  // namespace host_runtime
