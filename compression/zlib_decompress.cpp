#include "compression/zlib_decompress.h"

#include <zlib.h>

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

void ZlibDecompressBuffer(const void* source, int32_t sourceLength, void* destination,
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
}
