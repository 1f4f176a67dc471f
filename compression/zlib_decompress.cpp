#include "compression/zlib_decompress.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

namespace {

// Passes 0 and positive zlib results through; every negative one is an EDecompressionError.
int CheckZlibResult(int result) {
    if (result < 0) {
        throw EDecompressionError(kZlibErrorText);
    }
    return result;
}

// Ends an initialised inflater on every way out: explicitly (with its result checked) on success, silently
// when an exception is already passing.
class Inflater {
public:
    explicit Inflater(z_stream& stream) : stream_(stream) {}
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    ~Inflater() {
        if (!ended_) {
            inflateEnd(&stream_);
        }
    }

    void End() {
        ended_ = true;
        CheckZlibResult(inflateEnd(&stream_));
    }

private:
    z_stream& stream_;
    bool ended_ = false;
};

} // namespace

int64_t ZlibDecompressBuffer(const void* source, int32_t sourceLength, void* destination,
                             int32_t destinationLength) {
    if (sourceLength < 0 || destinationLength < 0) {
        throw EDecompressionError(kZlibErrorText);
    }
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(static_cast<const Bytef*>(source)); // zlib only reads through it
    stream.avail_in = static_cast<uInt>(sourceLength);
    stream.next_out = static_cast<Bytef*>(destination);
    stream.avail_out = static_cast<uInt>(destinationLength);

    CheckZlibResult(inflateInit(&stream));
    Inflater inflater(stream);
    if (CheckZlibResult(inflate(&stream, Z_FINISH)) != Z_STREAM_END) {
        throw EZlibError(kZlibBufferTooSmallText);
    }
    inflater.End();
    return static_cast<int64_t>(stream.total_out);
}

void ZlibInflateStream(TStream& source, TStream& destination, int64_t destinationLength) {
    if (destinationLength < 0) {
        throw EDecompressionError(kZlibErrorText);
    }
    const auto input = std::make_unique_for_overwrite<Bytef[]>(kZlibPieceBytes);
    const auto output = std::make_unique_for_overwrite<Bytef[]>(kZlibPieceBytes);
    z_stream stream{};
    CheckZlibResult(inflateInit(&stream));
    Inflater inflater(stream);
    int64_t outputLeft = destinationLength;
    bool sourceEnded = false;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (stream.avail_in == 0 && !sourceEnded) {
            const int32_t read = source.Read(input.get(), kZlibPieceBytes);
            sourceEnded = read <= 0;
            stream.next_in = input.get();
            stream.avail_in = static_cast<uInt>(std::max(read, 0));
        }
        // Never more room than the whole destination would have left: the one-call inflation fails where
        // that room runs out.
        const auto room = static_cast<uInt>(std::min<int64_t>(outputLeft, kZlibPieceBytes));
        stream.next_out = output.get();
        stream.avail_out = room;
        result = inflate(&stream, Z_NO_FLUSH);
        const uInt produced = room - stream.avail_out;
        destination.WriteBuffer(output.get(), static_cast<int32_t>(produced));
        outputLeft -= produced;
        if (result == Z_BUF_ERROR) {
            // No progress: more input or more room would be needed, and there is none.
            if ((stream.avail_in == 0 && sourceEnded) || outputLeft == 0) {
                throw EDecompressionError(kZlibErrorText);
            }
            continue;
        }
        if (CheckZlibResult(result) == Z_NEED_DICT) {
            throw EZlibError(kZlibBufferTooSmallText);
        }
    }
    inflater.End();
    // A stream that ends early leaves the rest as the one-call inflation's caller made it: zeros.
    std::fill_n(output.get(), std::min<int64_t>(outputLeft, kZlibPieceBytes), Bytef{0});
    while (outputLeft > 0) {
        const auto count = static_cast<int32_t>(std::min<int64_t>(outputLeft, kZlibPieceBytes));
        destination.WriteBuffer(output.get(), count);
        outputLeft -= count;
    }
}
