#include <unicode/uchar.h>
#include <unicode/ustring.h>

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
    UErrorCode status = U_ZERO_ERROR;
    const int32_t result = u_strCaseCompare(a.data(), Length(a), b.data(), Length(b),
                                            U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &status);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

} // namespace platform::system_locale
