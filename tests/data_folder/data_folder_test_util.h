#pragma once
// Archives for the data folder suites: written from a list of entry strings and their bytes.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fixtures/bsa_writer.h"
#include "fixtures/file_tree.h"
#include "fixtures/temp_folder.h"

namespace data_folder_test {

struct TestEntry {
    std::string path; // folder\file, as stored (Windows-1252)
    std::string text; // its bytes
};

inline fixture::ArchiveSpec Recipe(uint32_t version, const std::vector<TestEntry>& entries) {
    fixture::ArchiveSpec recipe;
    recipe.version = version;
    recipe.flags = 0x3;
    std::map<std::string, std::vector<fixture::EntrySpec>> folders;
    for (const TestEntry& entry : entries) {
        const size_t split = entry.path.rfind('\\');
        fixture::EntrySpec file;
        file.name = entry.path.substr(split + 1);
        file.data = fixture::TextBytes(entry.text);
        file.storage = version == 105 ? fixture::Storage::Lz4Frame : fixture::Storage::Zlib;
        folders[entry.path.substr(0, split)].push_back(std::move(file));
    }
    recipe.flags |= 0x4; // compressed
    for (auto& [name, files] : folders) {
        recipe.folders.push_back({name, std::move(files)});
    }
    return recipe;
}

// Writes the archive into folder under name; its UTF-16 path.
inline std::u16string WriteTestArchive(const fixture::TempFolder& folder, const std::string& name,
                                       uint32_t version, const std::vector<TestEntry>& entries) {
    return folder.Write(name, fixture::BuildArchive(Recipe(version, entries)));
}

} // namespace data_folder_test
