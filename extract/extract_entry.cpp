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
    return {data.empty() ? Kind::Empty : Kind::Written, {}};
}
