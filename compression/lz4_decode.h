#pragma once
// The LZ4 stream decoder of version-105 entries: a sequence of parts, each opening with a 32-bit
// little-endian magic number (LZ4 frames, legacy-format streams, skippable frames), decoded through liblz4
// into a destination stream.
//
// Failures inside a part do not raise: their text goes to Lz4ReportError, and the part's result says that it
// failed and what it produced before the failure. Lz4DecompressBuffer turns a failed part, or a wrong total,
// into an exception. Every function may also let std::bad_alloc pass when the heap cannot supply a working
// buffer.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
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
    // The bytes its block buffers hold (the frame context's own buffers not counted).
    size_t BufferBytes() const { return inputSize_ + outputSize_; }

private:
    static uint8_t* Reserve(std::unique_ptr<uint8_t[]>& buffer, size_t& held, size_t size);

    std::unique_ptr<uint8_t[]> input_, output_;
    size_t inputSize_ = 0, outputSize_ = 0;
    LZ4F_dctx_s* frameContext_ = nullptr;
};

// What decoding one part of a source came to.
struct Lz4PartResult {
    // The bytes the part produced, also those of a block the destination took only in part.
    int64_t produced = 0;
    // A check inside the part failed: its header, a block, a block or content checksum, its stated content
    // size, a read inside it or a write of its output. The part broke off there; what it produced is not its
    // content.
    bool failed = false;

    friend bool operator==(const Lz4PartResult&, const Lz4PartResult&) = default;
};

// Decodes every part of source[0..sourceLength) into destination[0..destinationLength), in order.
// Result: none; the destination holds the decoded bytes, the bytes after them are untouched.
// Failure: Exception "lz4 decompression size mismatch" when a part fails (a damaged, truncated or undecodable
// frame or legacy stream, a checksum that does not match, a frame that needs a dictionary or does not hold
// its stated content size), even when the bytes decoded add up to destinationLength; and when they do not add
// up to exactly destinationLength (over-long or unrecognised input). Passed over without failing: 1 to 3
// stray bytes at the end of the source, and unrecognised data after a complete part, which ends decoding.
// A negative destinationLength raises the same without touching anything, a negative sourceLength counts as
// an empty source. After a failure the destination keeps what was written before it.
// Never reads or writes outside the two buffers and never allocates, resizes or frees them.
// workspace: block buffers and frame context to use and keep (a reader decoding entry after entry passes its
// own, so that no entry allocates them again); one of its own when null.
void Lz4DecompressBuffer(const void* source, int32_t sourceLength, void* destination,
                         int32_t destinationLength, Lz4ErrorLog* errors = nullptr,
                         Lz4Workspace* workspace = nullptr);

// The same decoding between streams, for entries decoded piece by piece: every part of source, read from its
// position until it ends, into destination, which takes at most destinationLength bytes (a write past them is
// cut short there, as the end of a buffer cuts it, and fails its part). Writes reach destination through
// WriteBuffer, one block at a time. The same failures as Lz4DecompressBuffer, raised after the bytes decoded
// before them were written; the destination's own errors pass.
void Lz4DecodeAll(TStream& source, TStream& destination, int64_t destinationLength,
                  Lz4ErrorLog* errors = nullptr, Lz4Workspace* workspace = nullptr);

// Decodes the next part of source into destination, passing over any skippable frames before it.
// Result: what that part came to, or none when no further part follows: the source is exhausted or
// continues with unrecognised data. 1 to 3 bytes where a magic number should start, an unrecognised magic
// number at the very start of the source and a skippable frame that cannot be passed over count as parts
// that produce nothing and do not fail.
// The three decoders take their block buffers from workspace, or obtain their own when it is null.
std::optional<Lz4PartResult> Lz4DecodeStream(TStream& source, TStream& destination,
                                             Lz4ErrorLog* errors = nullptr,
                                             Lz4Workspace* workspace = nullptr);

// Decodes one LZ4 frame whose magic number has just been read from source: its header (7 to 19 bytes with
// the magic number; its flags say how many), then block by block. Every descriptor option of the frame format
// is decoded but a dictionary id: such a frame is refused after its header, as entries carry no dictionary.
// Result: the bytes produced, also those of a block the destination took only in part; failed for any
// failure from the header to the content checksum, a stated content size that the blocks do not make up
// included.
Lz4PartResult Lz4DecodeFrame(TStream& source, TStream& destination, Lz4ErrorLog* errors = nullptr,
                             Lz4Workspace* workspace = nullptr);

// Decodes one legacy-format stream whose magic number has just been read from source: blocks of a 32-bit
// little-endian compressed size and that many bytes, until the source ends or a size too large for a block
// (the magic number of a following part) is met, which is given back to the source.
// Result: the bytes decoded; failed for a block that is cut short, damaged or not taken whole by the
// destination. 1 to 3 bytes left where a block size should start end the stream without failing.
Lz4PartResult Lz4DecodeLegacy(TStream& source, TStream& destination, Lz4ErrorLog* errors = nullptr,
                              Lz4Workspace* workspace = nullptr);

// Receives the text of every decoder failure, and of the stray or unrecognised bytes passed over, and
// appends it to errors when given.
void Lz4ReportError(const std::u16string& message, Lz4ErrorLog* errors = nullptr);
