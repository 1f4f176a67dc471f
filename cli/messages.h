#pragma once
// The tool's one form for every line on stderr: "parlivex-cli: ", the file the line concerns (the archive, an
// entry of it, DEST, OUT.png, standard output), what failed and why:
//
//   parlivex-cli: Cannot open nope.bsa.  No such file or directory
//   parlivex-cli: empty.bsa: the file ends before its index: Erreur de lecture du flux
//   parlivex-cli: meshes\broken.nif: zlib data damaged: Erreur
//   parlivex-cli: out: cannot create the folder: Permission denied
//
// The core's texts are kept as they are (tests of the core pin them); where one names the file already, it is
// not named twice, and where one does not say what it means (the streams' fixed texts, zlib's "Erreur"), the
// meaning comes before it in English. Control characters are escaped: no name can forge a line or drive the
// terminal.
#include <cstdio>
#include <string>
#include <string_view>

inline constexpr char16_t kMessagePrefix[] = u"parlivex-cli: ";

// What messages call standard output.
inline constexpr char16_t kStandardOutputName[] = u"standard output";

// Writes kMessagePrefix, text and a line end to errors, in one write.
void PrintMessage(FILE* errors, std::u16string_view text);

// A usage error: the message, then a blank line and the whole usage (kUsage). Returns 2, the exit status.
int PrintUsageError(FILE* errors, std::u16string_view message);

// The message for an archive that cannot be opened, from OpenArchive's reason: the reason as it is when it
// names the archive ("Cannot open a.bsa.  Is a directory", "a.bsa is not a valid BSA file"); otherwise the
// archive, what the reason means and the reason ("a.bsa: the file ends before its index: Erreur de lecture du
// flux").
std::u16string OpenFailure(const std::u16string& archivePath, const std::u16string& reason);

// The message for an entry that cannot be read or written, from the core's reason (FetchEntry, the reports of
// ExtractEntries): the entry, then the reason, with what it means before it when it is a fixed text that does
// not say so.
std::u16string EntryFailure(const std::u16string& entry, const std::u16string& reason);

// "standard output: write error: " and the C library's text for error.
std::u16string StandardOutputWriteError(int error);
