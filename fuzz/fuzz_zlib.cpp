// Fuzz target: the zlib inflater alone. The input's first 4 bytes (little-endian) choose the destination
// length, bounded to 16 MiB; the rest is the zlib stream. A write outside the destination is an
// AddressSanitizer report (guarded_destination.h). EZlibError and EDecompressionError are the expected
// refusals; anything else escaping is a finding.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "base/exceptions.h"
#include "compression/zlib_decompress.h"
#include "fuzz/guarded_destination.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size - 4 > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        return 0;
    }
    static fuzz::GuardedDestination guarded;
    const uint32_t destinationLength = fuzz::ChosenDestinationLength(data);
    uint8_t* const destination = guarded.Take(destinationLength);
    try {
        ZlibDecompressBuffer(data + 4, static_cast<int32_t>(size - 4), destination,
                             static_cast<int32_t>(destinationLength));
    } catch (const Exception&) {
    }
    return 0;
}
