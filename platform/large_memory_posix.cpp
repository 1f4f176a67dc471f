#include "platform/large_memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

} // namespace

void* AllocateLarge(size_t bytes) {
    void* block = nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kHugePage && bytes <= SIZE_MAX - kHugePage) {
        const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        block = std::aligned_alloc(kHugePage, rounded);
        if (block != nullptr) {
            // Only advice: without huge pages the block works as well, only slower to fill. All of the block,
            // so that its last part, less than a huge page of what was asked for, gets one too.
            madvise(block, rounded, MADV_HUGEPAGE);
            return block;
        }
    }
#endif
    block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void FreeLarge(void* block) noexcept {
    std::free(block);
}

void platform::TuneAllocatorForLargeBuffers() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
#endif
}
