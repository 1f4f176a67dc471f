#pragma once
// The archive session: the free functions through which the window and the command-line tool open an
// archive, list its entry strings, fetch one entry's bytes and release it. The session variable is empty or
// holds exactly one reader.
#include <memory>
#include <string>

#include "archive/bsa_file.h"
#include "archive/string_list.h"
#include "base/bytes.h"

using TArchiveSession = std::unique_ptr<TwbBSAFile>;

// Does nothing when the session already holds a reader; otherwise opens fileName into it. The reader's errors
// pass out unchanged and the session stays empty.
void ArchiveOpen(TArchiveSession& archive, const std::u16string& fileName);
// Clears fileList, then appends the entry strings (folder + "\" + file). False on any error or when nothing
// was listed; never raises.
bool ArchiveExportFileList(TArchiveSession& archive, const std::u16string& fileName, TStringList& fileList);
// Fetches (getData) or only tests for one entry by the parts of its entry string. False on any error, with
// buffer empty; never raises.
bool ArchiveGetFile(TArchiveSession& archive, TBytes& buffer, const std::u16string& fileName,
                    const std::u16string& folder, const std::u16string& name, const std::u16string& ext,
                    bool getData);
// Releases the held reader (closing its file); an empty session stays empty.
void ArchiveFree(TArchiveSession& archive);
