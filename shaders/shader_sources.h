// The effect's GLSL program texts, compiled into the library from the files in shaders/.
#pragma once

#include <string>

extern const std::string kQuadVertexProgram;        // quad.vert
extern const std::string kSwizzleFragmentProgram;   // swizzle.frag
extern const std::string kFxaaFragmentProgram;      // fxaa.frag
