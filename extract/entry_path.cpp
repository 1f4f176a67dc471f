#include "extract/entry_path.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "archive/entry_string.h"
#include "platform/directories.h"
#include "platform/folder_files.h"

namespace {

bool IsControlCharacter(char16_t c) {
    return c < 0x20 || c == 0x7F;
}

bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Characters that Windows refuses in a name (":" and "/" have reasons of their own).
constexpr std::u16string_view kCharactersWindowsRefuses = u"<>\"|?*";

char16_t AsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return AsciiUpper(x) == AsciiUpper(y);
           });
}

// A name that Windows takes for a device, whatever follows its first dot: "CON", "nul.txt", "Com1.tar.gz",
// also with spaces before the dot ("AUX .dds"), which Windows drops.
bool IsReservedDeviceName(std::u16string_view name) {
    std::u16string_view stem = name.substr(0, name.find(u'.'));
    while (!stem.empty() && stem.back() == u' ') {
        stem.remove_suffix(1);
    }
    for (const std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
        if (EqualsIgnoringAsciiCase(stem, device)) {
            return true;
        }
    }
    if (stem.size() != 4 || !(EqualsIgnoringAsciiCase(stem.substr(0, 3), u"COM") ||
                              EqualsIgnoringAsciiCase(stem.substr(0, 3), u"LPT"))) {
        return false;
    }
    // COM1..COM9 and LPT1..LPT9, and the superscript digits Windows also reads as 1, 2 and 3.
    const char16_t digit = stem[3];
    return (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
}

// Windows drops a trailing dot or space from a name, so "a." would land on "a".
bool EndsWithDotOrSpace(std::u16string_view name) {
    return !name.empty() && (name.back() == u'.' || name.back() == u' ');
}

// The folder's components between "\" separators, empty ones included.
std::vector<std::u16string_view> FolderComponents(std::u16string_view folder) {
    std::vector<std::u16string_view> components;
    size_t start = 0;
    while (true) {
        const size_t end = folder.find(kEntryDelimiter, start);
        components.push_back(folder.substr(start, end == std::u16string_view::npos ? end : end - start));
        if (end == std::u16string_view::npos) {
            return components;
        }
        start = end + 1;
    }
}

bool EndsWithSeparator(const std::u16string& path) {
    return !path.empty() && (path.back() == platform::kPathDelimiter || path.back() == u'/');
}

// Appends one component, with a separator unless path is empty or already ends in one (an empty path must
// stay relative, never become the root).
void AppendComponent(std::u16string& path, std::u16string_view component) {
    if (!path.empty() && !EndsWithSeparator(path)) {
        path += platform::kPathDelimiter;
    }
    path += component;
}

} // namespace

rFileData SplitEntryPath(const std::u16string& entry) {
    rFileData parts;
    const size_t nameStart = EntryFileNameStart(entry);
    if (nameStart != 0) {
        parts.fPath = entry.substr(0, nameStart);
        if (parts.fPath.back() == kEntryDelimiter) {
            parts.fPath.pop_back();
        }
    }
    const size_t dot = entry.rfind(u'.');
    if (dot != std::u16string::npos && dot >= nameStart) {
        parts.fName = entry.substr(nameStart, dot - nameStart);
        parts.fExt = entry.substr(dot);
    } else {
        parts.fName = entry.substr(nameStart);
    }
    return parts;
}

namespace {

// The first character no name may hold: a control character, a "/" (a separator here), or one Windows
// refuses.
std::optional<std::u16string> CharacterReason(std::u16string_view text) {
    for (char16_t c : text) {
        if (IsControlCharacter(c)) {
            return u"control character";
        }
        if (c == u'/') {
            return u"'/' in a name";
        }
        if (kCharactersWindowsRefuses.find(c) != std::u16string_view::npos) {
            return u"'" + std::u16string(1, c) + u"' in a name";
        }
    }
    return std::nullopt;
}

// Names Windows cannot create as they stand, refused on every system: the archive may be handed on to someone
// who extracts it there.
std::optional<std::u16string> NameReason(std::u16string_view name) {
    if (name == u"." || name.empty()) {
        return std::nullopt;
    }
    if (IsReservedDeviceName(name)) {
        return u"reserved device name";
    }
    if (EndsWithDotOrSpace(name)) {
        return u"name ends in a dot or space";
    }
    if (platform::FileSystemsMakeShortNames() && HasShortNameShape(name)) {
        return u"name shaped like a short (8.3) name";
    }
    return std::nullopt;
}

} // namespace

TFolderVerdict JudgeFolder(std::u16string_view folder) {
    TFolderVerdict verdict;
    verdict.character = CharacterReason(folder);
    // SplitEntryPath leaves a ":" only in the folder part. Past the drive position it names an NTFS
    // alternate data stream ("readme.txt:hidden").
    const size_t colon = folder.find(u':');
    if (colon != std::u16string_view::npos) {
        verdict.structure =
            colon == 1 && IsAsciiLetter(folder[0]) ? u"drive prefix" : u"alternate data stream";
    } else if (!folder.empty() && folder[0] == kEntryDelimiter) {
        verdict.structure = u"absolute path";
    } else {
        for (std::u16string_view component : FolderComponents(folder)) {
            if (component == u"..") {
                verdict.structure = u"'..' component";
                break;
            }
        }
    }
    for (std::u16string_view component : FolderComponents(folder)) {
        if ((verdict.name = NameReason(component))) {
            break;
        }
    }
    return verdict;
}

std::optional<std::u16string> UnsafeEntryPathReason(const TFolderVerdict& folder,
                                                    std::u16string_view fileName) {
    if (folder.character) {
        return folder.character;
    }
    if (std::optional<std::u16string> reason = CharacterReason(fileName)) {
        return reason;
    }
    if (folder.structure) {
        return folder.structure;
    }
    if (fileName.empty() || fileName == u"." || fileName == u"..") {
        return u"invalid file name";
    }
    if (folder.name) {
        return folder.name;
    }
    return NameReason(fileName);
}

std::optional<std::u16string> UnsafeEntryPathReason(const rFileData& parts) {
    return UnsafeEntryPathReason(JudgeFolder(parts.fPath), parts.fName + parts.fExt);
}

bool HasShortNameShape(std::u16string_view name) {
    const size_t dot = name.find(u'.');
    const std::u16string_view base = name.substr(0, dot);
    if (dot != std::u16string_view::npos) {
        const std::u16string_view extension = name.substr(dot + 1);
        if (extension.size() > 3 || extension.find(u'.') != std::u16string_view::npos) {
            return false;
        }
    }
    const size_t tilde = base.rfind(u'~');
    if (base.size() > 8 || tilde == std::u16string_view::npos || tilde + 1 == base.size()) {
        return false;
    }
    return std::all_of(base.begin() + static_cast<std::ptrdiff_t>(tilde) + 1, base.end(),
                       [](char16_t c) { return IsAsciiLetter(c) || (c >= u'0' && c <= u'9'); });
}

std::vector<std::u16string_view> DestinationComponents(std::u16string_view folder) {
    std::vector<std::u16string_view> components = FolderComponents(folder);
    std::erase_if(components,
                  [](std::u16string_view component) { return component.empty() || component == u"."; });
    return components;
}

std::vector<std::u16string_view> EntryDestinationComponents(const rFileData& parts) {
    return DestinationComponents(parts.fPath);
}

std::u16string EntryDestinationFolder(const std::u16string& destination, const rFileData& parts) {
    std::u16string folder = destination;
    for (std::u16string_view component : EntryDestinationComponents(parts)) {
        AppendComponent(folder, component);
    }
    return folder;
}

std::u16string EntryDestinationFile(const std::u16string& destination, const rFileData& parts) {
    return EntryDestinationFile(destination, EntryDestinationComponents(parts), parts.fName + parts.fExt);
}

std::u16string EntryDestinationFile(const std::u16string& destination,
                                    const std::vector<std::u16string_view>& components,
                                    std::u16string_view fileName) {
    std::u16string file = destination;
    for (std::u16string_view component : components) {
        AppendComponent(file, component);
    }
    AppendComponent(file, fileName);
    return file;
}
