#pragma once
// The files of a Data folder outside its archives ("loose files"), which the game prefers to the same path in
// every archive. Only the files of its subfolders count (meshes\..., textures\...): at its top are the
// plugins, the archives and the game's own files. The walk follows no link to a folder, so it cannot loop.
#include <memory>
#include <string>
#include <vector>

#include "archive/bsa_index.h"

struct TLooseFiles {
    // The files as an archive's index lists them, so that they take part as one more source: folders (as
    // spelled on disk, "\" between their parts) and file names in Windows-1252. Each file record's Offset is
    // the file's place in paths; its Size is 0.
    std::unique_ptr<TBsaIndex> index;
    std::vector<std::u16string> paths; // native paths
    // Files whose path no archive could hold (a character outside Windows-1252), left out, and folders that
    // could not be read.
    size_t skipped = 0;
    size_t unreadableFolders = 0;
};

// The loose files below dataFolder (a native path).
TLooseFiles FindLooseFiles(const std::u16string& dataFolder);
