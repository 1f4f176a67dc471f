#include "app/node_data.h"

#include <algorithm>
#include <utility>

#include "archive/entry_string.h"
#include "platform/locale.h"

namespace {

struct ExtensionIcon {
    std::u16string_view ext;
    int icon;
};

// First match wins.
constexpr ExtensionIcon kExtensionIcons[] = {
    {u".pex", image_index::kScript},    {u".dds", image_index::kTexture}, {u".xwm", image_index::kSound},
    {u".wav", image_index::kSound},     {u".lod", image_index::kLod},     {u".nif", image_index::kMesh},
    {u".hkx", image_index::kAnimation}, {u".fuz", image_index::kVoice},
};

// The extension lower-cased for the icon table: ASCII at once (nearly every extension), the rest by the
// system's rules.
std::u16string LowerCaseExtension(std::u16string_view ext) {
    std::u16string lower(ext);
    for (char16_t& c : lower) {
        if (c >= 0x80) {
            return platform::LowerCase(ext);
        }
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c + 32);
        }
    }
    return lower;
}

char16_t SortKeyUnit(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

} // namespace

int IconForExtension(std::u16string_view lowerCaseExt) {
    for (const ExtensionIcon& entry : kExtensionIcons) {
        if (entry.ext == lowerCaseExt) {
            return entry.icon;
        }
    }
    return image_index::kOtherFile;
}

TNodeDataBrw::TNodeDataBrw(std::u16string s, int32_t i, uint32_t entry)
    : filename(std::move(s)), entry(entry) {
    // The same parts as SplitEntryPath gives: the folder up to the last "\" or ":" (one trailing "\"
    // dropped), the extension from the last "." of the file part.
    const size_t nameStart = EntryFileNameStart(filename);
    size_t folderLength = nameStart;
    if (folderLength > 0 && filename[folderLength - 1] == kEntryDelimiter) {
        --folderLength;
    }
    const size_t dot = filename.rfind(u'.');
    const size_t extStart = dot != std::u16string::npos && dot >= nameStart ? dot : filename.size();
    folderLength_ = static_cast<uint32_t>(folderLength);
    nameStart_ = static_cast<uint32_t>(nameStart);
    extStart_ = static_cast<uint32_t>(extStart);
    icon = i != 0 ? i : IconForExtension(LowerCaseExtension(Ext()));
}

std::u16string_view EntryFolderText(std::u16string_view filename) {
    return filename.substr(0, EntryFileNameStart(filename));
}

std::u16string_view EntryFileText(std::u16string_view filename) {
    return filename.substr(EntryFileNameStart(filename));
}

std::u16string_view BrowserTreeGetText(const TNodeDataBrw& node, int column) {
    switch (column) {
    case 1:
        return EntryFolderText(node.filename);
    case 2:
        return EntryFileText(node.filename);
    default:
        return {};
    }
}

int BrowserTreeGetImageIndex(const TNodeDataBrw& node, int column) {
    return column == 0 ? node.icon : -1;
}

int CompareSortKeys(std::u16string_view a, std::u16string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const char16_t ca = SortKeyUnit(a[i]);
        const char16_t cb = SortKeyUnit(b[i]);
        if (ca != cb) {
            return static_cast<int>(ca) - static_cast<int>(cb);
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int BrowserTreeCompareNodes(const TNodeDataBrw& node1, const TNodeDataBrw& node2, int column, int result) {
    switch (column) {
    case 0:
        return CompareSortKeys(node1.Ext(), node2.Ext());
    case 1:
        return CompareSortKeys(node1.Folder(), node2.Folder());
    case 2:
        return CompareSortKeys(node1.Name(), node2.Name());
    default:
        return result;
    }
}
