#include "base/memory_stream.h"

#include <cstring>

int32_t TCustomMemoryStream::Read(void* buffer, int32_t count) {
    if (FPosition >= 0 && count >= 0) {
        int64_t available = int64_t{FSize} - FPosition;
        if (available > 0) {
            const auto n = static_cast<int32_t>(available > count ? count : available);
            std::memcpy(buffer, static_cast<const uint8_t*>(FMemory) + FPosition, static_cast<size_t>(n));
            FPosition += n;
            return n;
        }
    }
    return 0;
}

int32_t TCustomMemoryStream::Seek(int32_t offset, uint16_t origin) {
    // Wrapping arithmetic: positions far outside the block are allowed and only judged by Read and Write.
    switch (origin) {
    case 0:
        FPosition = offset;
        break;
    case 1:
        FPosition = static_cast<int32_t>(static_cast<uint32_t>(FPosition) + static_cast<uint32_t>(offset));
        break;
    case 2:
        FPosition = static_cast<int32_t>(static_cast<uint32_t>(FSize) + static_cast<uint32_t>(offset));
        break;
    default:
        break;
    }
    return FPosition;
}

void TCustomMemoryStream::SetPointer(void* memory, int32_t size) {
    FMemory = memory;
    FSize = size;
}
