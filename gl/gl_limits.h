// The largest frame the effect's OpenGL path renders: its render targets are textures and it
// draws into them through a viewport of the frame's size, so no side may exceed either limit of
// the context. The same figure refuses a frame in the plug-in and is shown to users.
#pragma once

// The largest side of a frame the current context renders: the smaller of GL_MAX_TEXTURE_SIZE
// and GL_MAX_VIEWPORT_DIMS. 0 when no context is current.
int LargestFrameSide();

// LargestFrameSide of a context made as the effect makes its own, on the calling thread, and
// destroyed at once: no context is current afterwards. Only for a thread where nothing but the
// effect's own contexts live (it makes its context current again before every frame). 0 when no
// context can be made.
int QueryLargestFrameSide();
