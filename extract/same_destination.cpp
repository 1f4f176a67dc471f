#include "extract/same_destination.h"

#include <deque>
#include <string_view>

#include "archive/entry_string.h"
#include "extract/entry_path.h"
#include "platform/folder_files.h"

namespace {

// The entry's destination below DEST as one text: its folders without "." and empty components, then the
// file name, joined with "\", in the form under which the file system tells names apart (where it ignores
// case, names equal up to case are one file). Entries that already have that form (nearly all on Linux) are
// their own key.
std::u16string_view DestinationKey(const std::u16string& entry, const rFileData& parts,
                                   std::deque<std::u16string>& built) {
    const std::vector<std::u16string_view> folders = EntryDestinationComponents(parts);
    std::u16string key;
    for (std::u16string_view folder : folders) {
        key.append(folder).append(1, kEntryDelimiter);
    }
    key.append(parts.fName).append(parts.fExt);
    platform::ToFileNameKey(key);
    if (key == entry) {
        return entry;
    }
    return built.emplace_back(std::move(key));
}

} // namespace

TSameDestinations::TSameDestinations(const std::vector<std::u16string>& entries) : entries_(entries) {
    std::deque<std::u16string> built;
    std::unordered_map<std::u16string_view, size_t> firstWithKey;
    firstWithKey.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const rFileData parts = SplitEntryPath(entries[i]);
        if (UnsafeEntryPathReason(parts)) {
            continue;
        }
        const auto [first, added] = firstWithKey.try_emplace(DestinationKey(entries[i], parts, built), i);
        if (!added) {
            firstOf_.emplace(i, first->second);
        }
    }
}

const std::u16string* TSameDestinations::EarlierEntry(size_t index) const {
    const auto found = firstOf_.find(index);
    return found == firstOf_.end() ? nullptr : &entries_[found->second];
}
