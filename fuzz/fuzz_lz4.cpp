// Fuzz target: the LZ4 stream decoder alone. The input's first 4 bytes (little-endian) choose the
// destination length, bounded to 16 MiB; the rest is the packed source. A write outside the destination is
// an AddressSanitizer report (guarded_destination.h). A size mismatch is the expected refusal; anything
// else escaping is a finding.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "base/exceptions.h"
#include "compression/lz4_decode.h"
#include "fuzz/guarded_destination.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size - 4 > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        return 0;
    }
    static fuzz::GuardedDestination guarded;
    const uint32_t destinationLength = fuzz::ChosenDestinationLength(data);
    uint8_t* const destination = guarded.Take(destinationLength);
    Lz4ErrorLog errors;
    try {
        Lz4DecompressBuffer(data + 4, static_cast<int32_t>(size - 4), destination,
                            static_cast<int32_t>(destinationLength), &errors);
    } catch (const Exception&) {
    }
    return 0;
}
