#pragma once
// TCustomMemoryStream: a stream over a block of memory given by a descendant, with a 32-bit size and
// position. It reads and seeks; what writing means is the descendant's business.
#include <cstdint>

#include "base/stream.h"

class TCustomMemoryStream : public TStream {
public:
    // Copies min(count, size - position) bytes when the position is at or after 0 and count is 0 or more;
    // otherwise returns 0 and changes nothing.
    int32_t Read(void* buffer, int32_t count) override;
    // Position := offset, position + offset or size + offset; any other origin leaves it. No bounds checks.
    int32_t Seek(int32_t offset, uint16_t origin) override;
    using TStream::Seek;

    void* Memory() const { return FMemory; }

protected:
    void SetPointer(void* memory, int32_t size);

    void* FMemory = nullptr;
    int32_t FSize = 0;
    int32_t FPosition = 0;
};
