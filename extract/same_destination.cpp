#include "extract/same_destination.h"

#include <deque>
#include <functional>
#include <string_view>

#include "archive/entry_string.h"
#include "extract/entry_path.h"
#include "platform/folder_files.h"

namespace {

// The names that the entries written so far make below the destination, the folders of their paths and their
// files, each as one node with the first entry that made it. A node is found by its parent (0: the
// destination) and its name in the form under which the file system tells names apart.
class TDestinationTree {
public:
    struct TNode {
        size_t owner; // the entry that made it
        bool file;
    };
    static constexpr uint32_t kDestination = 0;
    static constexpr uint32_t kNone = UINT32_MAX;

    // The node of name inside parent, or kNone.
    uint32_t Find(uint32_t parent, std::u16string_view name) const {
        const auto found = ids_.find({parent, name});
        return found == ids_.end() ? kNone : found->second;
    }
    // name must stay valid as long as the tree.
    uint32_t Add(uint32_t parent, std::u16string_view name, size_t owner, bool file) {
        nodes_.push_back({owner, file});
        const auto id = static_cast<uint32_t>(nodes_.size());
        ids_.emplace(TKey{parent, name}, id);
        return id;
    }
    const TNode& Node(uint32_t id) const { return nodes_[id - 1]; }

private:
    struct TKey {
        uint32_t parent;
        std::u16string_view name;
        bool operator==(const TKey&) const = default;
    };
    struct TKeyHash {
        size_t operator()(const TKey& key) const {
            return std::hash<std::u16string_view>()(key.name) ^ (size_t{key.parent} * 0x9E3779B97F4A7C15ull);
        }
    };
    std::unordered_map<TKey, uint32_t, TKeyHash> ids_;
    std::vector<TNode> nodes_; // node id - 1 -> node
};

// name in the form under which the file system tells names apart: name itself when that is its form (nearly
// always on Linux), else a copy kept in built.
std::u16string_view NameKey(std::u16string_view name, std::deque<std::u16string>& built) {
    std::u16string key(name);
    platform::ToFileNameKey(key);
    if (key == name) {
        return name;
    }
    return built.emplace_back(std::move(key));
}

} // namespace

TSameDestinations::TSameDestinations(const std::vector<std::u16string>& entries) : entries_(entries) {
    TDestinationTree tree;
    std::deque<std::u16string> built;
    // Entries come folder by folder: the folder of the last entry is walked once for all of them. After an
    // entry, its folder is either a node of the tree or blocked by an earlier entry's file.
    std::u16string_view lastFolder;
    bool haveLastFolder = false;
    uint32_t lastFolderNode = TDestinationTree::kDestination;
    std::optional<size_t> lastFolderBlockedBy;
    std::vector<std::u16string_view> missingFolders; // below the folder node reached, not yet in the tree

    for (size_t i = 0; i < entries.size(); ++i) {
        const std::u16string_view entry = entries[i];
        const rFileData parts = SplitEntryPath(entries[i]);
        if (UnsafeEntryPathReason(parts)) {
            continue;
        }
        // Views into the entry string itself, which outlives the tree: fPath is its beginning.
        const std::u16string_view folder = entry.substr(0, parts.fPath.size());
        const std::u16string_view fileName = entry.substr(EntryFileNameStart(entries[i]));

        uint32_t folderNode = TDestinationTree::kDestination;
        std::optional<size_t> blockedBy;
        missingFolders.clear();
        if (haveLastFolder && folder == lastFolder) {
            folderNode = lastFolderNode;
            blockedBy = lastFolderBlockedBy;
        } else {
            for (const std::u16string_view component : EntryDestinationComponents(parts)) {
                const std::u16string_view key =
                    NameKey(folder.substr(static_cast<size_t>(component.data() - parts.fPath.data()),
                                          component.size()),
                            built);
                if (!missingFolders.empty()) {
                    missingFolders.push_back(key);
                    continue;
                }
                const uint32_t found = tree.Find(folderNode, key);
                if (found == TDestinationTree::kNone) {
                    missingFolders.push_back(key);
                } else if (tree.Node(found).file) {
                    blockedBy = tree.Node(found).owner;
                    break;
                } else {
                    folderNode = found;
                }
            }
        }

        if (blockedBy) {
            collisions_.emplace(i, TCollision{*blockedBy, Clash::FolderWhereFile});
        } else {
            const std::u16string_view fileKey = NameKey(fileName, built);
            const uint32_t found =
                missingFolders.empty() ? tree.Find(folderNode, fileKey) : TDestinationTree::kNone;
            if (found != TDestinationTree::kNone) {
                const TDestinationTree::TNode& earlier = tree.Node(found);
                collisions_.emplace(
                    i, TCollision{earlier.owner, earlier.file ? Clash::SameFile : Clash::FileWhereFolder});
            } else {
                for (const std::u16string_view name : missingFolders) {
                    folderNode = tree.Add(folderNode, name, i, false);
                }
                tree.Add(folderNode, fileKey, i, true);
            }
        }
        haveLastFolder = true;
        lastFolder = folder;
        lastFolderNode = folderNode;
        lastFolderBlockedBy = blockedBy;
    }
}

std::optional<TSameDestinations::TEarlier> TSameDestinations::Earlier(size_t index) const {
    const auto found = collisions_.find(index);
    if (found == collisions_.end()) {
        return std::nullopt;
    }
    return TEarlier{found->second.clash, &entries_[found->second.earlier]};
}

const std::u16string* TSameDestinations::EarlierEntry(size_t index) const {
    const std::optional<TEarlier> earlier = Earlier(index);
    return earlier && earlier->clash == Clash::SameFile ? earlier->entry : nullptr;
}
