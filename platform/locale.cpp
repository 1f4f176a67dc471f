#include "platform/locale.h"
#include "platform/locale_system.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace platform {
namespace {

// Windows-1252 bytes 0x80..0x9F; the five bytes it leaves undefined map to the C1 control of the same value,
// as the Windows conversion does. Every other byte is its own code point.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsAscii(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

char16_t AsciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

} // namespace

char16_t AnsiCharToUnicode(unsigned char byte) {
    return (byte >= 0x80 && byte <= 0x9F) ? kCp1252High[byte - 0x80] : static_cast<char16_t>(byte);
}

bool UnicodeToAnsi(std::u16string_view text, std::string& bytes) {
    bytes.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            bytes[i] = static_cast<char>(unit);
            continue;
        }
        const char16_t* const high = std::find(std::begin(kCp1252High), std::end(kCp1252High), unit);
        if (high == std::end(kCp1252High)) {
            return false;
        }
        bytes[i] = static_cast<char>(0x80 + (high - std::begin(kCp1252High)));
    }
    return true;
}

namespace {

// Widens bytes.size() bytes into `to`.
void WidenAnsi(std::string_view bytes, char16_t* to) {
    const size_t n = bytes.size();
    size_t i = 0;
    // ASCII, the common case of names, eight bytes at a time.
    while (i + 8 <= n) {
        uint64_t eight = 0;
        std::memcpy(&eight, bytes.data() + i, sizeof eight);
        if ((eight & 0x8080808080808080ull) != 0) {
            break;
        }
        // Each byte into a 16-bit unit of its own, four at a time.
        const auto widen = [](uint64_t four) {
            return (four & 0xFF) | ((four & 0xFF00) << 8) | ((four & 0xFF0000) << 16) |
                   ((four & 0xFF000000) << 24);
        };
        const uint64_t units[2] = {widen(eight & 0xFFFFFFFF), widen(eight >> 32)};
        std::memcpy(to + i, units, sizeof units);
        i += 8;
    }
    for (; i < n; ++i) {
        to[i] = AnsiCharToUnicode(static_cast<unsigned char>(bytes[i]));
    }
}

} // namespace

std::u16string AnsiToUnicode(std::string_view bytes) {
    // Names are short: widen them on the stack and build the string from that in one go.
    constexpr size_t kOnStack = 256;
    if (bytes.size() <= kOnStack) {
        char16_t units[kOnStack];
        WidenAnsi(bytes, units);
        return std::u16string(units, bytes.size());
    }
    std::u16string out(bytes.size(), u'\0');
    WidenAnsi(bytes, out.data());
    return out;
}

std::u16string LowerCase(std::u16string_view text) {
    if (IsAscii(text)) {
        std::u16string out(text);
        for (char16_t& c : out) {
            c = AsciiLower(c);
        }
        return out;
    }
    return system_locale::LowerCase(text);
}

int CompareTextIgnoreCase(std::u16string_view a, std::u16string_view b) {
    // ASCII prefix by hand; folding is per code point, so the rest can be compared on its own.
    const size_t common = std::min(a.size(), b.size());
    size_t i = 0;
    // Identical ASCII units four at a time first: names that share a long prefix are common.
    constexpr uint64_t kNonAscii = 0xFF80FF80FF80FF80ull;
    while (i + 4 <= common) {
        uint64_t unitsA = 0;
        uint64_t unitsB = 0;
        std::memcpy(&unitsA, a.data() + i, sizeof unitsA);
        std::memcpy(&unitsB, b.data() + i, sizeof unitsB);
        if (unitsA != unitsB || (unitsA & kNonAscii) != 0) {
            break;
        }
        i += 4;
    }
    for (; i < common; ++i) {
        const char16_t ca = a[i];
        const char16_t cb = b[i];
        if (ca >= 0x80 || cb >= 0x80) {
            break;
        }
        if (ca != cb) {
            const char16_t la = AsciiLower(ca);
            const char16_t lb = AsciiLower(cb);
            if (la != lb) {
                return la < lb ? -1 : 1;
            }
        }
    }
    if (i == common) {
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }
    return system_locale::CompareFolded(a.substr(i), b.substr(i));
}

std::u16string FoldCase(std::u16string_view text) {
    if (IsAscii(text)) {
        std::u16string out(text);
        for (char16_t& c : out) {
            c = AsciiLower(c);
        }
        return out;
    }
    return system_locale::FoldCase(text);
}

int CompareCodePointOrder(std::u16string_view a, std::u16string_view b) {
    const auto [atA, atB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (atA == a.end() || atB == b.end()) {
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }
    // Surrogates (supplementary characters) sort after U+E000..U+FFFF.
    const auto order = [](char16_t c) -> uint32_t { return c >= 0xD800 && c < 0xE000 ? c + 0x10000u : c; };
    return order(*atA) < order(*atB) ? -1 : 1;
}

bool LocaleLibrary(std::u16string& name, std::u16string& version) {
    return system_locale::Library(name, version);
}

} // namespace platform
