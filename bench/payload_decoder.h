#pragma once
// One entry's payload read and decoded the least costly way, without our reader: one positioned read of the
// stored bytes, then liblz4's frame API (one context reused from entry to entry) or zlib (one reused stream)
// straight into the caller's memory; raw payloads are read straight into it. Nothing is allocated per entry.
// bench_decode_limit and bench_extract_floor decode with it.
#include <fcntl.h>
#include <lz4frame.h>
#include <unistd.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "bench/bench_data.h"

namespace bench {

// Room a destination needs past an entry's decoded size so that liblz4 always decodes straight into it
// (a whole block of the largest size) instead of through its own buffer.
inline constexpr size_t kDecodeSlack = size_t{4} << 20;

class PayloadDecoder {
public:
    // `archive` is an open descriptor of the archive; no payload stores more than `largestPacked` bytes.
    PayloadDecoder(int archive, size_t largestPacked)
        : archive_(archive), packed_(std::make_unique_for_overwrite<uint8_t[]>(largestPacked + 1)) {
        if (LZ4F_isError(LZ4F_createDecompressionContext(&lz4_, LZ4F_VERSION))) {
            throw std::runtime_error("no LZ4 context");
        }
        if (inflateInit(&zlib_) != Z_OK) {
            LZ4F_freeDecompressionContext(lz4_);
            throw std::runtime_error("no zlib stream");
        }
    }
    ~PayloadDecoder() {
        inflateEnd(&zlib_);
        LZ4F_freeDecompressionContext(lz4_);
    }
    PayloadDecoder(const PayloadDecoder&) = delete;
    PayloadDecoder& operator=(const PayloadDecoder&) = delete;

    // Reads `payload` and decodes its unpackedSize bytes to `into`, which has room for unpackedSize +
    // kDecodeSlack bytes. Returns nullptr, or what went wrong.
    const char* Decode(const Payload& payload, uint8_t* into) {
        const auto kind = static_cast<PayloadKind>(payload.kind);
        uint8_t* readInto = kind == PayloadKind::Raw ? into : packed_.get();
        if (pread(archive_, readInto, payload.packedSize, static_cast<off_t>(payload.offset)) !=
            static_cast<ssize_t>(payload.packedSize)) {
            return "short read of the stored bytes";
        }
        size_t produced = payload.packedSize;
        if (kind == PayloadKind::Lz4Frame) {
            produced = payload.unpackedSize + kDecodeSlack;
            size_t consumed = payload.packedSize;
            if (LZ4F_decompress(lz4_, into, &produced, packed_.get(), &consumed, nullptr) != 0) {
                LZ4F_resetDecompressionContext(lz4_);
                return "LZ4 frame not decoded whole";
            }
        } else if (kind == PayloadKind::Zlib) {
            inflateReset(&zlib_);
            zlib_.next_in = packed_.get();
            zlib_.avail_in = payload.packedSize;
            zlib_.next_out = into;
            zlib_.avail_out = payload.unpackedSize;
            if (inflate(&zlib_, Z_FINISH) != Z_STREAM_END) {
                return "zlib stream not inflated whole";
            }
            produced = zlib_.total_out;
        }
        return produced == payload.unpackedSize ? nullptr : "decoded size differs from the recorded one";
    }

private:
    int archive_;
    std::unique_ptr<uint8_t[]> packed_;
    LZ4F_dctx* lz4_ = nullptr;
    z_stream zlib_{};
};

} // namespace bench
