#include "extract/extract_entry.h"

#include <new>
#include <optional>

#include "base/exceptions.h"
#include "extract/entry_path.h"
#include "extract/entry_source.h"
#include "extract/entry_writer.h"
#include "extract/extraction_plan.h"

namespace {

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// Bytes taken from a run's space budget (none without one) for an entry, given back unless kept.
class TTakenSpace {
public:
    TTakenSpace(TSpaceBudget* space, uint64_t bytes) : space_(space), bytes_(bytes) {
        granted_ = space_ == nullptr || space_->Take(bytes_, refusal_);
    }
    ~TTakenSpace() {
        if (granted_ && !kept_ && space_ != nullptr) {
            space_->Give(bytes_);
        }
    }
    TTakenSpace(const TTakenSpace&) = delete;
    TTakenSpace& operator=(const TTakenSpace&) = delete;

    bool Granted() const { return granted_; }
    std::u16string Refusal() const { return refusal_; }
    void Keep() { kept_ = true; }

private:
    TSpaceBudget* space_;
    uint64_t bytes_;
    bool granted_ = false;
    bool kept_ = false;
    std::u16string refusal_;
};

} // namespace

std::u16string ExtractOutcomeReason(const TExtractOutcome& outcome) {
    switch (outcome.kind) {
    case TExtractOutcome::Kind::Written:
    case TExtractOutcome::Kind::Empty:
        return {};
    case TExtractOutcome::Kind::Refused:
        return u"refused: " + outcome.detail;
    case TExtractOutcome::Kind::Unreadable:
        return outcome.detail;
    case TExtractOutcome::Kind::SameDestination:
        return u"same destination as " + outcome.detail;
    case TExtractOutcome::Kind::FolderOfEarlier:
        return u"destination is a folder for " + outcome.detail;
    case TExtractOutcome::Kind::FileOfEarlier:
        return u"folder in its path is the file of " + outcome.detail;
    case TExtractOutcome::Kind::NoSpace:
    case TExtractOutcome::Kind::WriteFailed:
        return outcome.detail;
    case TExtractOutcome::Kind::Cancelled:
        return u"cancelled";
    }
    return {};
}

namespace {

// Stops one entry from inside its destination with the outcome to report.
struct TStopEntry {
    TExtractOutcome outcome;
};

// The entry's file as the reader writes it. Once the reader knows the entry's size (its stored sizes checked;
// a small entry already decoded), the disk space is taken, the entry's folder opened without following links
// and a temporary file made there; the bytes go to that file, which Commit gives the entry's name.
class TEntryFileDestination : public TEntryDestination {
public:
    TEntryFileDestination(TDestinationFolder& destination, const TFolderPlan& folder, std::u16string fileName,
                          const std::atomic<bool>* cancel)
        : destination_(destination), folder_(folder), fileName_(std::move(fileName)), cancel_(cancel) {}

    TStream& Begin(uint64_t size) override {
        using Kind = TExtractOutcome::Kind;
        if (Cancelled(cancel_)) {
            throw TStopEntry{{Kind::Cancelled, {}}};
        }
        // Room on the disk is taken before anything is made for the entry, and given back unless it is
        // written.
        taken_.emplace(destination_.Rules().space, size);
        if (!taken_->Granted()) {
            throw TStopEntry{{Kind::NoSpace, taken_->Refusal()}};
        }
        // The file's path, for messages only.
        const auto file = [this] {
            return EntryDestinationFile(destination_.Path(), folder_.components, fileName_);
        };
        std::u16string refusal;
        const std::optional<platform::FolderHandle> folder =
            destination_.Open(folder_.components, file, refusal);
        if (!folder) {
            throw TStopEntry{{Kind::Refused, std::move(refusal)}};
        }
        writer_.emplace(*folder, fileName_, file, destination_.Rules().temporaryPrefix, cancel_);
        size_ = size;
        return writer_->Stream();
    }

    // Called once the reader wrote every byte: the entry's file takes its name.
    TExtractOutcome Commit() {
        writer_->Commit();
        taken_->Keep();
        return {size_ == 0 ? TExtractOutcome::Kind::Empty : TExtractOutcome::Kind::Written, {}};
    }

private:
    TDestinationFolder& destination_;
    const TFolderPlan& folder_;
    std::u16string fileName_;
    const std::atomic<bool>* cancel_;
    std::optional<TTakenSpace> taken_;
    std::optional<TEntryFileWriter> writer_; // after taken_: dropped first, so the space goes back last
    uint64_t size_ = 0;
};

} // namespace

TExtractOutcome ExtractEntry(TwbBSAFile& reader, const TExtractionPlan& plan, size_t position,
                             TDestinationFolder& destination, const std::atomic<bool>* cancel) {
    TArchiveEntries source(reader);
    return ExtractEntry(source, plan, position, destination, cancel);
}

TExtractOutcome ExtractEntry(TEntrySource& source, const TExtractionPlan& plan, size_t position,
                             TDestinationFolder& destination, const std::atomic<bool>* cancel) {
    using Kind = TExtractOutcome::Kind;
    if (std::optional<TExtractOutcome> decided = plan.Decided(position)) {
        return std::move(*decided);
    }
    if (Cancelled(cancel)) {
        return {Kind::Cancelled, {}};
    }
    // The bytes go to the file as they are read, piece by piece for a large entry: a few MiB of memory
    // whatever its size.
    TEntryFileDestination file(destination, plan.Folder(position), plan.FileName(position), cancel);
    try {
        if (const TFetchResult fetched = source.FetchInPieces(plan.Entry(position), file); !fetched) {
            return {Kind::Unreadable, fetched.reason};
        }
        return file.Commit();
    } catch (const TStopEntry& stop) {
        return stop.outcome;
    } catch (const TWriteCancelled&) {
        return {Kind::Cancelled, {}};
    }
}
