#pragma once
// Writing one fetched entry to disk, the same way for the window and the command-line tool.
#include <string>

#include "base/bytes.h"

// Creates folder and its missing parents (a failure shows up at the file's creation), then writes data to
// file through TwbWriteCachedFileStream, replacing an existing file. Raises the stream's "Cannot create %s."
// or "FileWrite failed for %s." errors, and ERangeError for data of more than 2^31 - 1 bytes (one write call
// takes a 32-bit count); the file handle is released in every case.
void WriteEntryFile(const std::u16string& folder, const std::u16string& file, const TBytes& data);
