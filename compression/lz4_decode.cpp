#include "compression/lz4_decode.h"

#include <lz4.h>
#include <lz4frame.h>

#include <algorithm>
#include <memory>

#include "base/exceptions.h"
#include "base/little_endian.h"
#include "base/ustring.h"
#include "compression/preallocated_memory_stream.h"

namespace {

constexpr uint32_t kFrameMagic = 0x184D2204;
constexpr uint32_t kLegacyMagic = 0x184C2102;
// Skippable frames use the sixteen magic numbers 0x184D2A50 to 0x184D2A5F.
constexpr uint32_t kSkippableMagic = 0x184D2A50;
constexpr uint32_t kSkippableMagicMask = 0xFFFFFFF0;

constexpr unsigned kFrameApiVersion = 100;
// A frame header: the magic number, the descriptor's flags (FLG) and block-size byte (BD), an optional 8-byte
// content size, an optional 4-byte dictionary id, a header checksum byte. Its length is known once the flags
// are.
constexpr size_t kFrameHeaderMaxSize = LZ4F_HEADER_SIZE_MAX;
constexpr size_t kFrameHeaderSizeKnownAfter = LZ4F_MIN_SIZE_TO_KNOW_HEADER_LENGTH;
constexpr size_t kFrameFlagsOffset = 4;
constexpr uint8_t kDictionaryIdFlag = 0x01;
static_assert(kFrameHeaderMaxSize == 19 && kFrameHeaderSizeKnownAfter == kFrameFlagsOffset + 1);

// A legacy block decodes to at most 8 MiB; its compressed form is at most LZ4_compressBound of that.
constexpr int32_t kLegacyBlockSize = 8 * 1024 * 1024;
constexpr int32_t kLegacyInputSize = kLegacyBlockSize + kLegacyBlockSize / 255 + 16;
static_assert(kLegacyInputSize == LZ4_COMPRESSBOUND(kLegacyBlockSize));

constexpr char16_t kSizeMismatchText[] = u"lz4 decompression size mismatch";

// Bytes per block of a frame by its descriptor's block-size identifier; -1 for an identifier without a size.
int64_t FrameBlockSize(LZ4F_blockSizeID_t id) {
    switch (id) {
    case LZ4F_max64KB:
        return 64 * 1024;
    case LZ4F_max256KB:
        return 256 * 1024;
    case LZ4F_max1MB:
        return 1024 * 1024;
    case LZ4F_max4MB:
        return 4 * 1024 * 1024;
    default:
        return -1;
    }
}

std::u16string ErrorName(size_t code) {
    return FromUtf8(LZ4F_getErrorName(code));
}

// Hands `input` to the frame decoder; `produced` and `consumed` receive what moved. The library's hint: the
// source bytes it wants next, 0 at the end of the frame, or an error code.
size_t DecompressFrameBytes(LZ4F_dctx* context, uint8_t* output, size_t outputCapacity, const uint8_t* input,
                            size_t inputLength, size_t& produced, size_t& consumed) {
    produced = outputCapacity;
    consumed = inputLength;
    return LZ4F_decompress(context, output, &produced, input, &consumed, nullptr);
}

// Reports why a part broke off after producing `produced` bytes, and gives its result.
Lz4PartResult PartFailed(const std::u16string& message, Lz4ErrorLog* errors, int64_t produced = 0) {
    Lz4ReportError(message, errors);
    return {produced, true};
}

// Reports what is passed over without failing (stray or unrecognised bytes where a part should start, a
// skippable frame that cannot be skipped), and gives the result of a part that produced nothing.
Lz4PartResult PassedOver(const std::u16string& message, Lz4ErrorLog* errors) {
    Lz4ReportError(message, errors);
    return {};
}

} // namespace

void Lz4ReportError(const std::u16string& message, Lz4ErrorLog* errors) {
    if (errors != nullptr) {
        errors->push_back(message);
    }
}

Lz4Workspace::~Lz4Workspace() {
    ReleaseFrameContext();
}

size_t Lz4Workspace::FrameContext(LZ4F_dctx*& context) {
    if (frameContext_ != nullptr) {
        // The previous frame may have stopped anywhere, also after a decoding error.
        LZ4F_resetDecompressionContext(frameContext_);
        context = frameContext_;
        return 0;
    }
    const LZ4F_errorCode_t created = LZ4F_createDecompressionContext(&frameContext_, kFrameApiVersion);
    if (LZ4F_isError(created)) {
        frameContext_ = nullptr;
    }
    context = frameContext_;
    return created;
}

size_t Lz4Workspace::ReleaseFrameContext() {
    const LZ4F_errorCode_t result = LZ4F_freeDecompressionContext(frameContext_);
    frameContext_ = nullptr;
    return result;
}

uint8_t* Lz4Workspace::Reserve(std::unique_ptr<uint8_t[]>& buffer, size_t& held, size_t size) {
    if (held < size) {
        // The old buffer goes first, so that two large ones are never held at once.
        buffer.reset();
        held = 0;
        buffer = std::make_unique_for_overwrite<uint8_t[]>(size);
        held = size;
    }
    return buffer.get();
}

namespace {

Lz4PartResult DecodeFrameWith(TStream& source, TStream& destination, Lz4ErrorLog* errors,
                              Lz4Workspace* workspace) {
    int64_t total = 0;
    Lz4Workspace ownWorkspace;
    Lz4Workspace& lent = workspace != nullptr ? *workspace : ownWorkspace;
    LZ4F_dctx* context = nullptr;
    const LZ4F_errorCode_t created = lent.FrameContext(context);
    if (LZ4F_isError(created)) {
        return PartFailed(u"Allocation error : can't create context: " + ErrorName(created), errors);
    }

    // The header: the magic number the dispatcher consumed, the descriptor's flags, which say how long the
    // rest is (a content size and a dictionary id make it longer), then that rest. The library decodes it
    // whole and only then sees the first block, so the frame's parameters are known before any block is read.
    uint8_t header[kFrameHeaderMaxSize];
    StoreLE32(header, kFrameMagic);
    if (source.Read(header + 4, 1) < 1) {
        return PartFailed(u"Read error", errors);
    }
    const size_t headerSize = LZ4F_headerSize(header, kFrameHeaderSizeKnownAfter);
    if (LZ4F_isError(headerSize)) {
        return PartFailed(u"can't decode frame header: " + ErrorName(headerSize), errors);
    }
    if (headerSize > kFrameHeaderMaxSize) {
        // Not in any published frame format; checked so that the buffer above can never overflow.
        return PartFailed(u"Header too large (" + UIntToStr(headerSize) + u">" +
                              UIntToStr(kFrameHeaderMaxSize) + u")",
                          errors);
    }
    const auto restBytes = static_cast<int32_t>(headerSize - kFrameHeaderSizeKnownAfter);
    if (source.Read(header + kFrameHeaderSizeKnownAfter, restBytes) < restBytes) {
        return PartFailed(u"Read error", errors);
    }
    LZ4F_frameInfo_t info{};
    size_t headerConsumed = headerSize;
    size_t wanted = LZ4F_getFrameInfo(context, &info, header, &headerConsumed);
    if (LZ4F_isError(wanted)) {
        return PartFailed(u"can't decode frame header: " + ErrorName(wanted), errors);
    }
    if (headerConsumed != headerSize) {
        return PartFailed(u"Synchronization error", errors);
    }
    if ((header[kFrameFlagsOffset] & kDictionaryIdFlag) != 0) {
        // Its blocks may refer to bytes of a dictionary that no entry carries.
        return PartFailed(u"can't decode frame: it needs dictionary " + UIntToStr(info.dictID) +
                              u", which entries do not carry",
                          errors);
    }

    const int64_t blockSize = FrameBlockSize(info.blockSizeID);
    if (blockSize < 0) {
        return PartFailed(u"Allocation error : not enough memory", errors, total);
    }
    const auto inputCapacity = static_cast<size_t>(blockSize) + 4;
    const auto outputCapacity = static_cast<size_t>(blockSize);
    uint8_t* const input = lent.Input(inputCapacity);
    uint8_t* const output = lent.Output(outputCapacity);

    // From here on the library wants a block header, then each block with the header of the next, then the
    // end mark and any content checksum.
    size_t produced = 0;
    size_t consumed = 0;
    while (wanted != 0) {
        // With block checksums the library may ask for 4 bytes more than the buffer holds; it takes the
        // block in two helpings then.
        const size_t supplied = std::min(wanted, inputCapacity);
        const auto suppliedBytes = static_cast<int32_t>(supplied);
        if (source.Read(input, suppliedBytes) < suppliedBytes) {
            return PartFailed(u"Read error", errors, total);
        }
        const size_t hint =
            DecompressFrameBytes(context, output, outputCapacity, input, supplied, produced, consumed);
        if (LZ4F_isError(hint)) {
            return PartFailed(u"Decompression error: " + ErrorName(hint), errors, total);
        }
        if (consumed != supplied) {
            return PartFailed(u"Synchronization error", errors, total);
        }
        wanted = hint;
        total += static_cast<int64_t>(produced);
        const auto producedBytes = static_cast<int32_t>(produced);
        if (destination.Write(output, producedBytes) < producedBytes) {
            return PartFailed(u"Write error : cannot write decoded block", errors, total);
        }
    }

    // A context of the frame's own goes with the frame; a lent one stays for the next frame.
    const LZ4F_errorCode_t released = workspace != nullptr ? 0 : ownWorkspace.ReleaseFrameContext();
    if (LZ4F_isError(released)) {
        Lz4ReportError(u"Error : can't free LZ4F context resource: " + ErrorName(released), errors);
    }
    return {total, false};
}

} // namespace

Lz4PartResult Lz4DecodeFrame(TStream& source, TStream& destination, Lz4ErrorLog* errors,
                             Lz4Workspace* workspace) {
    const Lz4PartResult result = DecodeFrameWith(source, destination, errors, workspace);
    if (result.failed && workspace != nullptr) {
        // Reset is not enough for every frame a failed one leaves behind: a frame decoded next with the same
        // context could fail where a new context decodes it. The next frame gets a new one.
        workspace->ReleaseFrameContext();
    }
    return result;
}

Lz4PartResult Lz4DecodeLegacy(TStream& source, TStream& destination, Lz4ErrorLog* errors,
                              Lz4Workspace* workspace) {
    int64_t total = 0;
    Lz4Workspace ownWorkspace;
    Lz4Workspace& buffers = workspace != nullptr ? *workspace : ownWorkspace;
    uint8_t* const input = buffers.Input(kLegacyInputSize);
    uint8_t* const output = buffers.Output(kLegacyBlockSize);

    for (;;) {
        const int32_t sizeFieldBytes = source.Read(input, 4);
        if (sizeFieldBytes <= 0) {
            return {total, false}; // the stream ends with the source
        }
        if (sizeFieldBytes < 4) {
            // Too short for a block size: stray bytes after the last block, as they may follow any part.
            Lz4ReportError(u"Error reading input file", errors);
            return {total, false};
        }
        const uint32_t blockBytes = LoadLE32(input);
        if (blockBytes > static_cast<uint32_t>(kLegacyInputSize)) {
            // Too large for a block: the magic number of whatever follows, which is given back.
            source.Seek(int64_t{-4}, TSeekOrigin::soCurrent);
            return {total, false};
        }
        const auto compressedBytes = static_cast<int32_t>(blockBytes);
        if (source.Read(input, compressedBytes) < compressedBytes) {
            return PartFailed(u"Error reading input file", errors, total);
        }
        const int decoded =
            LZ4_decompress_safe(reinterpret_cast<const char*>(input), reinterpret_cast<char*>(output),
                                compressedBytes, kLegacyBlockSize);
        if (decoded < 0) {
            return PartFailed(u"Decoding Failed ! Corrupted input detected", errors, total);
        }
        total += decoded;
        if (destination.Write(output, decoded) < decoded) {
            return PartFailed(u"Write error : cannot write decoded block into output", errors, total);
        }
    }
}

std::optional<Lz4PartResult> Lz4DecodeStream(TStream& source, TStream& destination, Lz4ErrorLog* errors,
                                             Lz4Workspace* workspace) {
    // Skippable frames are passed over in this loop, so that any number of them costs no stack.
    for (;;) {
        uint8_t magicBytes[4];
        const int32_t magicLength = source.Read(magicBytes, 4);
        if (magicLength <= 0) {
            return std::nullopt;
        }
        if (magicLength < 4) {
            return PassedOver(u"Unrecognized header : Magic Number unreadable", errors);
        }
        uint32_t magic = LoadLE32(magicBytes);
        if ((magic & kSkippableMagicMask) == kSkippableMagic) {
            magic = kSkippableMagic;
        }

        switch (magic) {
        case kLegacyMagic:
            return Lz4DecodeLegacy(source, destination, errors, workspace);
        case kFrameMagic:
            return Lz4DecodeFrame(source, destination, errors, workspace);
        case kSkippableMagic: {
            uint8_t lengthBytes[4];
            if (source.Read(lengthBytes, 4) < 4) {
                return PassedOver(u"Stream error : skippable size unreadable", errors);
            }
            const int64_t skipBytes = LoadLE32(lengthBytes);
            // An area the source cannot skip runs past everything it holds: what follows the length lies
            // inside the area and is never decoded, so the source is left at its end.
            const auto cannotSkip = [&] {
                source.Seek(int64_t{0}, TSeekOrigin::soEnd);
                return PassedOver(u"Stream error : cannot skip skippable area", errors);
            };
            int64_t reached = 0;
            try {
                // A position past the end is fine: nothing more can be read there.
                reached = source.Seek(skipBytes, TSeekOrigin::soCurrent);
            } catch (const ERangeError&) {
                // The stream cannot hold a position that far away.
                return cannotSkip();
            }
            if (source.Position() != reached) {
                return cannotSkip();
            }
            continue;
        }
        default:
            if (source.Position() == 4) {
                return PassedOver(u"Unrecognized header : file cannot be decoded", errors);
            }
            Lz4ReportError(u"Stream followed by unrecognized data", errors);
            return std::nullopt;
        }
    }
}

namespace {

// The destination of Lz4DecodeAll: passes on at most `limit` bytes in all, each write whole or raising.
class TLimitedDestination : public TStream {
public:
    TLimitedDestination(TStream& target, int64_t limit) : target_(target), left_(limit) {}
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override {
        const auto taken = static_cast<int32_t>(std::clamp<int64_t>(left_, 0, std::max(count, 0)));
        target_.WriteBuffer(buffer, taken);
        left_ -= taken;
        return taken;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
    using TStream::Seek;

private:
    TStream& target_;
    int64_t left_;
};

} // namespace

void Lz4DecodeAll(TStream& source, TStream& destination, int64_t destinationLength, Lz4ErrorLog* errors,
                  Lz4Workspace* workspace) {
    if (destinationLength < 0) {
        throw Exception(kSizeMismatchText);
    }
    TLimitedDestination limited(destination, destinationLength);
    // One set of block buffers for every part of the source.
    Lz4Workspace ownWorkspace;
    Lz4Workspace& lent = workspace != nullptr ? *workspace : ownWorkspace;
    int64_t total = 0;
    for (;;) {
        const std::optional<Lz4PartResult> part = Lz4DecodeStream(source, limited, errors, &lent);
        if (!part) {
            break;
        }
        // A part that failed a check fails the entry, whatever the parts after it would add up to; stopping
        // here also keeps a hostile source from keeping the decoder busy after it. A write cut at the end of
        // the destination is such a failure, so the total never passes destinationLength.
        if (part->failed) {
            throw Exception(kSizeMismatchText);
        }
        total += part->produced;
    }
    if (total != destinationLength) {
        throw Exception(kSizeMismatchText);
    }
}

void Lz4DecompressBuffer(const void* source, int32_t sourceLength, void* destination,
                         int32_t destinationLength, Lz4ErrorLog* errors, Lz4Workspace* workspace) {
    if (destinationLength < 0) {
        throw Exception(kSizeMismatchText);
    }
    // The source stream is only ever read, never written.
    TPreallocatedMemoryStream sourceStream(const_cast<void*>(source), std::max(sourceLength, 0));
    TPreallocatedMemoryStream destinationStream(destination, destinationLength);
    Lz4DecodeAll(sourceStream, destinationStream, destinationLength, errors, workspace);
}
