#pragma once
// Little-endian integers in byte buffers, as every format the program reads or writes stores them (archives,
// LZ4 frames, DDS headers). Byte by byte, so they work on any host and at any alignment; compilers turn each
// into a single load or store.
#include <cstdint>
#include <vector>

constexpr uint16_t LoadLE16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

constexpr uint32_t LoadLE32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

// Six bytes, as the index bits of BC3/BC4/BC5 alpha blocks hold them.
constexpr uint64_t LoadLE48(const uint8_t* bytes) {
    return LoadLE32(bytes) | uint64_t{LoadLE16(bytes + 4)} << 32;
}

constexpr uint64_t LoadLE64(const uint8_t* bytes) {
    return LoadLE32(bytes) | uint64_t{LoadLE32(bytes + 4)} << 32;
}

constexpr void StoreLE32(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

inline void AppendLE32(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[4];
    StoreLE32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

inline void AppendLE64(std::vector<uint8_t>& out, uint64_t value) {
    AppendLE32(out, static_cast<uint32_t>(value));
    AppendLE32(out, static_cast<uint32_t>(value >> 32));
}

// A four-character code ("DDS ", "DXT1") as the 32-bit word that holds its characters in order.
constexpr uint32_t FourCc(const char (&text)[5]) {
    return uint32_t{static_cast<uint8_t>(text[0])} | uint32_t{static_cast<uint8_t>(text[1])} << 8 |
           uint32_t{static_cast<uint8_t>(text[2])} << 16 | uint32_t{static_cast<uint8_t>(text[3])} << 24;
}
