#pragma once
// What an extraction does with each entry of a selection, decided before the first is written: the folders
// below the destination it goes into, its file name, whether its path may be written at all, and which
// entries collide with an earlier one. Entries collide when they would write the same file (a\b\x.bin,
// a\\b\x.bin, a\.\b\x.bin and .\a\b\x.bin all name DEST/a/b/x.bin, and on Windows, where case does not tell
// files apart, so does a\b\X.BIN), or when one's file is where another needs a folder (x\sub and
// x\sub\f.txt). The first of them in the selection's order is written; every later one is reported and not
// written, so that two workers never write one file and the result does not depend on the order in which the
// entries happen to be done.
//
// Judged per folder of the archive wherever it can be, so that an entry costs little more than a look at its
// file name; collisions are found through the index's own name order, in time linear in the selection (and
// n log n for the rare runs of names equal up to case).
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "archive/bsa_file.h"
#include "extract/entry_path.h"
#include "extract/extract_entry.h"

// Where the entries of one folder go: the folder part of their entry strings, its components below the
// destination (views into folder), and what the path rules say of it.
struct TFolderPlan {
    std::u16string folder;
    std::vector<std::u16string_view> components;
    TFolderVerdict verdict;
    uint32_t node = 0;                 // its place among the destination's folders, for collisions
    uint32_t indexFolder = UINT32_MAX; // the index's folder it is, if it is one
};

class TExtractionPlan {
public:
    // selection: entries of index (which must outlive the plan), in the order in which earlier entries win.
    // withoutFolders: every entry's file goes into the destination itself, with its file name alone (entries
    // of one file name in several folders then collide: the first is written).
    TExtractionPlan(const TBsaIndex& index, std::vector<TEntryRef> selection, bool withoutFolders = false);
    TExtractionPlan(const TwbBSAFile& archive, std::vector<TEntryRef> selection, bool withoutFolders = false)
        : TExtractionPlan(archive.Index(), std::move(selection), withoutFolders) {}
    TExtractionPlan(const TExtractionPlan&) = delete;
    TExtractionPlan& operator=(const TExtractionPlan&) = delete;

    size_t Size() const { return planned_.size(); }
    TEntryRef Entry(size_t position) const { return planned_[position].entry; }
    const TFolderPlan& Folder(size_t position) const { return folders_[planned_[position].folder]; }
    // The entry's file name below its folder: what follows the last "\" or ":" of its entry string.
    std::u16string FileName(size_t position) const;
    // The outcome decided before the run: Refused (its path may not be written), SameDestination,
    // FolderOfEarlier or FileOfEarlier (the detail names the earlier entry); nothing when it is to be
    // written.
    std::optional<TExtractOutcome> Decided(size_t position) const;
    bool ToBeWritten(size_t position) const { return planned_[position].decision == kWrite; }
    // For an entry that collides with an earlier one: that entry's position.
    std::optional<size_t> Earlier(size_t position) const;

    // The names of the folders and files to be written that begin with a dot, for ChooseTemporaryPrefix.
    const std::vector<std::u16string>& DotNames() const { return dotNames_; }

private:
    static constexpr uint32_t kWrite = 0;
    static constexpr uint32_t kNone = UINT32_MAX;
    struct TPlanned {
        TEntryRef entry;
        uint32_t folder;   // in folders_
        uint32_t decision; // kWrite, or 1 + its place in decisions_
    };
    struct TDecision {
        TExtractOutcome::Kind kind;
        uint32_t value; // Refused: the reason's place in reasons_; a collision: the earlier position
    };
    // The destination's folders as a tree: a node by its parent and its name in the form under which the file
    // system tells names apart; node 0 is the destination itself.
    struct TNodeKey {
        uint32_t parent;
        std::u16string_view name;
        bool operator==(const TNodeKey&) const = default;
    };
    struct TNodeKeyHash {
        size_t operator()(const TNodeKey& key) const;
    };
    struct TNode {
        uint32_t parent;
        std::u16string_view name;     // as its folder names it
        uint32_t firstWriter = kNone; // the first position to be written below it
        uint32_t blockedBy = kNone;   // the position whose file has its name
    };

    uint32_t FolderOf(TEntryRef entry, std::u16string& fileName);
    uint32_t FlatFolderOf(TEntryRef entry, std::u16string& fileName);
    std::u16string EntryStringOf(TEntryRef entry) const;
    uint32_t AddFolder(std::u16string folder, uint32_t indexFolder);
    TEntryRef Representative(TEntryRef entry) const;
    uint32_t NodeOf(const std::vector<std::u16string_view>& components);
    std::u16string_view Key(std::u16string_view name);
    void Decide(size_t position, TExtractOutcome::Kind kind, uint32_t value);
    // Entries equal in their destination share a representative: the first of them as the index lists them.
    void FindRepresentatives(const TBsaIndex& index);
    void FindFilesAtFolders(const TBsaIndex& index);
    void FindCollisions();

    const TBsaIndex& index_;
    std::vector<TPlanned> planned_;
    std::deque<TFolderPlan> folders_; // a deque: components and node names are views into its strings
    std::vector<uint32_t> folderOfIndexFolder_; // index folder place -> folders_, or kNone
    std::unordered_map<std::u16string, uint32_t>
        folderOfText_; // for entries whose file name holds "\" or ":"
    std::vector<TNode> nodes_;
    std::unordered_map<TNodeKey, uint32_t, TNodeKeyHash> nodeIds_;
    std::deque<std::u16string> keys_; // node names whose key is not the name itself
    std::vector<TDecision> decisions_;
    std::vector<std::u16string> reasons_;
    std::unordered_map<std::u16string, uint32_t> reasonIds_;
    std::unordered_map<TEntryRef, TEntryRef> representative_; // the entries that are not their own
    // The selected entries of folders that share their destination with another or hold names that split
    // elsewhere, by node, sorted by their file names' keys (only while the plan is made).
    std::unordered_map<uint32_t, std::vector<std::pair<std::u16string, TEntryRef>>> sharedNodes_;
    std::unordered_map<TEntryRef, uint32_t> folderAtFile_; // representative -> the node of its name
    std::vector<std::u16string> dotNames_;
    uint32_t flatFolder_ = kNone; // the one folder plan of an extraction without folders
};
