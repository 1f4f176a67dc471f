#include "extract/entry_filter.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/ustring.h"
#include "platform/locale.h"

namespace {

// Whether needle occurs in text. Runs on every keystroke over every row: candidates for the needle's first
// code unit are found by memchr on its low byte, which scans many bytes at once.
bool ContainsText(std::u16string_view text, std::u16string_view needle) {
    if (needle.empty()) {
        return true;
    }
    if (text.size() < needle.size()) {
        return false;
    }
    constexpr size_t kLowByte = std::endian::native == std::endian::little ? 0 : 1;
    const char16_t first = needle.front();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t end = (text.size() - needle.size() + 1) * sizeof(char16_t); // last start, in bytes, + 2
    size_t at = kLowByte;
    while (at < end) {
        const void* hit = std::memchr(bytes + at, first & 0xFF, end - at);
        if (hit == nullptr) {
            return false;
        }
        const size_t offset = static_cast<size_t>(static_cast<const unsigned char*>(hit) - bytes);
        if (offset % sizeof(char16_t) == kLowByte) {
            const size_t start = offset / sizeof(char16_t);
            if (text[start] == first && text.substr(start + 1, needle.size() - 1) == needle.substr(1)) {
                return true;
            }
        }
        at = offset + 1;
    }
    return false;
}

} // namespace

std::u16string NormalizeFilterText(const std::u16string& text) {
    return platform::LowerCase(Trim(text));
}

bool MatchesWildcard(std::u16string_view pattern, std::u16string_view text) {
    // The classic walk: on a mismatch, go back to just after the last "*" and let it take one more
    // character. Only the last "*" is ever returned to, so the work is bounded by text × pattern.
    size_t p = 0;
    size_t t = 0;
    size_t starAt = std::u16string_view::npos;
    size_t starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starAt = p++;
            starText = t;
        } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (starAt != std::u16string_view::npos) {
            p = starAt + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

TEntryFilter::TEntryFilter(const std::u16string& text)
    : text_(NormalizeFilterText(text)), wildcard_(text_.find_first_of(u"*?") != std::u16string::npos) {}

bool TEntryFilter::Keeps(std::u16string_view entryString) const {
    return wildcard_ ? MatchesWildcard(text_, entryString) : ContainsText(entryString, text_);
}

std::vector<TEntryRef> FilterEntries(const TwbBSAFile& archive, const std::u16string& text) {
    const TEntryFilter filter(text);
    std::vector<TEntryRef> kept;
    kept.reserve(filter.KeepsAll() ? archive.FileCount() : 0);
    for (TEntryRef entry = 0; entry < archive.FileCount(); ++entry) {
        if (filter.KeepsAll() || filter.Keeps(archive.EntryString(entry))) {
            kept.push_back(entry);
        }
    }
    return kept;
}
