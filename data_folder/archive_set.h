#pragma once
// Many archives opened at once: the .bsa files of a folder, or archives given one by one, each opened with
// OpenArchive on one of several threads. One that cannot be opened is set aside with its reason; the others
// open.
#include <memory>
#include <string>
#include <vector>

#include "archive/bsa_file.h"

struct TSetArchive {
    std::u16string path; // as given, or the folder's path joined with its name
    std::u16string name; // the file name, for people and for the load order's rules
    std::unique_ptr<TwbBSAFile> reader;
};

struct TFailedArchive {
    std::u16string path;
    std::u16string reason; // OpenArchive's reason
};

struct TOpenedArchives {
    std::vector<TSetArchive> archives;  // in the order given
    std::vector<TFailedArchive> failed; // in the order given
};

// The paths of the files of folder whose names end in ".bsa" (any case), in case-insensitive name order.
// False when the folder cannot be read, with the system's reason in why.
bool ArchivesInFolder(const std::u16string& folder, std::vector<std::u16string>& paths, std::u16string& why);

// Opens each path on up to jobs threads (< 1: one per core). The result is the same for any number of jobs.
TOpenedArchives OpenArchives(const std::vector<std::u16string>& paths, int jobs);
