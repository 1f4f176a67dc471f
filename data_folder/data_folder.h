#pragma once
// A game's Data folder, or several archives given in order, open as one: its archives in load order, which
// rule decided that order, the archives that failed to open, and the entries of all of them as one list of
// rows with the winner of each path (data_folder/override_table.h). Front-ends show, filter and extract
// rows; the table says which rows win.
#include <memory>
#include <string>
#include <vector>

#include "data_folder/archive_set.h"
#include "data_folder/load_order_settings.h"
#include "data_folder/loose_files.h"
#include "data_folder/override_table.h"
#include "extract/entry_source.h"

// A source of rows: an archive, or the Data folder's loose files.
struct TDataSource {
    std::u16string path;                // the archive's; for the loose files, the Data folder's
    std::u16string name;                // the archive's file name; kLooseFilesName
    std::unique_ptr<TwbBSAFile> reader; // none for the loose files
    std::unique_ptr<TLooseFiles> loose; // only for the loose files
    TPlacedArchive placed;              // the rule that placed it (Given for archives given in order)
    bool loaded = true;                 // the game loads it; the others do not take part at first

    const TBsaIndex& Index() const { return reader ? reader->Index() : *loose->index; }
    // Its entries to read: the archive's, or the loose files' (data_folder/loose_file_entries.h). The source
    // must outlive them.
    std::unique_ptr<TEntrySource> Entries() const;
};

inline constexpr char16_t kLooseFilesName[] = u"loose files";

struct TDataFolderOptions {
    TLoadOrderFiles files; // the INI file and plugins.txt the user gave, if any
    int jobs = 0;          // threads that open archives; < 1: one per core
    // The files of the folder's subfolders as one more source, after every archive (see
    // data_folder/loose_files.h).
    bool looseFiles = false;
    // Off the front-end's thread: the cancel flag and the archives' progress (see TOpenControl).
    TOpenControl control;
};

class TDataFolder {
public:
    // Sources in load order: the loaded archives, then those the game does not load. The table's source
    // numbers are places in this list.
    std::vector<TDataSource> sources;
    std::vector<TFailedArchive> failed;
    // For a folder: what decided the order. Archives given one by one load in the order given.
    bool orderGiven = false;
    TLoadOrderReport order;
    TOverrideTable table;

    const TDataSource& SourceOf(TOverrideTable::TRowIndex row) const {
        return sources[table.Rows()[row].source];
    }
    // The row's entry string (folder\file).
    std::u16string EntryString(TOverrideTable::TRowIndex row) const;
    // The loaded sources' flags, the table's first choice of which take part.
    std::vector<bool> LoadedSources() const;
};

// Opens every .bsa of folder (a native path) and puts them in the game's load order, with the loose files
// last when asked. Nothing when the folder cannot be read: why then says so (the system's reason); nothing
// too when options.control's flag stopped it, with why kOpeningCancelled.
std::unique_ptr<TDataFolder> OpenDataFolder(const std::u16string& folder, const TDataFolderOptions& options,
                                            std::u16string& why);

// Opens the archives at paths, which load in the order given, every one of them; nothing when control's flag
// stopped it.
std::unique_ptr<TDataFolder> OpenArchivesInOrder(const std::vector<std::u16string>& paths, int jobs,
                                                 const TOpenControl& control = {});

inline constexpr char16_t kOpeningCancelled[] = u"cancelled";
