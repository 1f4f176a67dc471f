#include "extract/extraction_plan.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "archive/entry_string.h"
#include "archive/name_order.h"
#include "platform/folder_files.h"
#include "platform/locale.h"

namespace {

using Kind = TExtractOutcome::Kind;

// name in the form under which the file system tells names apart (a copy, nearly always equal to it).
std::u16string FileNameKey(std::u16string_view name) {
    std::u16string key(name);
    platform::ToFileNameKey(key);
    return key;
}

bool HoldsSeparator(std::string_view name) {
    return name.find_first_of("\\:") != std::string_view::npos;
}

} // namespace

size_t TExtractionPlan::TNodeKeyHash::operator()(const TNodeKey& key) const {
    return std::hash<std::u16string_view>()(key.name) ^ (size_t{key.parent} * 0x9E3779B97F4A7C15ull);
}

TExtractionPlan::TExtractionPlan(const TBsaIndex& index, std::vector<TEntryRef> selection,
                                 bool withoutFolders)
    : index_(index) {
    folderOfIndexFolder_.assign(index.Folders().size(), kNone);
    nodes_.push_back({0, {}}); // the destination
    planned_.reserve(selection.size());
    std::u16string fileName;
    for (size_t position = 0; position < selection.size(); ++position) {
        const uint32_t folder = withoutFolders ? FlatFolderOf(selection[position], fileName)
                                               : FolderOf(selection[position], fileName);
        planned_.push_back({selection[position], folder, kWrite});
        if (std::optional<std::u16string> reason =
                UnsafeEntryPathReason(folders_[folder].verdict, fileName)) {
            const auto [it, added] = reasonIds_.try_emplace(*reason, static_cast<uint32_t>(reasons_.size()));
            if (added) {
                reasons_.push_back(std::move(*reason));
            }
            Decide(position, Kind::Refused, it->second);
        } else if (fileName[0] == u'.') {
            dotNames_.push_back(fileName);
        }
    }
    selection = {};
    FindRepresentatives(index);
    FindFilesAtFolders(index);
    FindCollisions();
}

// The folder of an entry, and its file name into fileName. An entry is usually found below its own folder;
// one whose file name holds a "\" or ":" is found where its entry string says, as everywhere else.
uint32_t TExtractionPlan::FolderOf(TEntryRef entry, std::u16string& fileName) {
    const TBsaIndex& index = index_;
    const std::string_view bytes = index.FileNameBytes(entry);
    if (!HoldsSeparator(bytes)) {
        fileName.resize(bytes.size());
        std::transform(bytes.begin(), bytes.end(), fileName.begin(), [](char byte) {
            return platform::AnsiCharToUnicode(static_cast<unsigned char>(byte));
        });
        uint32_t& folder = folderOfIndexFolder_[index.File(entry).folder];
        if (folder == kNone) {
            folder = AddFolder(index.FolderOf(entry).Name, index.File(entry).folder);
        }
        return folder;
    }
    const std::u16string entryString = EntryStringOf(entry);
    const size_t nameStart = EntryFileNameStart(entryString);
    std::u16string folder = entryString.substr(0, nameStart);
    if (!folder.empty() && folder.back() == kEntryDelimiter) {
        folder.pop_back();
    }
    fileName = entryString.substr(nameStart);
    const auto found = folderOfText_.find(folder);
    if (found != folderOfText_.end()) {
        return found->second;
    }
    const uint32_t added = AddFolder(folder, kNone);
    folderOfText_.emplace(std::move(folder), added);
    return added;
}

// Without folders: the destination itself for every entry, its file name into fileName. The one folder plan
// stands for no folder of the index, so that its files are compared by their names wherever they come from.
uint32_t TExtractionPlan::FlatFolderOf(TEntryRef entry, std::u16string& fileName) {
    const std::string_view bytes = index_.FileNameBytes(entry);
    if (!HoldsSeparator(bytes)) {
        fileName = platform::AnsiToUnicode(bytes);
    } else {
        const std::u16string entryString = EntryStringOf(entry);
        fileName = entryString.substr(EntryFileNameStart(entryString));
    }
    if (flatFolder_ == kNone) {
        flatFolder_ = AddFolder(std::u16string(), kNone);
    }
    return flatFolder_;
}

uint32_t TExtractionPlan::AddFolder(std::u16string folder, uint32_t indexFolder) {
    const auto id = static_cast<uint32_t>(folders_.size());
    TFolderPlan& plan = folders_.emplace_back();
    plan.folder = std::move(folder);
    plan.indexFolder = indexFolder;
    plan.verdict = JudgeFolder(plan.folder);
    if (!plan.verdict.character && !plan.verdict.structure && !plan.verdict.name) {
        plan.components = DestinationComponents(plan.folder);
        plan.node = NodeOf(plan.components);
        for (std::u16string_view component : plan.components) {
            if (component[0] == u'.') {
                dotNames_.emplace_back(component);
            }
        }
    }
    return id;
}

uint32_t TExtractionPlan::NodeOf(const std::vector<std::u16string_view>& components) {
    uint32_t node = 0;
    for (std::u16string_view component : components) {
        const auto [it, added] =
            nodeIds_.try_emplace(TNodeKey{node, Key(component)}, static_cast<uint32_t>(nodes_.size()));
        if (added) {
            nodes_.push_back({node, component});
        }
        node = it->second;
    }
    return node;
}

std::u16string_view TExtractionPlan::Key(std::u16string_view name) {
    std::u16string key = FileNameKey(name);
    return key == name ? name : keys_.emplace_back(std::move(key));
}

void TExtractionPlan::Decide(size_t position, TExtractOutcome::Kind kind, uint32_t value) {
    decisions_.push_back({kind, value});
    planned_[position].decision = static_cast<uint32_t>(decisions_.size());
}

std::u16string TExtractionPlan::EntryStringOf(TEntryRef entry) const {
    return EntryString(index_.FolderOf(entry).Name, index_.FileName(entry));
}

std::u16string TExtractionPlan::FileName(size_t position) const {
    const TEntryRef entry = Entry(position);
    const std::string_view bytes = index_.FileNameBytes(entry);
    if (!HoldsSeparator(bytes)) {
        return platform::AnsiToUnicode(bytes);
    }
    const std::u16string entryString = EntryStringOf(entry);
    return entryString.substr(EntryFileNameStart(entryString));
}

std::optional<TExtractOutcome> TExtractionPlan::Decided(size_t position) const {
    const uint32_t decision = planned_[position].decision;
    if (decision == kWrite) {
        return std::nullopt;
    }
    const TDecision& decided = decisions_[decision - 1];
    if (decided.kind == Kind::Refused) {
        return TExtractOutcome{Kind::Refused, reasons_[decided.value]};
    }
    return TExtractOutcome{decided.kind, EntryStringOf(planned_[decided.value].entry)};
}

std::optional<size_t> TExtractionPlan::Earlier(size_t position) const {
    const uint32_t decision = planned_[position].decision;
    if (decision == kWrite || decisions_[decision - 1].kind == Kind::Refused) {
        return std::nullopt;
    }
    return decisions_[decision - 1].value;
}

TEntryRef TExtractionPlan::Representative(TEntryRef entry) const {
    const auto found = representative_.find(entry);
    return found == representative_.end() ? entry : found->second;
}

void TExtractionPlan::FindRepresentatives(const TBsaIndex& index) {
    // Sorted by key, entries equal in their destination stand together: each names the first of them.
    const auto represent = [this](std::vector<std::pair<std::u16string, TEntryRef>>& run) {
        std::sort(run.begin(), run.end());
        for (size_t i = 1; i < run.size(); ++i) {
            if (run[i].first == run[i - 1].first) {
                representative_[run[i].second] = Representative(run[i - 1].second);
            }
        }
    };
    std::vector<uint32_t> foldersOfNode(nodes_.size(), 0);
    for (const TFolderPlan& folder : folders_) {
        ++foldersOfNode[folder.node];
    }
    // A folder of the index alone at its destination lists its files by their names folded, so that names
    // equal in their destination stand together in a run of names equal up to case. Only such runs, which are
    // rare, are looked at closely.
    const TNameOrder& order = TNameOrder::Get();
    std::vector<std::pair<std::u16string, TEntryRef>> run;
    for (const TFolderPlan& plan : folders_) {
        if (plan.indexFolder == kNone || foldersOfNode[plan.node] != 1) {
            continue;
        }
        const TwbBSAFolderRec& folder = index.Folders()[plan.indexFolder];
        const TEntryRef end = folder.firstFile + folder.fileCount;
        for (TEntryRef first = folder.firstFile; first < end;) {
            TEntryRef last = first + 1;
            while (last < end && order.Compare(index.FileNameBytes(first), index.FileNameBytes(last)) == 0) {
                ++last;
            }
            if (last - first > 1) {
                run.clear();
                for (TEntryRef entry = first; entry < last; ++entry) {
                    if (!HoldsSeparator(index.FileNameBytes(entry))) {
                        run.emplace_back(FileNameKey(index.FileName(entry)), entry);
                    }
                }
                represent(run);
            }
            first = last;
        }
    }
    // Several folders at one destination, or names that split elsewhere: their selected entries by key.
    for (size_t position = 0; position < planned_.size(); ++position) {
        const TFolderPlan& folder = Folder(position);
        const bool alone = folder.indexFolder != kNone && foldersOfNode[folder.node] == 1;
        if (ToBeWritten(position) && !alone) {
            sharedNodes_[folder.node].emplace_back(FileNameKey(FileName(position)), planned_[position].entry);
        }
    }
    for (auto& [node, entries] : sharedNodes_) {
        represent(entries);
    }
}

// The folders whose name is a file in their parent folder: that file's representative, with the folder.
void TExtractionPlan::FindFilesAtFolders(const TBsaIndex& index) {
    std::vector<std::vector<uint32_t>> foldersOfNode(nodes_.size());
    for (size_t plan = 0; plan < folders_.size(); ++plan) {
        foldersOfNode[folders_[plan].node].push_back(static_cast<uint32_t>(plan));
    }
    const TNameOrder& order = TNameOrder::Get();
    const auto atFile = [this](TEntryRef file, uint32_t node) {
        folderAtFile_.emplace(Representative(file), node);
    };
    for (uint32_t node = 1; node < nodes_.size(); ++node) {
        const uint32_t parent = nodes_[node].parent;
        const std::u16string key = FileNameKey(nodes_[node].name);
        if (const auto shared = sharedNodes_.find(parent); shared != sharedNodes_.end()) {
            const auto& entries = shared->second;
            for (auto at =
                     std::lower_bound(entries.begin(), entries.end(), std::make_pair(key, TEntryRef{0}));
                 at != entries.end() && at->first == key; ++at) {
                atFile(at->second, node);
            }
            continue;
        }
        // A folder alone at its destination: the index's order finds the file (names that split elsewhere
        // never equal a component, which has no separator).
        for (const uint32_t plan : foldersOfNode[parent]) {
            if (folders_[plan].indexFolder == kNone) {
                continue;
            }
            const TwbBSAFolderRec& folder = index.Folders()[folders_[plan].indexFolder];
            const std::u16string folded = platform::FoldCase(nodes_[node].name);
            const TEntryRef end = folder.firstFile + folder.fileCount;
            TEntryRef at = folder.firstFile;
            for (TEntryRef step = end - at; step > 0;) { // the first name not below the folded one
                const TEntryRef half = step / 2;
                if (order.CompareToFolded(index.FileNameBytes(at + half), folded) < 0) {
                    at += half + 1;
                    step -= half + 1;
                } else {
                    step = half;
                }
            }
            for (; at < end && order.CompareToFolded(index.FileNameBytes(at), folded) == 0; ++at) {
                if (FileNameKey(index.FileName(at)) == key) {
                    atFile(at, node);
                }
            }
        }
    }
    sharedNodes_.clear();
}

void TExtractionPlan::FindCollisions() {
    std::vector<uint32_t> claimedBy(index_.FileCount(), kNone);
    bool anyBlocked = false;
    for (size_t position = 0; position < planned_.size(); ++position) {
        if (!ToBeWritten(position)) {
            continue; // refused for its path: it takes part in nothing
        }
        const uint32_t node = Folder(position).node;
        if (anyBlocked) {
            uint32_t blockedBy = kNone;
            for (uint32_t at = node; at != 0 && blockedBy == kNone; at = nodes_[at].parent) {
                blockedBy = nodes_[at].blockedBy;
            }
            if (blockedBy != kNone) {
                Decide(position, Kind::FileOfEarlier, blockedBy);
                continue;
            }
        }
        const TEntryRef representative = Representative(planned_[position].entry);
        if (claimedBy[representative] != kNone) {
            Decide(position, Kind::SameDestination, claimedBy[representative]);
            continue;
        }
        if (const auto folder = folderAtFile_.find(representative); folder != folderAtFile_.end()) {
            TNode& atFile = nodes_[folder->second];
            if (atFile.firstWriter != kNone) {
                Decide(position, Kind::FolderOfEarlier, atFile.firstWriter);
                continue;
            }
            atFile.blockedBy = static_cast<uint32_t>(position);
            anyBlocked = true;
        }
        claimedBy[representative] = static_cast<uint32_t>(position);
        for (uint32_t at = node; at != 0 && nodes_[at].firstWriter == kNone; at = nodes_[at].parent) {
            nodes_[at].firstWriter = static_cast<uint32_t>(position);
        }
    }
}
