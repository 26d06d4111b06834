// The driver's GL_MAX_TEXTURE_SIZE, asked on a context of the test's own.
#pragma once

namespace reliability {

// Creates a context on a thread of its own, asks, and destroys it again; 0 without a context.
int MaxTextureSize();

}  // namespace reliability
