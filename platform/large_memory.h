#pragma once
// Memory for large buffers such as decoded images. On Linux, blocks of 2 MiB and more are aligned to 2 MiB
// and marked for transparent huge pages: filling a fresh 64 MiB image then takes 32 page faults instead of
// 16,384, which on a virtual machine costs more than decoding the texture. Elsewhere it is plain malloc.
#include <cstddef>

// A block of at least `bytes` bytes (not cleared), to be released with FreeLarge. Raises std::bad_alloc when
// there is no memory for it.
void* AllocateLarge(size_t bytes);
void FreeLarge(void* block) noexcept;

namespace platform {

// Tunes the C library's allocator for a process that allocates and frees buffers of several MiB one after
// another (an entry or two at a time, on each worker) and builds an index of many small blocks: freed large
// blocks are kept for reuse instead of being handed back to the system and mapped afresh for the next entry,
// with page faults on memory the process had a moment ago, and the heap grows in large steps. glibc: mallopt;
// elsewhere nothing.
void TuneAllocatorForLargeBuffers();

} // namespace platform
