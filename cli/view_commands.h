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
    "      layer N (default 0) to OUT.png as 8-bit RGBA. It prints the texture's format, size, mip and face\n"
    "      counts on stderr.\n";

// Writes the entry's bytes to `out`. Returns 0, or 1 after printing the reason on `errors` (the archive
// cannot be opened, the entry is not in it or cannot be fetched, writing fails).
int CatEntry(const std::u16string& archivePath, const std::u16string& entry, FILE* out, FILE* errors);

// Decodes the entry as a DDS texture and writes the level as a PNG to `pngPath` (through a temporary file
// beside it, renamed when complete). Returns 0, or 1 after printing the reason on `errors`.
int RenderEntry(const std::u16string& archivePath, const std::u16string& entry, const std::u16string& pngPath,
                uint32_t mip, uint32_t face, FILE* errors);

// Runs `cat` or `render` from the command line's arguments (args[0] the command). Returns the exit status:
// 0, 1, or 2 for a usage error; -1 when args[0] is neither command.
int RunViewCommand(const std::vector<std::string>& args);
