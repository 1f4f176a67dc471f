#pragma once
// prefs.ini: a small INI file of our own making. Reading takes a value by section and key; writing changes
// or adds only the lines of the keys it sets and keeps every other line byte for byte. The text is UTF-8.
#include <map>
#include <string>
#include <string_view>
#include <vector>

class TIniFile {
public:
    // Reads the file now; a missing or unreadable file reads as empty, and so does anything at the name that
    // is not a regular file or a link to one (a FIFO, a device), which is not opened at all.
    explicit TIniFile(std::u16string fileName);

    // The value of key in section (both matched without regard to ASCII case, first match), trimmed of
    // surrounding blanks and cut to kMaxValueLength characters; defaultValue when there is none.
    std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view defaultValue) const;
    // Sets key=value in section: replaces the key's line, or adds it after the section's last entry, or adds
    // the section at the end of the file. In memory until UpdateFile. A value is put in quotes when it
    // would not read back the same without them. Text with a line break is not written (false): the old
    // value stays.
    bool WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value);
    // Replaces the file with the content as a whole (write to a temporary file, then rename), so a failure
    // leaves the old content. A link at the name is followed: the file it leads to is replaced. False on
    // failure, and without touching it when the name (or what a link leads to) is not a regular file.
    bool UpdateFile() const;

    static constexpr size_t kMaxValueLength = 2047;

private:
    struct KeyLine {
        std::string key;
        std::string value;
    };

    // Index of the section's header line, or -1; and the end (exclusive) of its entries.
    int FindSection(std::string_view section) const;
    int SectionEnd(int header) const;

    std::u16string fileName_;
    std::vector<std::string> lines_; // without their "\n"; a "\r" before it stays in the line
    bool finalLineBreak_ = false;
    std::string newLineBreak_ = "\n"; // for lines we add: the file's own style
};

// Where prefs.ini may be written, in the order it is tried: beside the executable (exeDir ends in a
// separator) unless the program runs from its installed location (its desktop entry installed beside it) or
// that folder does not exist; then in the per-user configuration folder ($XDG_CONFIG_HOME/parlivex/prefs.ini
// on Linux, %APPDATA%\Parlivex\prefs.ini on Windows), which is where a write goes when the first place cannot
// be written.
std::vector<std::u16string> PrefsFileCandidates(const std::u16string& exeDir);

// The candidate to read: of those that exist, the one written last (the first on a tie), so that the values
// read are those of the last save wherever it went; the first candidate when none exists.
std::u16string PrefsFileToRead(const std::vector<std::u16string>& candidates);

// The plugins.txt and INI file the user gave for one Data folder; empty: found where the game keeps them.
struct TLoadOrderChoice {
    std::u16string plugins;
    std::u16string ini;
    bool operator==(const TLoadOrderChoice&) const = default;
};
// By the Data folder's path, without a separator at its end.
using TChosenLoadOrderFiles = std::map<std::u16string, TLoadOrderChoice>;

// The choices kept in prefs' [dataFolders] section: folderN, pluginsN and iniN from N = 1 on.
TChosenLoadOrderFiles ReadChosenLoadOrderFiles(const TIniFile& prefs);
// Writes the choices that read back as they are (paths without line breaks, not too long for a value) as
// entries 1, 2, …, and empties the entries after them that an earlier save left.
void WriteChosenLoadOrderFiles(TIniFile& prefs, const TChosenLoadOrderFiles& chosen);
