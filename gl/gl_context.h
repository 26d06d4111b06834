// Hidden-drawable OpenGL 3.2 core contexts of the effect's own: creation, destruction,
// switching, and capture of whatever context the host had current. One backend per platform
// (gl_context_wgl.cpp, gl_context_egl.cpp) defines GlContext and these five operations.
#pragma once

#include <string>

// The platform's handles for one context; defined by the backend.
struct GlContext;

// Creates a context (sharing objects with `share` when given; every caller passes none) and
// leaves it current. Returns a record allocated with new, or nullptr after printing why.
GlContext* CreateGlContext(const GlContext* share);

// Releases the platform objects of `gl` and empties its fields; the record itself stays the
// owner's to free with FreeGlContextRecord. Accepts nullptr. Afterwards no context is current
// on the calling thread.
void DestroyGlContext(GlContext* gl);

// Frees a record's memory (after DestroyGlContext, or a captured record). Accepts nullptr.
void FreeGlContextRecord(GlContext* gl);

// Makes `gl` current on the calling thread; with nullptr or an empty record, releases the
// thread's current context. Returns false, after printing why, when `gl` could not be made
// current: whatever was current before may still be, so no GL call may follow.
bool MakeGlContextCurrent(const GlContext* gl);

// A new record of the context current on the calling thread (possibly none). Only ever passed
// to MakeGlContextCurrent and then freed, never destroyed.
GlContext* CaptureCurrentGlContext();

// True when `gl` is not null and holds a context.
bool IsGlContextValid(const GlContext* gl);

// What this system lacks for the effect's contexts (a library, a driver, an OpenGL version) and
// where to get it, as the last creation that failed for that reason found; empty when none did.
// For messages to the user, beside a creation's failure.
std::string GlContextUnavailableReason();
