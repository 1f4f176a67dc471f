#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/uversion.h>

#include <cstdint>

#include "platform/locale_system.h"

namespace platform::system_locale {
namespace {

int32_t Length(std::u16string_view text) {
    return static_cast<int32_t>(text.size());
}

} // namespace

std::u16string LowerCase(std::u16string_view text) {
    // Lower-casing may change the length (İ becomes i + combining dot): ask ICU for the size first.
    UErrorCode status = U_ZERO_ERROR;
    const int32_t needed = u_strToLower(nullptr, 0, text.data(), Length(text), "", &status);
    std::u16string out(static_cast<size_t>(needed), u'\0');
    status = U_ZERO_ERROR;
    u_strToLower(out.data(), needed, text.data(), Length(text), "", &status);
    if (U_FAILURE(status)) {
        return std::u16string(text);
    }
    return out;
}

int CompareFolded(std::u16string_view a, std::u16string_view b) {
    // Simple (one-to-one) case folding, code point by code point. Full folding would make "stra\u00dfe" equal
    // "strasse" (\u00df expands to "ss"), so two names the file systems keep apart would become one.
    const auto lengthA = static_cast<int32_t>(a.size());
    const auto lengthB = static_cast<int32_t>(b.size());
    auto atA = 0;
    auto atB = 0;
    while (atA < lengthA && atB < lengthB) {
        UChar32 pointA = 0;
        UChar32 pointB = 0;
        U16_NEXT(a.data(), atA, lengthA, pointA);
        U16_NEXT(b.data(), atB, lengthB, pointB);
        if (pointA != pointB) {
            const UChar32 foldedA = u_foldCase(pointA, U_FOLD_CASE_DEFAULT);
            const UChar32 foldedB = u_foldCase(pointB, U_FOLD_CASE_DEFAULT);
            if (foldedA != foldedB) {
                return foldedA < foldedB ? -1 : 1;
            }
        }
    }
    if (atA < lengthA) {
        return 1;
    }
    return atB < lengthB ? -1 : 0;
}

std::u16string FoldCase(std::u16string_view text) {
    const auto length = static_cast<int32_t>(text.size());
    std::u16string out;
    out.reserve(text.size());
    for (int32_t at = 0; at < length;) {
        UChar32 point = 0;
        U16_NEXT(text.data(), at, length, point);
        const UChar32 folded = u_foldCase(point, U_FOLD_CASE_DEFAULT);
        if (folded <= 0xFFFF) {
            out.push_back(static_cast<char16_t>(folded));
        } else {
            out.push_back(static_cast<char16_t>(U16_LEAD(folded)));
            out.push_back(static_cast<char16_t>(U16_TRAIL(folded)));
        }
    }
    return out;
}

bool Library(std::u16string& name, std::u16string& version) {
    UVersionInfo info;
    u_getVersion(info);
    char text[U_MAX_VERSION_STRING_LENGTH];
    u_versionToString(info, text);
    name = u"ICU";
    version.clear();
    for (const char* c = text; *c != '\0'; ++c) {
        version += static_cast<char16_t>(*c); // digits and dots
    }
    return true;
}

} // namespace platform::system_locale
