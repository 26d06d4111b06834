// Points where the GPU work can be made to fail on demand, for the tests of what a frame does
// when the GPU fails it. In the plug-in they compile to nothing. The fault tests compile their
// own copy of the plug-in's sources with FXAA_GL_FAULT_HOOKS defined and supply GlFaultDue,
// which says whether the fault is due at this call.
#pragma once

enum class GlFault : int {
  kTargetStorage,  // a render target's texture gets no storage
  kProgramBuild,   // a program fails to compile
  kContextSwitch,  // making a context current fails
  kGlError,        // a GL call raises an error during the frame's work
  kThrow,          // an allocation throws in the middle of a draw
  kCount
};

#ifdef FXAA_GL_FAULT_HOOKS
bool GlFaultDue(GlFault fault);
#define FXAA_GL_FAULT_DUE(fault) GlFaultDue(GlFault::fault)
#else
#define FXAA_GL_FAULT_DUE(fault) false
#endif
