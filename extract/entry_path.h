#pragma once
// Entry strings (folder + "\" + file) split back into their parts, and the one place that decides whether an
// entry may be written below a destination folder. The window and the command-line tool both use these.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct rFileData {
    std::u16string fPath; // folder part, without a trailing "\"
    std::u16string fName; // file name without its extension
    std::u16string fExt;  // extension with its dot, or empty
};

// fPath: up to the last "\" or ":" (one trailing "\" removed); fName: the rest cut before its last ".";
// fExt: from that "." on. textures\armor\iron.dds -> textures\armor, iron, .dds.
rFileData SplitEntryPath(const std::u16string& entry);

// Why an entry may not be written below a destination, or nothing when it may. Refused: a folder that is
// absolute (begins with "\" or "/", so also "\\server"), a drive prefix ("C:") or a ":" anywhere (an
// alternate data stream), a ".." component, a file name that is empty, "." or "..", a "/" or a control
// character anywhere (a "/" would be a separator here), and, on every system, what Windows cannot create
// as it stands: the characters < > " | ? *, device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any
// extension) and names ending in a dot or a space. Where the file system makes short names
// (platform::FileSystemsMakeShortNames), also names of their shape (HasShortNameShape): such a name may be
// another entry's file or folder under its short name, which no comparison of names can tell. Harmless: "."
// components and empty components inside the folder, which are dropped (real archives keep root files in a
// folder named ".").
std::optional<std::u16string> UnsafeEntryPathReason(const rFileData& parts);

// The same judgement in two halves, so that a folder is judged once for all its files: what the folder part
// alone shows at each stage of the rules, in the order the rules look.
struct TFolderVerdict {
    std::optional<std::u16string> character; // a character no name may hold
    std::optional<std::u16string> structure; // a ":", an absolute folder, a ".." component
    std::optional<std::u16string> name;      // a component Windows cannot create
};
TFolderVerdict JudgeFolder(std::u16string_view folder);
// The reason for the entry folder + "\" + fileName, the same as UnsafeEntryPathReason of its parts.
// fileName holds no "\" and no ":" (SplitEntryPath leaves none there).
std::optional<std::u16string> UnsafeEntryPathReason(const TFolderVerdict& folder,
                                                    std::u16string_view fileName);

// Whether name has the shape of a short (8.3) name that a file system makes for a longer one: at most 8
// characters before the first dot, ending in "~" and letters or digits (Windows: LONGFI~1, AB12C~1; Wine:
// LONGF~7X), and at most 3 after that dot, without another one.
bool HasShortNameShape(std::u16string_view name);

// The folders below the destination that an entry's file goes into, outermost first: the components of fPath
// with "." and empty ones dropped (views into parts.fPath). Only for entries UnsafeEntryPathReason accepts.
std::vector<std::u16string_view> EntryDestinationComponents(const rFileData& parts);
// The same for a folder part (views into folder).
std::vector<std::u16string_view> DestinationComponents(std::u16string_view folder);

// The native file path of an entry below destination (a native folder path, with or without a trailing
// separator): destination + folder components + name + ext, joined with the native separator; "." and empty
// folder components are dropped. An empty destination gives a relative path, never one from the root.
// Only for entries UnsafeEntryPathReason accepts.
std::u16string EntryDestinationFolder(const std::u16string& destination, const rFileData& parts);
std::u16string EntryDestinationFile(const std::u16string& destination, const rFileData& parts);
// The same from the folders below the destination (DestinationComponents) and the file's name.
std::u16string EntryDestinationFile(const std::u16string& destination,
                                    const std::vector<std::u16string_view>& components,
                                    std::u16string_view fileName);
