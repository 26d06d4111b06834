// How the process treats the memory it frees. Mesa's software renderer takes every texture's
// storage from the C library's allocator, and the plug-in creates and deletes its three float
// render targets every frame. glibc hands such large blocks back to the kernel when they are
// freed, and the kernel faults in and zeroes every page again for the next frame. Keeping freed
// memory in the process lets the next frame reuse those pages.
#pragma once

#include <string>
#include <vector>

namespace fxaa_cli {

// What turns the keeping off: the tool's option, and the environment variable (any value but
// "" or "0").
constexpr const char* kReleaseMemoryOption = "--release-memory";
constexpr const char* kReleaseMemoryVariable = "FXAA_RELEASE_MEMORY";

// True when `args` hold kReleaseMemoryOption or kReleaseMemoryVariable asks for it.
bool ReleaseMemoryRequested(const std::vector<std::string>& args);

// Makes freed memory, large blocks included, stay with the process for its next allocations.
// Call before any other thread starts. False where the C library has no such setting (other
// than glibc) or refuses it; the process then runs as it would have.
bool KeepFreedMemory();

}  // namespace fxaa_cli
