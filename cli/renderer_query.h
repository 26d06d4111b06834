// Which OpenGL renderer the plug-in will draw on here, and the largest frame it takes there, as
// `fxaa info` reports them and as a frame's failure is explained.
#pragma once

#include <ostream>

namespace fxaa_cli {

// Inserted into a stream, writes the line "Renderer:   <renderer>, OpenGL <version>\n" and the
// line "Frames:     at most <N> pixels a side (...)\n", read from a context made exactly as the
// plug-in makes its own (same backend, same device choice) and destroyed at once; or a line
// saying that no OpenGL 3.2 context could be made. The context is made only then, after the
// stream and standard output are flushed: the OpenGL layer prints why a creation failed on
// standard output, and those lines then come whole, before this one.
struct RendererLine {};
std::ostream& operator<<(std::ostream& out, RendererLine);

// The largest frame side the plug-in renders here, asked once per process of a context made on
// the calling thread as the plug-in makes one; 0 when none can be made. Only on the tool's own
// threads, where nothing but the plug-in's contexts live.
int LargestFrameSideHere();

}  // namespace fxaa_cli
