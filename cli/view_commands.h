#pragma once
// `parlivex-cli cat` and `render`: look at one entry without extracting it. `cat` writes the entry's bytes
// to stdout; `render` writes a texture entry as a PNG with the decoder the preview uses. Messages follow the
// tool's one form (cli/messages.h).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes the entry's bytes to `out`. Returns 0, or 1 after printing the reason on `errors` (the archive
// cannot be opened, the entry is not in it or cannot be fetched, writing fails).
int CatEntry(const std::u16string& archivePath, const std::u16string& entry, FILE* out, FILE* errors);

// The OUT.png of `render` that means standard output.
inline constexpr char16_t kStandardOutputPath[] = u"-";

// Decodes the entry as a DDS texture, printing its format, size, mip and face counts on `errors`, and writes
// the level as a PNG to `out` when pngPath is "-", otherwise as the file pngPath with WriteUserFile (whole or
// not at all; what may be replaced there is said in kUsage). Returns 0, or 1 after printing the reason on
// `errors` ("<pngPath>: cannot write: <reason>").
int RenderEntry(const std::u16string& archivePath, const std::u16string& entry, const std::u16string& pngPath,
                uint32_t mip, uint32_t face, FILE* out, FILE* errors);

// Runs `cat` or `render` from the command line's arguments (args[0] the command). Returns the exit status:
// 0, 1, or 2 for a usage error; -1 when args[0] is neither command.
int RunViewCommand(const std::vector<std::string>& args);
