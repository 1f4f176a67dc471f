#pragma once
// Entries of one extraction whose destinations collide: a\b\x.bin, a\\b\x.bin, a\.\b\x.bin and .\a\b\x.bin
// all name DEST/a/b/x.bin, and on Windows, where case does not tell files apart, so does A\B\X.BIN; x\sub
// names a file where x\sub\f.txt needs a folder. The first of them in list order is written; every later one
// is reported and not written, so that two workers never write one file and the result does not depend on the
// order in which the entries happen to be done. Decided from the names alone, in time linear in the length of
// the entry strings.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class TSameDestinations {
public:
    // How a later entry collides with an earlier one.
    enum class Clash {
        SameFile,        // both write the same file
        FileWhereFolder, // its file would be a folder of the earlier entry's path
        FolderWhereFile, // a folder of its path would be the earlier entry's file
    };
    struct TEarlier {
        Clash clash;
        const std::u16string* entry; // the earlier entry that is written
    };

    // Looks at the whole list once, in list order. Entries refused for their path, and entries that collide
    // with an earlier one, take part in nothing. entries must outlive this object.
    explicit TSameDestinations(const std::vector<std::u16string>& entries);

    // The earlier entry of the list that entries[index] collides with, and how; nothing when entries[index]
    // is written.
    std::optional<TEarlier> Earlier(size_t index) const;

    // The first entry of the list with the same destination file as entries[index], or nullptr when
    // entries[index] is that first one (or is alone). Collisions of files with folders are not among them.
    const std::u16string* EarlierEntry(size_t index) const;

private:
    const std::vector<std::u16string>& entries_;
    struct TCollision {
        size_t earlier;
        Clash clash;
    };
    std::unordered_map<size_t, TCollision> collisions_; // index of a later entry -> what it collides with
};
