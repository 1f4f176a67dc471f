#pragma once
// New files written whole, many at a time, inside open folders: for each, a temporary file created
// exclusively in its folder (never opening an existing file or following a link), its bytes written, the
// file closed with the system's check that it took them, and the temporary renamed over the final name.
// On Linux the system calls of a whole batch go to the kernel in one submission (io_uring), which saves a
// system call per step; where the kernel refuses that, and on other systems, a batch does nothing and its
// files are left to the caller, who writes them one by one as always. Nothing here raises.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/folder_files.h"

namespace platform {

class TFileBatch {
public:
    // capacity: the most files one Run writes.
    explicit TFileBatch(size_t capacity);
    ~TFileBatch();
    TFileBatch(const TFileBatch&) = delete;
    TFileBatch& operator=(const TFileBatch&) = delete;

    // Whether Run writes files. False where the system cannot submit them together: then the caller writes
    // every file itself.
    bool Works() const;
    // Whether Run writes files inside folder: it Works, and the folder's file system reports every write
    // error at the write itself, not only when the file is closed (network file systems do that), since a
    // batch closes its files without that check.
    bool WritesIn(FolderHandle folder) const;
    size_t Capacity() const { return capacity_; }
    size_t Size() const { return files_.size(); }

    // Adds a file for the next Run: name inside folder, temporary files beginning with prefix, size bytes at
    // bytes. The folder must stay open and the bytes unchanged until Run returns.
    void Add(FolderHandle folder, const std::u16string& prefix, const std::u16string& name, const void* bytes,
             uint32_t size);
    // Writes every file added since the last Run, and empties the batch. written[i] says whether the i-th
    // added file now has its name with all its bytes; when not, nothing of it is left (its temporary file is
    // removed, the final name is as it was) and the caller writes it again in its own way, which finds and
    // reports the reason.
    void Run(std::vector<bool>& written);

private:
    struct TFile {
        FolderHandle folder;
        std::string temporary; // native names
        std::string name;
        const void* bytes;
        uint32_t size;
    };
    class TRing;
    size_t capacity_;
    std::unique_ptr<TRing> ring_; // none when the system refused one
    std::vector<TFile> files_;
};

// For tests: batches made while this is set act as where the system refuses them (Works() is false).
void SetFileBatchesRefusedForTesting(bool refused);

} // namespace platform
