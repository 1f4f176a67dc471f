#include "extract/entry_fetch.h"

#include <exception>
#include <new>
#include <utility>

#include "archive/entry_string.h"
#include "base/exceptions.h"
#include "base/ustring.h"
#include "compression/zlib_decompress.h"

namespace {

// Runs a step of the reader; whatever it raises becomes the result's reason.
template <typename Step> TFetchResult Guarded(Step&& step) {
    TFetchResult result;
    try {
        step();
        result.fetched = true;
    } catch (const EZlibError& e) {
        // zlib's fixed texts ("Erreur") do not say what failed.
        result.reason = kZlibDamagedText + e.Message();
    } catch (const Exception& e) {
        result.reason = e.Message();
    } catch (const std::bad_alloc&) {
        result.reason = u"out of memory";
    } catch (const std::exception& e) {
        result.reason = FromUtf8(e.what());
        result.unexpected = true;
    } catch (...) {
        result.reason = u"unknown failure";
        result.unexpected = true;
    }
    return result;
}

// The stream the reader writes an entry to, forwarding to the destination's own: an error raised there is
// remembered, so that it can be told apart from the reader's failures.
class TForwardingStream : public TStream {
public:
    explicit TForwardingStream(TStream& target) : target_(target) {}
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override {
        try {
            return target_.Write(buffer, count);
        } catch (...) {
            error_ = std::current_exception();
            throw;
        }
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override { return target_.Seek(offset, origin); }
    using TStream::Seek;
    std::exception_ptr Error() const { return error_; }

private:
    TStream& target_;
    std::exception_ptr error_;
};

class TForwardingDestination : public TEntryDestination {
public:
    explicit TForwardingDestination(TEntryDestination& target) : target_(target) {}
    TStream& Begin(uint64_t size) override {
        try {
            stream_.emplace(target_.Begin(size));
        } catch (...) {
            beginError_ = std::current_exception();
            throw;
        }
        return *stream_;
    }
    std::exception_ptr Error() const {
        return beginError_ ? beginError_ : stream_ ? stream_->Error() : nullptr;
    }

private:
    TEntryDestination& target_;
    std::optional<TForwardingStream> stream_;
    std::exception_ptr beginError_;
};

} // namespace

TOpenedArchive OpenArchive(const std::u16string& path) {
    TOpenedArchive opened;
    opened.result = Guarded([&] { opened.reader = std::make_unique<TwbBSAFile>(path); });
    return opened;
}

std::optional<TEntryRef> FindEntryByString(const TwbBSAFile& reader, std::u16string entry) {
    return FindEntryByString(reader.Index(), std::move(entry));
}

std::optional<TEntryRef> FindEntryByString(const TBsaIndex& index, std::u16string entry) {
    // "/" is never part of a name, so it is taken for one.
    for (char16_t& unit : entry) {
        if (unit == u'/') {
            unit = kEntryDelimiter;
        }
    }
    return index.Find(std::u16string_view(entry));
}

TFetchResult FetchEntry(TwbBSAFile& reader, TEntryRef entry, TBytes& buffer) {
    TFetchResult result = Guarded([&] { reader.ReadEntry(entry, buffer); });
    if (!result) {
        buffer.clear();
    }
    return result;
}

TFetchResult FetchEntryInPieces(TwbBSAFile& reader, TEntryRef entry, TEntryDestination& destination) {
    TForwardingDestination forwarding(destination);
    TFetchResult result = Guarded([&] { reader.ReadEntryInPieces(entry, forwarding); });
    if (const std::exception_ptr writeError = forwarding.Error()) {
        std::rethrow_exception(writeError);
    }
    return result;
}

TFetchResult DescribeEntry(TwbBSAFile& reader, TEntryRef entry, TEntryDescription& description) {
    return Guarded([&] {
        description.storage = reader.EntryStorage(entry);
        description.packing = reader.EntryPacking(entry);
    });
}

std::u16string PackingName(TwbBSAFile::Packing packing) {
    switch (packing) {
    case TwbBSAFile::Packing::Raw:
        return u"raw";
    case TwbBSAFile::Packing::Zlib:
        return u"zlib";
    case TwbBSAFile::Packing::Lz4Frame:
        return u"LZ4 frame";
    case TwbBSAFile::Packing::Lz4Legacy:
        return u"LZ4 legacy";
    case TwbBSAFile::Packing::Lz4Unrecognised:
        return u"LZ4, unrecognised";
    }
    return {};
}
