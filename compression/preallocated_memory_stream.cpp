#include "compression/preallocated_memory_stream.h"

#include <cstring>

TPreallocatedMemoryStream::TPreallocatedMemoryStream(void* memory, int64_t size) {
    SetPointer(memory, static_cast<int32_t>(static_cast<uint32_t>(size)));
}

int32_t TPreallocatedMemoryStream::Write(const void* buffer, int32_t count) {
    // A position before the block would put the copy in front of it: nothing is written there.
    if (FPosition < 0) {
        return 0;
    }
    const int64_t room = int64_t{FSize} - FPosition;
    const int64_t n = count < room ? count : room;
    if (n <= 0) {
        return 0;
    }
    std::memcpy(static_cast<uint8_t*>(FMemory) + FPosition, buffer, static_cast<size_t>(n));
    Seek(static_cast<int32_t>(n), uint16_t{1});
    return static_cast<int32_t>(n);
}
