// How the process treats the memory it frees. Mesa's software renderer takes every texture's
// storage from the allocator, and the plug-in creates and deletes its three float render targets
// every frame. The C library hands such large blocks back to the kernel when they are freed, and
// the kernel faults in and zeroes every page again for the next frame. The tool and the
// benchmarks therefore run on jemalloc on Linux (fxaa::allocator), set up to keep freed memory
// for the next frames.
#pragma once

#include <string>
#include <vector>

namespace fxaa_cli {

// What asks for freed memory to be handed back at once: the tool's option, and the environment
// variable (any value but "" or "0").
constexpr const char* kReleaseMemoryOption = "--release-memory";
constexpr const char* kReleaseMemoryVariable = "FXAA_RELEASE_MEMORY";

// True when the option was given (`option`) or kReleaseMemoryVariable asks for it.
bool ReleaseMemoryRequested(bool option);

// The allocator the process runs on: "jemalloc", or "the C library's allocator".
const char* AllocatorName();

// Makes the allocator hand memory back to the system as soon as it is freed. Call before other
// threads start. False on the C library's allocator, which keeps its own behaviour.
bool ReleaseFreedMemoryAtOnce();

// Hands back what freed memory the allocator holds now (before measuring what a frame adds).
void HandBackFreedMemory();

}  // namespace fxaa_cli
