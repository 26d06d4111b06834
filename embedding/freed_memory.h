// Handing freed memory back to the system when an embedding's host says it is at rest. Large
// frame buffers freed on a host's many threads stay in the C library's per-thread pools: a host
// watching its memory would see no drop without this.
#pragma once

namespace fxaa_embedding {

// Asks the C library's allocator to return what freed memory it holds (glibc's malloc_trim, the
// Windows C runtime's _heapmin); nothing where the allocator has no such call. Changes no
// setting of the process.
void HandBackFreedMemory();

}  // namespace fxaa_embedding
