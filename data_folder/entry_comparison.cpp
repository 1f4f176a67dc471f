#include "data_folder/entry_comparison.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "extract/entry_fetch.h"

namespace {

// Entries that decode to no more than this are compared whole.
constexpr uint64_t kWholeLimit = 8 << 20;
// Pieces of the second entry waiting to be compared, at most.
constexpr size_t kPiecesAhead = 4;

// Raised through the reader by the destinations below to end a read early; FetchEntryInPieces hands it back.
struct TStopReading {};

// Takes an entry's bytes into memory when it decodes to kWholeLimit or less; otherwise stops at its size.
class TWholeEntry : public TEntryDestination, private TStream {
public:
    TStream& Begin(uint64_t size) override {
        size_ = size;
        if (size > kWholeLimit) {
            throw TStopReading();
        }
        bytes_.reserve(static_cast<size_t>(size));
        return *this;
    }
    uint64_t Size() const { return size_; }
    bool Whole() const { return size_ <= kWholeLimit; }
    const TBytes& Bytes() const { return bytes_; }

private:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        bytes_.insert(bytes_.end(), bytes, bytes + count);
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(bytes_.size()); }
    using TStream::Seek;

    uint64_t size_ = 0;
    TBytes bytes_;
};

// Reads an entry with destination; false with the reason when the reader failed.
bool Fetch(TwbBSAFile& reader, TEntryRef entry, TEntryDestination& destination, std::u16string& reason) {
    try {
        const TFetchResult result = FetchEntryInPieces(reader, entry, destination);
        reason = result.reason;
        return result.fetched;
    } catch (const TStopReading&) {
        return true;
    }
}

// The pieces of one entry, handed from the thread that decodes it to the one that compares.
class TPiecePipe {
public:
    // The decoding side: waits while kPiecesAhead pieces wait; raises TStopReading once the comparing side
    // wants no more.
    void Put(const uint8_t* bytes, size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || pieces_.size() < kPiecesAhead; });
        if (stopped_) {
            throw TStopReading();
        }
        pieces_.emplace_back(bytes, bytes + count);
        changed_.notify_all();
    }
    void Finish() {
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }
    // The comparing side: whether the next count bytes are those; consumes them.
    bool Matches(const uint8_t* bytes, size_t count) {
        while (count > 0) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return finished_ || !pieces_.empty(); });
            if (pieces_.empty()) {
                return false; // the other entry ended first
            }
            TBytes& piece = pieces_.front();
            const size_t n = std::min(count, piece.size() - at_);
            if (std::memcmp(piece.data() + at_, bytes, n) != 0) {
                return false;
            }
            bytes += n;
            count -= n;
            at_ += n;
            if (at_ == piece.size()) {
                pieces_.pop_front();
                at_ = 0;
                changed_.notify_all();
            }
        }
        return true;
    }
    // Whether the decoding side finished with nothing left over; waits for it.
    bool EndsHere() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return finished_ || !pieces_.empty(); });
        return pieces_.empty();
    }
    void Stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<TBytes> pieces_;
    size_t at_ = 0; // in the first piece
    bool finished_ = false;
    bool stopped_ = false;
};

class TPipeWriter : public TEntryDestination, private TStream {
public:
    explicit TPipeWriter(TPiecePipe& pipe) : pipe_(pipe) {}
    TStream& Begin(uint64_t) override { return *this; }

private:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override {
        pipe_.Put(static_cast<const uint8_t*>(buffer), static_cast<size_t>(count));
        written_ += static_cast<uint64_t>(count);
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(written_); }
    using TStream::Seek;

    TPiecePipe& pipe_;
    uint64_t written_ = 0;
};

class TPipeComparer : public TEntryDestination, private TStream {
public:
    explicit TPipeComparer(TPiecePipe& pipe) : pipe_(pipe) {}
    TStream& Begin(uint64_t) override { return *this; }
    bool Differs() const { return differs_; }

private:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override {
        if (!pipe_.Matches(static_cast<const uint8_t*>(buffer), static_cast<size_t>(count))) {
            differs_ = true;
            throw TStopReading();
        }
        read_ += static_cast<uint64_t>(count);
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(read_); }
    using TStream::Seek;

    TPiecePipe& pipe_;
    uint64_t read_ = 0;
    bool differs_ = false;
};

TEntryComparison Failed(int side, std::u16string reason) {
    return {TEntryComparison::Outcome::Failed, side, std::move(reason)};
}

TEntryComparison Compared(bool same) {
    return {same ? TEntryComparison::Outcome::Same : TEntryComparison::Outcome::Different, 0, {}};
}

// Both entries decoded side by side: the second on a thread of its own into the pipe, the first compared with
// it as it comes.
TEntryComparison CompareInPieces(TwbBSAFile& firstReader, TEntryRef first, TwbBSAFile& secondReader,
                                 TEntryRef second) {
    TPiecePipe pipe;
    std::u16string secondReason;
    bool secondFetched = false;
    std::thread decoder([&] {
        TPipeWriter writer(pipe);
        try {
            secondFetched = Fetch(secondReader, second, writer, secondReason);
        } catch (...) {
            secondReason = u"unknown failure";
        }
        pipe.Finish();
    });
    TPipeComparer comparer(pipe);
    std::u16string firstReason;
    bool firstFetched = false;
    try {
        firstFetched = Fetch(firstReader, first, comparer, firstReason);
    } catch (...) {
        firstReason = u"unknown failure";
    }
    const bool endsTogether = firstFetched && !comparer.Differs() && pipe.EndsHere();
    pipe.Stop();
    decoder.join();
    if (!firstFetched) {
        return Failed(0, firstReason);
    }
    if (!secondFetched) {
        return Failed(1, secondReason);
    }
    return Compared(!comparer.Differs() && endsTogether);
}

} // namespace

TEntryComparison CompareEntryContents(TwbBSAFile& firstReader, TEntryRef first, TwbBSAFile& secondReader,
                                      TEntryRef second) {
    TWholeEntry firstWhole;
    TWholeEntry secondWhole;
    std::u16string reason;
    if (!Fetch(firstReader, first, firstWhole, reason)) {
        return Failed(0, reason);
    }
    if (!Fetch(secondReader, second, secondWhole, reason)) {
        return Failed(1, reason);
    }
    if (firstWhole.Size() != secondWhole.Size()) {
        return Compared(false);
    }
    if (firstWhole.Whole()) {
        return Compared(firstWhole.Bytes() == secondWhole.Bytes());
    }
    return CompareInPieces(firstReader, first, secondReader, second);
}
