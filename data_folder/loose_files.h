#pragma once
// The files of a Data folder outside its archives ("loose files"), which the game prefers to the same path in
// every archive. Only the files of its subfolders count (meshes\..., textures\...): at its top are the
// plugins, the archives and the game's own files. The walk follows no link to a folder, so it cannot loop.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/bsa_index.h"

struct TLooseFiles {
    // The files as an archive's index lists them, so that they take part as one more source: folders (as
    // spelled on disk, "\" between their parts) and file names in Windows-1252. Each file record's Offset is
    // the file's place in paths and sizes; its Size is 0.
    std::unique_ptr<TBsaIndex> index;
    std::vector<std::u16string> paths; // native paths
    std::vector<uint64_t> sizes;       // the files' bytes when the folder was walked

    const std::u16string& Path(TEntryRef entry) const { return paths[index->File(entry).Offset]; }
    uint64_t Size(TEntryRef entry) const { return sizes[index->File(entry).Offset]; }
    // Every file's size by entry, as TwbBSAFile::ReadEntrySizes gives an archive's: UINT32_MAX (unknown)
    // for a file of 4 GiB or more, which no archive entry can be.
    std::vector<uint32_t> EntrySizes() const;
    // Files whose path no archive could hold (a character outside Windows-1252), left out, and folders that
    // could not be read.
    size_t skipped = 0;
    size_t unreadableFolders = 0;
};

// The loose files below dataFolder (a native path).
TLooseFiles FindLooseFiles(const std::u16string& dataFolder);
