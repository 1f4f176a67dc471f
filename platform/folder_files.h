#pragma once
// Folders reached one name at a time from an open folder, never through a link, and files made, renamed and
// removed inside an open folder. Extraction walks below its destination with these, so that nothing already
// in the destination (a link to elsewhere, a link at a file's name) can lead a write outside it. Nothing here
// raises; failures return the value named below and leave the reason in LastErrorCode() (platform/file.h).
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace platform {

// An open folder.
using FolderHandle = std::intptr_t;
inline constexpr FolderHandle kInvalidFolderHandle = -1;

// Opens the folder at path, following links on the way (the user chose the path). kInvalidFolderHandle on
// failure.
FolderHandle FolderOpen(const std::u16string& path);

// What FolderOpenChild found at the name.
enum class ChildFolder { Opened, Link, Failed };
// Opens the folder name (one component, no separator) inside parent, making it first when nothing has that
// name. A link at the name is never followed: Link, and no handle. Failed for anything else that is not a
// folder or cannot be made or opened. The handle is left in child when Opened.
ChildFolder FolderOpenChild(FolderHandle parent, const std::u16string& name, FolderHandle& child);

void FolderClose(FolderHandle folder);

// Creates a new, empty file for writing inside folder under a name no file had, made from prefix and a
// number; never opens an existing file or follows a link. The name is left in name. kInvalidFileHandle on
// failure.
FileHandle FileCreateUnique(FolderHandle folder, const std::u16string& prefix, std::u16string& name);

// Renames the file from inside folder to to, in one step, replacing whatever had that name: a file or a
// link (the link itself, never its target). False on failure, with both names as they were.
bool FileReplace(FolderHandle folder, const std::u16string& from, const std::u16string& to);

// Removes the name (a file or a link itself) from inside folder. False on failure.
bool FileRemove(FolderHandle folder, const std::u16string& name);

// What a name inside a folder is. Special: anything that is neither a regular file nor a folder nor a link
// (a device, a FIFO, a socket).
enum class NameKind { Missing, File, Folder, Link, Special };
struct NameInfo {
    NameKind kind = NameKind::Missing;
    // For a link: what it leads to, Missing when it leads nowhere (or nowhere this process may look).
    NameKind linkTarget = NameKind::Missing;
    // For a file: its permission bits (POSIX: read, write and execute for owner, group and others); 0 where
    // the system has none (Windows).
    uint32_t permissions = 0;
};
// Looks at name inside folder without following a link at it (a symbolic link, or on Windows any reparse
// point, is a Link), and then at what a link leads to. A name nothing has is Missing. False when the system
// cannot tell (no permission to look, say).
bool NameQuery(FolderHandle folder, const std::u16string& name, NameInfo& info);

// Gives an open file the permission bits that NameInfo::permissions holds. Windows: nothing to do (true).
// False on failure.
bool FileSetPermissions(FileHandle file, uint32_t permissions);

// The folder that path names a file in and that file's name, as the system would read the path: relative
// paths are taken from the current folder ("." when path holds no separator). False when path names no file
// in a folder: it is empty, ends with a separator, ends with "." or "..", or (Windows) is a device such as
// "NUL" or "CON".
bool SplitFilePath(const std::u16string& path, std::u16string& folder, std::u16string& name);

// Turns a name or relative path into the form under which the file system tells files apart: two names with
// the same form name one file. Linux: unchanged, case matters. Windows: upper-cased letter by letter, as its
// file systems compare names.
void ToFileNameKey(std::u16string& name);

// Whether the file system may give a file a second, short name (8.3, such as LONGFI~1.TXT for
// longfilename.txt) under which it can be opened too. Windows: yes (Wine makes such names as well); Linux:
// no.
bool FileSystemsMakeShortNames();

} // namespace platform
