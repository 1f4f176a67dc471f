#include "data_folder/loose_files.h"

#include <algorithm>
#include <map>

#include "platform/directories.h"
#include "platform/locale.h"

namespace {

struct TWalk {
    // By folder (relative, "\" between parts): its files' names in Windows-1252 and their places in paths.
    std::map<std::u16string, std::vector<std::pair<std::string, uint32_t>>> folders;
    TLooseFiles* found;
};

void Walk(TWalk& walk, const std::u16string& path, const std::u16string& relative) {
    std::vector<platform::FolderItem> items;
    if (!platform::ListFolder(path, items)) {
        ++walk.found->unreadableFolders;
        return;
    }
    for (const platform::FolderItem& item : items) {
        const std::u16string itemPath = path + platform::kPathDelimiter + item.name;
        if (item.kind == platform::FolderItem::Kind::Folder && !item.link) {
            Walk(walk, itemPath, relative.empty() ? item.name : relative + u'\\' + item.name);
        } else if (item.kind == platform::FolderItem::Kind::File && !relative.empty()) {
            std::string name;
            std::string folder;
            if (!platform::UnicodeToAnsi(item.name, name) || !platform::UnicodeToAnsi(relative, folder)) {
                ++walk.found->skipped;
                continue;
            }
            walk.folders[relative].emplace_back(std::move(name),
                                                static_cast<uint32_t>(walk.found->paths.size()));
            walk.found->paths.push_back(itemPath);
            walk.found->sizes.push_back(item.size);
        }
    }
}

} // namespace

std::vector<uint32_t> TLooseFiles::EntrySizes() const {
    std::vector<uint32_t> bySize;
    bySize.reserve(index->FileCount());
    for (TEntryRef entry = 0; entry < index->FileCount(); ++entry) {
        bySize.push_back(static_cast<uint32_t>(std::min<uint64_t>(Size(entry), UINT32_MAX)));
    }
    return bySize;
}

TLooseFiles FindLooseFiles(const std::u16string& dataFolder) {
    TLooseFiles found;
    TWalk walk{{}, &found};
    std::u16string root = dataFolder;
    while (root.size() > 1 && platform::FileNameStart(root) == root.size()) {
        root.pop_back(); // a trailing separator
    }
    Walk(walk, root, u"");
    found.index = std::make_unique<TBsaIndex>();
    found.index->ReserveFiles(found.paths.size());
    for (const auto& [folder, files] : walk.folders) {
        found.index->AddFolder(folder);
        for (const auto& [name, place] : files) {
            found.index->AddFileRecord(0, place);
        }
    }
    for (const auto& [folder, files] : walk.folders) {
        for (const auto& [name, place] : files) {
            found.index->AddFileName(name);
        }
    }
    found.index->Finish();
    return found;
}
