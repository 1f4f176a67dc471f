#pragma once
// Writing a file at a path the user gave (the command-line tool's PNG, say) as safely as an extracted entry:
// the whole file or nothing, through a temporary file of our own, and never into anything but a regular file.
#include <string>

#include "base/bytes.h"

// Writes data as the file at path, a path the user chose: links on the way to its folder are followed, the
// folder must exist. What already has the name decides:
// - nothing, or a regular file: the file is written (see WriteEntryFile: a new temporary file beside it,
//   renamed over the name once complete); a replaced file's permission bits are kept;
// - a symbolic link that leads to a regular file or nowhere: the link itself is replaced by the new file,
//   and what it leads to keeps its bytes;
// - anything else is refused and left alone: a folder (kIsAFolder), a device, FIFO or socket
//   (kNotARegularFile), a link to one of those (kLinkToNonRegularFile).
// True when written; otherwise false with the reason in reason: one of the texts below, or the system's own
// ("No such file or directory", "Permission denied", "File too large"). path then holds what it held before
// and no temporary file is left.
bool WriteUserFile(const std::u16string& path, const TBytes& data, std::u16string& reason);

inline constexpr char16_t kNotAFileName[] = u"not a file name";
inline constexpr char16_t kIsAFolder[] = u"is a folder";
inline constexpr char16_t kNotARegularFile[] = u"not a regular file";
inline constexpr char16_t kLinkToNonRegularFile[] = u"a link to something that is not a regular file";
