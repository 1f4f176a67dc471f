#pragma once
// The index records of a BSA archive as the reader keeps them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/string_list.h"

struct TwbBSAFileRec {
    std::u16string Name;      // file name with its extension, as stored
    int64_t Hash = 0;         // the record's name hash (read, never checked)
    uint32_t Size = 0;        // size word: bit 30 toggles compression, the other bits give the stored size
    uint32_t Offset = 0;      // absolute file offset of the entry data
    uint32_t uTableIndex = 0; // low 32 bits of the file position of this record's size word
};

struct TwbBSAFolderRec {
    std::u16string Name; // folder path, lower-cased
    int64_t Hash = 0;
    std::vector<TwbBSAFileRec> Files; // in record order
    std::unique_ptr<TStringList> Map; // file Name -> index in Files, sorted; none for a folder without files
};
