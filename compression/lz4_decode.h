#pragma once
// The LZ4 stream decoder of version-105 entries: a sequence of parts, each opening with a 32-bit
// little-endian magic number (LZ4 frames, legacy-format streams, skippable frames), decoded through liblz4
// into a destination stream.
//
// Failures inside a part do not raise: their text goes to Lz4ReportError and the part counts what it produced
// before the failure (0 for most header failures). Only Lz4DecompressBuffer turns a wrong total into an
// exception. Every function may also let std::bad_alloc pass when the heap cannot supply a working buffer.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"

struct LZ4F_dctx_s; // liblz4's frame decompression context

// The texts handed to Lz4ReportError during one decoding run, in order, for callers that want to know why a
// run fell short (tests, diagnostics). Decoding never depends on it; every `errors` argument may be null.
using Lz4ErrorLog = std::vector<std::u16string>;

// What one decoding run lends to each of its parts: the block buffers and the frame decompression context
// (which holds block-sized buffers of its own), obtained when a part first needs them and kept for the parts
// after it. Without one, each frame and legacy stream obtains and releases its own, up to 16 MiB: a source of
// thousands of tiny parts would then spend its time allocating.
class Lz4Workspace {
public:
    Lz4Workspace() = default;
    Lz4Workspace(const Lz4Workspace&) = delete;
    Lz4Workspace& operator=(const Lz4Workspace&) = delete;
    ~Lz4Workspace();

    // A buffer of at least `size` bytes, not cleared: the decoders only use bytes the source or the library
    // filled. Valid until the next call that asks for more.
    uint8_t* Input(size_t size) { return Reserve(input_, inputSize_, size); }
    uint8_t* Output(size_t size) { return Reserve(output_, outputSize_, size); }

    // Sets context to a frame decompression context in its initial state: created on first use, reset for
    // every later frame. Result: 0, or the library's error code when none could be created (context null).
    size_t FrameContext(LZ4F_dctx_s*& context);
    // Frees the frame context now. Result: the library's, 0 or an error code.
    size_t ReleaseFrameContext();

private:
    static uint8_t* Reserve(std::unique_ptr<uint8_t[]>& buffer, size_t& held, size_t size);

    std::unique_ptr<uint8_t[]> input_, output_;
    size_t inputSize_ = 0, outputSize_ = 0;
    LZ4F_dctx_s* frameContext_ = nullptr;
};

// Decodes every part of source[0..sourceLength) into destination[0..destinationLength), in order.
// Result: none; the destination holds the decoded bytes, the bytes after them are untouched.
// Failure: Exception "lz4 decompression size mismatch" unless the bytes decoded add up to exactly
// destinationLength (damaged, truncated, over-long or unrecognised input); a negative destinationLength
// raises the same without touching anything, a negative sourceLength counts as an empty source.
// Never reads or writes outside the two buffers and never allocates, resizes or frees them.
void Lz4DecompressBuffer(const void* source, int32_t sourceLength, void* destination,
                         int32_t destinationLength, Lz4ErrorLog* errors = nullptr);

// Decodes the next part of source into destination, passing over any skippable frames before it.
// Result: the bytes that part produced (0 for a part that failed at once), or -1 when no further part
// follows: the source is exhausted or continues with unrecognised data.
// The three decoders take their block buffers from workspace, or obtain their own when it is null.
int64_t Lz4DecodeStream(TStream& source, TStream& destination, Lz4ErrorLog* errors = nullptr,
                        Lz4Workspace* workspace = nullptr);

// Decodes one LZ4 frame whose magic number has just been read from source: its header (7 to 19 bytes with
// the magic number; its flags say how many), then block by block. Every descriptor option of the frame format
// is decoded but a dictionary id: such a frame is refused after its header, as entries carry no dictionary.
// Result: the bytes produced, also those of a block the destination took only in part; 0 when the frame
// header cannot be decoded or is refused.
int64_t Lz4DecodeFrame(TStream& source, TStream& destination, Lz4ErrorLog* errors = nullptr,
                       Lz4Workspace* workspace = nullptr);

// Decodes one legacy-format stream whose magic number has just been read from source: blocks of a 32-bit
// little-endian compressed size and that many bytes, until the source ends or a size too large for a block
// (the magic number of a following part) is met, which is given back to the source.
// Result: the bytes decoded, also those the destination took only in part.
int64_t Lz4DecodeLegacy(TStream& source, TStream& destination, Lz4ErrorLog* errors = nullptr,
                        Lz4Workspace* workspace = nullptr);

// Receives the text of every decoder failure and appends it to errors when given. Returns 0, the count that
// a part failing at once reports.
int32_t Lz4ReportError(const std::u16string& message, Lz4ErrorLog* errors = nullptr);
