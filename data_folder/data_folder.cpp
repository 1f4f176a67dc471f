#include "data_folder/data_folder.h"

#include "archive/entry_string.h"
#include "data_folder/loose_file_entries.h"

std::unique_ptr<TEntrySource> TDataSource::Entries() const {
    if (reader) {
        return std::make_unique<TArchiveEntries>(*reader);
    }
    return std::make_unique<TLooseFileEntries>(*loose);
}

std::u16string TDataFolder::EntryString(TOverrideTable::TRowIndex row) const {
    const TSourceRow& at = table.Rows()[row];
    const TBsaIndex& index = sources[at.source].Index();
    return ::EntryString(index.FolderOf(at.entry).Name, index.FileName(at.entry));
}

std::vector<bool> TDataFolder::LoadedSources() const {
    std::vector<bool> loaded;
    loaded.reserve(sources.size());
    for (const TDataSource& source : sources) {
        loaded.push_back(source.loaded);
    }
    return loaded;
}

namespace {

constexpr char16_t kTooManyArchives[] = u"more archives than one list holds (65535)";

void BuildTable(TDataFolder& folder) {
    std::vector<const TBsaIndex*> indexes;
    for (const TDataSource& source : folder.sources) {
        indexes.push_back(&source.Index());
    }
    folder.table = TOverrideTable(std::move(indexes));
    folder.table.SetTakingPart(folder.LoadedSources());
}

} // namespace

std::unique_ptr<TDataFolder> OpenDataFolder(const std::u16string& folderPath,
                                            const TDataFolderOptions& options, std::u16string& why) {
    std::vector<std::u16string> paths;
    if (!ArchivesInFolder(folderPath, paths, why)) {
        return nullptr;
    }
    TOpenedArchives opened = OpenArchives(paths, options.jobs, options.control);
    if (opened.cancelled) {
        why = kOpeningCancelled;
        return nullptr;
    }
    auto folder = std::make_unique<TDataFolder>();
    folder->failed = std::move(opened.failed);

    std::vector<TArchiveCandidate> candidates;
    for (const TSetArchive& archive : opened.archives) {
        candidates.push_back({archive.name, archive.reader->Version()});
    }
    const TGameEdition edition = EditionOf(candidates);
    const TLoadOrderInputs inputs = ReadLoadOrderInputs(folderPath, options.files, edition, folder->order);
    for (TPlacedArchive& placed : PlaceArchives(candidates, inputs)) {
        TSetArchive& archive = opened.archives[placed.candidate];
        if (folder->sources.size() == TOverrideTable::kMaxSources) {
            folder->failed.push_back({std::move(archive.path), kTooManyArchives});
            continue;
        }
        const bool loaded = placed.rule != TLoadRule::NotLoaded;
        folder->sources.push_back({std::move(archive.path), std::move(archive.name),
                                   std::move(archive.reader), nullptr, std::move(placed), loaded});
    }
    if (options.looseFiles) {
        TDataSource loose;
        loose.path = folderPath;
        loose.name = kLooseFilesName;
        if (options.control.Cancelled()) {
            why = kOpeningCancelled;
            return nullptr;
        }
        loose.loose = std::make_unique<TLooseFiles>(FindLooseFiles(folderPath));
        loose.placed = {opened.archives.size(), TLoadRule::LooseFiles, {}};
        if (folder->sources.size() < TOverrideTable::kMaxSources) {
            folder->sources.push_back(std::move(loose));
        }
    }
    if (options.control.Cancelled()) {
        why = kOpeningCancelled;
        return nullptr;
    }
    BuildTable(*folder);
    return folder;
}

std::unique_ptr<TDataFolder> OpenArchivesInOrder(const std::vector<std::u16string>& paths, int jobs,
                                                 const TOpenControl& control) {
    TOpenedArchives opened = OpenArchives(paths, jobs, control);
    if (opened.cancelled) {
        return nullptr;
    }
    auto folder = std::make_unique<TDataFolder>();
    folder->failed = std::move(opened.failed);
    folder->orderGiven = true;
    for (size_t i = 0; i < opened.archives.size(); ++i) {
        TSetArchive& archive = opened.archives[i];
        if (i >= TOverrideTable::kMaxSources) {
            folder->failed.push_back({std::move(archive.path), kTooManyArchives});
            continue;
        }
        TPlacedArchive placed{i, TLoadRule::Given, {}};
        folder->sources.push_back({std::move(archive.path), std::move(archive.name),
                                   std::move(archive.reader), nullptr, std::move(placed), true});
    }
    BuildTable(*folder);
    return folder;
}
