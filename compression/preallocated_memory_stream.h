#pragma once
// TPreallocatedMemoryStream: a stream over a block of memory its creator already owns. It never allocates,
// grows, shrinks or frees the block; a write that would pass the end of the block is cut at the end.
#include <cstdint>

#include "base/memory_stream.h"

class TPreallocatedMemoryStream : public TCustomMemoryStream {
public:
    // The low 32 bits of size become the stream's size; the position starts at 0.
    TPreallocatedMemoryStream(void* memory, int64_t size);

    // Copies min(count, size - position) bytes into the block and advances; 0 (and no change) when that is 0
    // or less. Nothing ever lands outside the block.
    int32_t Write(const void* buffer, int32_t count) override;
};
