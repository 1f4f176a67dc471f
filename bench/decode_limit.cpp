// bench_decode_limit ARCHIVE: the decoding limit of an archive. Reads every payload listed in
// "<ARCHIVE>.payloads" with one positioned read and decodes it straight with liblz4 (frame API) or zlib into
// memory, with buffers and decoder state reused from entry to entry: the least work that getting the entries'
// bytes can take, without our reader. Prints the entries and bytes, and fails on any size mismatch.
#include <fcntl.h>
#include <lz4frame.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_data.h"

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "bench_decode_limit: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return Fail("usage: bench_decode_limit ARCHIVE");
    }
    const std::string archive = argv[1];
    std::vector<bench::Payload> payloads;
    if (!bench::ReadManifest(archive + ".payloads", payloads)) {
        return Fail("cannot read " + archive + ".payloads");
    }
    const int fd = open(archive.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Fail("cannot open " + archive);
    }
    size_t largestPacked = 0, largestUnpacked = 0;
    for (const bench::Payload& p : payloads) {
        largestPacked = std::max<size_t>(largestPacked, p.packedSize);
        largestUnpacked = std::max<size_t>(largestUnpacked, p.unpackedSize);
    }
    const auto packed = std::make_unique_for_overwrite<uint8_t[]>(largestPacked + 1);
    // Room for a whole block past any entry's end, so that liblz4 can always decode straight into it.
    const size_t capacity = largestUnpacked + (4 << 20);
    const auto unpacked = std::make_unique_for_overwrite<uint8_t[]>(capacity);

    LZ4F_dctx* lz4 = nullptr;
    if (LZ4F_isError(LZ4F_createDecompressionContext(&lz4, LZ4F_VERSION))) {
        return Fail("no LZ4 context");
    }
    z_stream zlib{};
    if (inflateInit(&zlib) != Z_OK) {
        return Fail("no zlib stream");
    }

    uint64_t bytes = 0;
    for (const bench::Payload& p : payloads) {
        const auto kind = static_cast<bench::PayloadKind>(p.kind);
        uint8_t* into = kind == bench::PayloadKind::Raw ? unpacked.get() : packed.get();
        if (pread(fd, into, p.packedSize, static_cast<off_t>(p.offset)) !=
            static_cast<ssize_t>(p.packedSize)) {
            return Fail("short read in " + archive);
        }
        size_t produced = p.packedSize;
        if (kind == bench::PayloadKind::Lz4Frame) {
            produced = capacity;
            size_t consumed = p.packedSize;
            const size_t hint =
                LZ4F_decompress(lz4, unpacked.get(), &produced, packed.get(), &consumed, nullptr);
            if (hint != 0) {
                return Fail("LZ4 frame not decoded whole");
            }
        } else if (kind == bench::PayloadKind::Zlib) {
            inflateReset(&zlib);
            zlib.next_in = packed.get();
            zlib.avail_in = p.packedSize;
            zlib.next_out = unpacked.get();
            zlib.avail_out = p.unpackedSize;
            if (inflate(&zlib, Z_FINISH) != Z_STREAM_END) {
                return Fail("zlib stream not inflated whole");
            }
            produced = zlib.total_out;
        }
        if (produced != p.unpackedSize) {
            return Fail("size mismatch");
        }
        bytes += produced;
    }
    inflateEnd(&zlib);
    LZ4F_freeDecompressionContext(lz4);
    close(fd);
    std::printf("%zu entries, %llu bytes\n", payloads.size(), static_cast<unsigned long long>(bytes));
    return 0;
}
