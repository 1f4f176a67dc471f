#include "archive/name_order.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/locale.h"

const TNameOrder& TNameOrder::Get() {
    static const TNameOrder order;
    return order;
}

TNameOrder::TNameOrder() {
    for (int byte = 0; byte < 256; ++byte) {
        const char16_t character = platform::AnsiCharToUnicode(static_cast<unsigned char>(byte));
        const std::u16string folded = platform::FoldCase(std::u16string_view(&character, 1));
        fold_[byte] = folded.size() == 1 ? folded[0] : character;
    }
    std::vector<char16_t> distinct(fold_.begin() + 1, fold_.end());
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    for (int byte = 1; byte < 256; ++byte) {
        const auto place = std::lower_bound(distinct.begin(), distinct.end(), fold_[byte]);
        rank_[byte] = static_cast<uint8_t>(1 + (place - distinct.begin()));
    }
}

int TNameOrder::CompareToFolded(std::string_view name, std::u16string_view folded) const {
    const size_t common = std::min(name.size(), folded.size());
    for (size_t i = 0; i < common; ++i) {
        // A fold below U+D800 is also below every surrogate in code point order.
        const char16_t unit = fold_[static_cast<uint8_t>(name[i])];
        if (unit != folded[i]) {
            return unit < folded[i] ? -1 : 1;
        }
    }
    return name.size() == folded.size() ? 0 : (name.size() < folded.size() ? -1 : 1);
}

uint64_t TNameOrder::PrefixKey(std::string_view name) const {
    uint64_t key = 0;
    const size_t count = std::min<size_t>(name.size(), 8);
    for (size_t i = 0; i < 8; ++i) {
        key = (key << 8) | (i < count ? rank_[static_cast<uint8_t>(name[i])] : 0u);
    }
    return key;
}
