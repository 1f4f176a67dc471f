#pragma once
// `parlivex-cli cat` and `render`: look at one entry without extracting it. `cat` writes the entry's bytes
// to stdout; `render` writes a texture entry as a PNG with the decoder the preview uses.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline constexpr char kViewUsage[] =
    "Looking at one entry:\n"
    "  parlivex-cli cat ARCHIVE ENTRY\n"
    "      Writes the bytes of the entry ENTRY (folder\\file as list prints it; \"/\" works too) to stdout.\n"
    "  parlivex-cli render ARCHIVE ENTRY OUT.png [--mip N] [--face N]\n"
    "      Decodes the DDS texture ENTRY and writes mip level N (default 0, the full size) of face or array\n"
    "      layer N (default 0) to OUT.png as 8-bit RGBA; OUT.png \"-\" writes it to stdout. It prints the\n"
    "      texture's format, size, mip and face counts on stderr. An existing OUT.png is replaced when it "
    "is\n"
    "      a regular file (its permissions are kept) or a symbolic link to one or to nothing (the link "
    "itself\n"
    "      is replaced; what it leads to is left alone); a folder, a device, a FIFO, or a link to one of\n"
    "      them is refused.\n";

// Writes the entry's bytes to `out`. Returns 0, or 1 after printing the reason on `errors` (the archive
// cannot be opened, the entry is not in it or cannot be fetched, writing fails).
int CatEntry(const std::u16string& archivePath, const std::u16string& entry, FILE* out, FILE* errors);

// The OUT.png of `render` that means standard output.
inline constexpr char16_t kStandardOutputName[] = u"-";

// Decodes the entry as a DDS texture and writes the level as a PNG to `out` when pngPath is "-", otherwise
// as the file pngPath with WriteUserFile (whole or not at all; what may be replaced there is said in
// kViewUsage). Returns 0, or 1 after printing the reason on `errors` ("Cannot write <pngPath>: <reason>").
int RenderEntry(const std::u16string& archivePath, const std::u16string& entry, const std::u16string& pngPath,
                uint32_t mip, uint32_t face, FILE* out, FILE* errors);

// Runs `cat` or `render` from the command line's arguments (args[0] the command). Returns the exit status:
// 0, 1, or 2 for a usage error; -1 when args[0] is neither command.
int RunViewCommand(const std::vector<std::string>& args);
