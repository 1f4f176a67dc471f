#pragma once
// Writing one fetched entry to disk, the same way for the window and the command-line tool: whole files only.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/stream.h"
#include "platform/folder_files.h"

// The beginning of the names of one run's temporary files, to which the platform adds a number of its own:
// ".parlivex-", 64 random bits in hexadecimal and "-". Chosen again while a folder or file name of the run
// (names: its names, or entry strings, which are taken apart at "\"), compared as the file system compares
// names, begins with it: so no entry of the
// run is ever written under the name of another's temporary file, and nobody can name those files in advance.
// random gives the bits; by default the system's random device (tests give their own).
std::u16string ChooseTemporaryPrefix(const std::vector<std::u16string>& names,
                                     const std::function<uint64_t()>& random = nullptr);

// What an entry file's stream raises once the cancel flag is set: the file is dropped.
struct TWriteCancelled {};

// The file name inside folder (an open folder below the destination) being written piece by piece: the bytes
// go into a new temporary file in that folder, named temporaryPrefix and a number (ChooseTemporaryPrefix) and
// created exclusively, which only Commit renames over name, after the last byte was written and the file
// closed without error: name then holds either what it held before or all the bytes written, never a part of
// them. Whatever had the name (a file, a link, a hard link's other names) is replaced, never written through.
// Destroyed without Commit, it removes the temporary file. file gives the final file's full path, the one
// that messages name; it is asked only when one is raised. The bytes go to the file as they come, each write
// with as few calls as the system takes (an entry decoded whole is one write).
class TEntryFileWriter {
public:
    // Raises EStreamError "Cannot create %s." with the system's reason when the temporary file cannot be
    // made.
    TEntryFileWriter(platform::FolderHandle folder, std::u16string name, std::function<std::u16string()> file,
                     const std::u16string& temporaryPrefix, const std::atomic<bool>* cancel = nullptr);
    ~TEntryFileWriter();
    TEntryFileWriter(const TEntryFileWriter&) = delete;
    TEntryFileWriter& operator=(const TEntryFileWriter&) = delete;

    // Where the bytes go. Its writes raise the stream's "FileWrite failed for %s.", and TWriteCancelled once
    // *cancel (when given) is set, which they look at before each block of kCancelCheckBytes.
    TStream& Stream();
    // With permissions given, the new file gets those permission bits (platform::NameInfo::permissions);
    // otherwise the system's default for a new file. Then the file is closed, checking that the system took
    // every byte ("FileWrite failed for %s."), and takes the name ("Cannot create %s." when it cannot, for
    // instance where a folder has the name).
    void Commit(std::optional<uint32_t> permissions = std::nullopt);

private:
    class TTemporaryFile;
    class TFileStream;
    std::function<std::u16string()> file_;
    std::unique_ptr<TTemporaryFile> temporary_;
    std::unique_ptr<TFileStream> stream_;
    std::u16string name_;
};

// Writes data as the file name inside folder, all at once, through a TEntryFileWriter. The bytes go
// into a new temporary file in that folder, named temporaryPrefix and a number
// (ChooseTemporaryPrefix) and created exclusively, which is renamed over name only after
// the last byte was written and the file closed without error: name then holds either what it held before or
// all of data, never a part of it. Whatever had the name (a file, a link, a hard link's other names) is
// replaced, never written through. file is the final file's full path, the one that messages name.
//
// Raises what TEntryFileWriter raises, and ERangeError for data of more than 2^31 - 1 bytes (one write call
// takes a 32-bit count). Once *cancel (when given) is set, stops and returns false. On every failure and on
// cancelling the temporary file is removed and name is left as it was. True when the file was replaced.
bool WriteEntryFile(platform::FolderHandle folder, const std::u16string& name, const std::u16string& file,
                    const TBytes& data, const std::u16string& temporaryPrefix,
                    const std::atomic<bool>* cancel = nullptr,
                    std::optional<uint32_t> permissions = std::nullopt);

// How many bytes are written between two looks at the cancel flag: a whole number of stream blocks, so that
// the file receives the same blocks as from one write call.
inline constexpr int32_t kCancelCheckBytes = 64 * 16384;
