#pragma once
// The one bounds check for untrusted counts and offsets.
#include <cstdint>

// Whether count bytes from position lie within size bytes. Sizes are 64-bit, where no sum of 32-bit fields
// can wrap; callers with wider values check them against size first.
constexpr bool FitsIn(uint64_t position, uint64_t count, uint64_t size) {
    return position <= size && count <= size - position;
}
