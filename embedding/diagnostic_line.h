// The effect's last diagnostic line on the calling thread, as the embedding's sink wrote it to
// standard error. A frame the effect refuses says why in such a line ("error on shader programs
// err 512 err2 0") and with a code that is the same for several causes: the line tells them
// apart without the host seeing anything more than it does.
#pragma once

#include <string>

namespace fxaa_embedding {

// The last whole line written on this thread ("" for none).
std::string LastDiagnosticLine();
// Forgets it, before a frame whose line is to be read.
void ForgetDiagnosticLine();

}  // namespace fxaa_embedding
