#include "extract/extract_entry.h"

#include <new>
#include <optional>

#include "base/exceptions.h"
#include "extract/entry_path.h"
#include "extract/entry_writer.h"

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
    case TExtractOutcome::Kind::NotFound:
        return u"not found in the archive";
    case TExtractOutcome::Kind::Unreadable:
        return outcome.detail;
    case TExtractOutcome::Kind::SameDestination:
        return u"same destination as " + outcome.detail;
    case TExtractOutcome::Kind::FolderOfEarlier:
        return u"destination is a folder for " + outcome.detail;
    case TExtractOutcome::Kind::FileOfEarlier:
        return u"folder in its path is the file of " + outcome.detail;
    case TExtractOutcome::Kind::NoSpace:
        return outcome.detail;
    case TExtractOutcome::Kind::Cancelled:
        return u"cancelled";
    }
    return {};
}

TExtractOutcome ExtractEntry(TwbBSAFile& reader, const std::u16string& entry, TDestinationFolder& destination,
                             const std::u16string* earlierEntry, const std::atomic<bool>* cancel) {
    using Kind = TExtractOutcome::Kind;
    const rFileData parts = SplitEntryPath(entry);
    // An entry is written below the destination or not at all.
    if (std::optional<std::u16string> unsafe = UnsafeEntryPathReason(parts)) {
        return {Kind::Refused, std::move(*unsafe)};
    }
    if (earlierEntry != nullptr) {
        return {Kind::SameDestination, *earlierEntry};
    }
    if (Cancelled(cancel)) {
        return {Kind::Cancelled, {}};
    }
    TBytes data;
    try {
        if (!reader.getFile(parts.fPath, parts.fName, parts.fExt, true, data)) {
            return {Kind::NotFound, {}};
        }
    } catch (const Exception& e) {
        return {Kind::Unreadable, e.Message()};
    } catch (const std::bad_alloc&) {
        return {Kind::Unreadable, u"out of memory"};
    }
    if (Cancelled(cancel)) {
        return {Kind::Cancelled, {}};
    }
    // Room on the disk is taken before anything is made for the entry, and given back unless it is written.
    TTakenSpace taken(destination.Rules().space, data.size());
    if (!taken.Granted()) {
        return {Kind::NoSpace, taken.Refusal()};
    }
    const std::u16string file = EntryDestinationFile(destination.Path(), parts);
    std::u16string refusal;
    const std::optional<platform::FolderHandle> folder =
        destination.Open(EntryDestinationComponents(parts), file, refusal);
    if (!folder) {
        return {Kind::Refused, std::move(refusal)};
    }
    if (!WriteEntryFile(*folder, parts.fName + parts.fExt, file, data, destination.Rules().temporaryPrefix,
                        cancel)) {
        return {Kind::Cancelled, {}};
    }
    taken.Keep();
    return {data.empty() ? Kind::Empty : Kind::Written, {}};
}
