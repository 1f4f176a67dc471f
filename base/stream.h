#pragma once
// TStream: the base of every stream in the program. Descendants override Read and Write and one of the two
// Seek forms (the other forwards to it); the 64-bit forms refuse values outside the 32-bit range with
// ERangeError where only the 32-bit form is implemented.
#include <cstdint>

enum class TSeekOrigin : uint16_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Saves the position, seeks 0 from the end and restores the position.
    virtual int64_t GetSize();
    // Does nothing here.
    virtual void SetSize(int32_t newSize);
    // ERangeError outside the 32-bit signed range, else the 32-bit SetSize.
    virtual void SetSize(int64_t newSize);
    // Copies up to count bytes into buffer; returns the bytes moved (possibly fewer, 0 at the end).
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    // Takes up to count bytes from buffer; returns the bytes taken.
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Forwards to the 64-bit Seek. Origin: 0 from the beginning, 1 from the current position, 2 from the end.
    virtual int32_t Seek(int32_t offset, uint16_t origin);
    // ERangeError outside the 32-bit signed range, else the 32-bit Seek.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin);

    int64_t Position() { return Seek(int64_t{0}, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
    int64_t Size() { return GetSize(); }

    // Exact transfers: one Read (Write) call; EReadError (EWriteError) when fewer bytes move than asked.
    // A count of 0 does nothing.
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);
};
