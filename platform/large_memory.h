#pragma once
// Memory for large buffers such as decoded images. On Linux, blocks of 2 MiB and more are aligned to 2 MiB
// and marked for transparent huge pages: filling a fresh 64 MiB image then takes 32 page faults instead of
// 16,384, which on a virtual machine costs more than decoding the texture. Elsewhere it is plain malloc.
#include <cstddef>

// A block of at least `bytes` bytes (not cleared), to be released with FreeLarge. Raises std::bad_alloc when
// there is no memory for it.
void* AllocateLarge(size_t bytes);
void FreeLarge(void* block) noexcept;
