#include "texture/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "texture/texture_error.h"

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kFilterSub = 1;

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(uint8_t(value >> shift));
    }
}

// Appends a chunk: length, type, data, and the CRC of type and data.
void AppendChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t length) {
    AppendU32(out, uint32_t(length));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + length);
    const uLong crc = crc32_z(0, out.data() + typeAt, 4 + length);
    AppendU32(out, uint32_t(crc));
}

// A deflate stream released on every path.
class Deflater {
public:
    Deflater() {
        if (deflateInit(&stream_, Z_DEFAULT_COMPRESSION) != Z_OK) {
            throw ETextureError("cannot start zlib compression");
        }
    }
    ~Deflater() { deflateEnd(&stream_); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Compresses `length` bytes onto the end of `out`; with `finish`, ends the stream.
    void Feed(const uint8_t* data, size_t length, bool finish, std::vector<uint8_t>& out) {
        stream_.next_in = const_cast<Bytef*>(data);
        stream_.avail_in = uInt(length);
        int result;
        do {
            uint8_t chunk[65536];
            stream_.next_out = chunk;
            stream_.avail_out = sizeof chunk;
            result = deflate(&stream_, finish ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR) {
                throw ETextureError("zlib compression failed");
            }
            out.insert(out.end(), chunk, chunk + (sizeof chunk - stream_.avail_out));
        } while (stream_.avail_out == 0 || (finish && result != Z_STREAM_END));
    }

private:
    z_stream stream_{};
};

} // namespace

std::vector<uint8_t> EncodePng(const RgbaImage& image) {
    const size_t rowBytes = size_t{image.width} * 4;
    if (image.width == 0 || image.height == 0 || image.pixels.size() != rowBytes * image.height ||
        rowBytes + 1 > UINT32_MAX) {
        throw ETextureError("cannot write a PNG of " + std::to_string(image.width) + "\u00d7" +
                            std::to_string(image.height) + " pixels from " +
                            std::to_string(image.pixels.size()) + " bytes");
    }
    std::vector<uint8_t> png(std::begin(kSignature), std::end(kSignature));
    std::vector<uint8_t> header;
    AppendU32(header, image.width);
    AppendU32(header, image.height);
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8 bits, RGBA, deflate, adaptive filters, no interlace
    AppendChunk(png, "IHDR", header.data(), header.size());

    std::vector<uint8_t> compressed;
    std::vector<uint8_t> filtered(rowBytes + 1);
    Deflater deflater;
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = image.pixels.data() + y * rowBytes;
        filtered[0] = kFilterSub;
        std::memcpy(filtered.data() + 1, row, 4);
        for (size_t i = 4; i < rowBytes; ++i) {
            filtered[1 + i] = uint8_t(row[i] - row[i - 4]);
        }
        deflater.Feed(filtered.data(), filtered.size(), y + 1 == image.height, compressed);
    }
    // One IDAT chunk holds at most 2^31 - 1 bytes: split larger streams.
    constexpr size_t kMaxChunk = size_t{1} << 30;
    for (size_t at = 0; at < compressed.size(); at += kMaxChunk) {
        AppendChunk(png, "IDAT", compressed.data() + at, std::min(kMaxChunk, compressed.size() - at));
    }
    AppendChunk(png, "IEND", nullptr, 0);
    return png;
}
