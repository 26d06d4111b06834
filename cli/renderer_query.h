// Which OpenGL renderer the plug-in will draw on here, as `fxaa info` reports it.
#pragma once

#include <ostream>

namespace fxaa_cli {

// Inserted into a stream, writes the line "Renderer:   <renderer>, OpenGL <version>\n", read
// from a context made exactly as the plug-in makes its own (same backend, same device choice)
// and destroyed at once; or a line saying that no OpenGL 3.2 context could be made. The context
// is made only then, after the stream and standard output are flushed: the OpenGL layer prints
// why a creation failed on standard output, and those lines then come whole, before this one.
struct RendererLine {};
std::ostream& operator<<(std::ostream& out, RendererLine);

}  // namespace fxaa_cli
