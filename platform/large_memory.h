#pragma once
// Memory for large buffers such as decoded images. On Linux, blocks of 2 MiB and more are aligned to 2 MiB
// and marked for transparent huge pages: filling a fresh 64 MiB image then takes 32 page faults instead of
// 16,384, which on a virtual machine costs more than decoding the texture. Elsewhere it is plain malloc.
#include <cstddef>
#include <cstdint>
#include <new>

// A block of at least `bytes` bytes (not cleared), to be released with FreeLarge. Raises std::bad_alloc when
// there is no memory for it.
void* AllocateLarge(size_t bytes);
void FreeLarge(void* block) noexcept;

// The allocator of containers that may grow to several MiB and are filled at once, such as an archive's
// index: their blocks come from AllocateLarge.
template <typename T> struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <typename U> LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(size_t count) {
        if (count > SIZE_MAX / sizeof(T)) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(AllocateLarge(count * sizeof(T)));
    }
    void deallocate(T* block, size_t) noexcept { FreeLarge(block); }
    template <typename U> bool operator==(const LargeAllocator<U>&) const noexcept { return true; }
};

namespace platform {

// Tunes the C library's allocator for a process that allocates and frees buffers of several MiB one after
// another (an entry or two at a time, on each worker) and builds an index of many small blocks: freed large
// blocks are kept for reuse instead of being handed back to the system and mapped afresh for the next entry,
// with page faults on memory the process had a moment ago, and the heap grows in large steps. glibc: mallopt;
// elsewhere nothing.
void TuneAllocatorForLargeBuffers();

} // namespace platform
