// The effect's GLSL program texts, compiled into the library at build time from the files in
// shaders/ (quad.vert, swizzle.frag, fxaa.frag), byte for byte. They are constructed when the
// library is loaded; read them from functions, not from other files' static initialisers.
#pragma once

#include <string>

extern const std::string kQuadVertexProgram;       // quad.vert: the full-target quad
extern const std::string kSwizzleFragmentProgram;  // swizzle.frag: host order to RGBA
extern const std::string kFxaaFragmentProgram;     // fxaa.frag: FXAA, underlay, strength
