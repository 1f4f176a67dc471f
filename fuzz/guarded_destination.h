#pragma once
// The destination buffer of the decoder targets: `length` usable bytes inside one block that serves every
// input, with every byte of the block around them poisoned, so that a decoder writing one byte outside them
// is an AddressSanitizer report. Allocating up to 16 MiB afresh per input would cost the fuzzer most of its
// speed. Without AddressSanitizer (the replay test) it is a plain buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/little_endian.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PARLIVEX_FUZZ_WITH_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define PARLIVEX_FUZZ_WITH_ASAN 1
#endif
#ifdef PARLIVEX_FUZZ_WITH_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace fuzz {

inline constexpr uint32_t kMaxDestinationLength = 16u << 20;

// The destination length an input chooses with its first 4 bytes (little-endian), at most 16 MiB.
inline uint32_t ChosenDestinationLength(const uint8_t* first4) {
    return LoadLE32(first4) % (kMaxDestinationLength + 1);
}

class GuardedDestination {
public:
    // `length` usable bytes (at most kMaxDestinationLength), not cleared: decoders only write them.
    uint8_t* Take(uint32_t length) {
        // The usable bytes end kGuardBytes before the block does, so that there is always a poisoned byte
        // after them.
        uint8_t* const start = block_.data() + (kMaxDestinationLength - length);
#ifdef PARLIVEX_FUZZ_WITH_ASAN
        ASAN_POISON_MEMORY_REGION(block_.data(), block_.size());
        ASAN_UNPOISON_MEMORY_REGION(start, length);
#endif
        return start;
    }

private:
    static constexpr uint32_t kGuardBytes = 64;
    std::vector<uint8_t> block_ = std::vector<uint8_t>(kMaxDestinationLength + kGuardBytes);
};

} // namespace fuzz
