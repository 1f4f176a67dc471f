#include "platform/large_memory.h"

#include <cstdlib>
#include <new>

void* AllocateLarge(size_t bytes) {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void FreeLarge(void* block) noexcept {
    std::free(block);
}

void platform::TuneAllocatorForLargeBuffers() {}
