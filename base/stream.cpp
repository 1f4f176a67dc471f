#include "base/stream.h"

#include <limits>

#include "base/exceptions.h"

namespace {
bool FitsInt32(int64_t value) {
    return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
}
} // namespace

int64_t TStream::GetSize() {
    const int64_t position = Seek(int64_t{0}, TSeekOrigin::soCurrent);
    const int64_t size = Seek(int64_t{0}, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void TStream::SetSize(int32_t) {}

void TStream::SetSize(int64_t newSize) {
    if (!FitsInt32(newSize)) {
        throw ERangeError();
    }
    SetSize(static_cast<int32_t>(newSize));
}

int32_t TStream::Seek(int32_t offset, uint16_t origin) {
    return static_cast<int32_t>(Seek(int64_t{offset}, static_cast<TSeekOrigin>(origin)));
}

int64_t TStream::Seek(int64_t offset, TSeekOrigin origin) {
    if (!FitsInt32(offset)) {
        throw ERangeError();
    }
    return Seek(static_cast<int32_t>(offset), static_cast<uint16_t>(origin));
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
    if (count != 0 && Read(buffer, count) != count) {
        throw EReadError();
    }
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
    if (count != 0 && Write(buffer, count) != count) {
        throw EWriteError();
    }
}
