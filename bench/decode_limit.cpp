// bench_decode_limit ARCHIVE: the decoding limit of an archive. Reads every payload listed in
// "<ARCHIVE>.payloads" with one positioned read and decodes it straight with liblz4 (frame API) or zlib into
// memory, with buffers and decoder state reused from entry to entry: the least work that getting the entries'
// bytes can take, without our reader. Prints the entries and bytes, and fails on any size mismatch.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "bench/payload_decoder.h"

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
    const auto unpacked = std::make_unique_for_overwrite<uint8_t[]>(largestUnpacked + bench::kDecodeSlack);
    try {
        bench::PayloadDecoder decoder(fd, largestPacked);
        uint64_t bytes = 0;
        for (const bench::Payload& p : payloads) {
            if (const char* failure = decoder.Decode(p, unpacked.get())) {
                return Fail(failure);
            }
            bytes += p.unpackedSize;
        }
        std::printf("%zu entries, %llu bytes\n", payloads.size(), static_cast<unsigned long long>(bytes));
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    close(fd);
    return 0;
}
