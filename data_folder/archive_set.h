#pragma once
// Many archives opened at once: the .bsa files of a folder, or archives given one by one, each opened with
// OpenArchive on one of several threads. One that cannot be opened is set aside with its reason; the others
// open.
#include <atomic>
#include <cstddef>
#include <functional>
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
    bool cancelled = false;             // stopped by the cancel flag: the lists are not complete
};

// For a front-end that opens archives off its own thread: a flag that stops the opening early, and how far
// it has come.
struct TOpenControl {
    // Raised: no further archive is opened, and the opening gives nothing.
    const std::atomic<bool>* cancel = nullptr;
    // Called on the opening threads (at the same time on several) after each archive, opened or failed.
    std::function<void(size_t done, size_t total)> archiveDone;

    bool Cancelled() const { return cancel != nullptr && cancel->load(); }
};

// The paths of the files of folder whose names end in ".bsa" (any case), in case-insensitive name order.
// False when the folder cannot be read, with the system's reason in why.
bool ArchivesInFolder(const std::u16string& folder, std::vector<std::u16string>& paths, std::u16string& why);

// Opens each path on up to jobs threads (< 1: one per core). The result is the same for any number of jobs.
TOpenedArchives OpenArchives(const std::vector<std::u16string>& paths, int jobs,
                             const TOpenControl& control = {});
