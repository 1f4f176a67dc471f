#include "data_folder/settings_text.h"

#include "base/utf8.h"
#include "platform/locale.h"

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char16_t unit) {
    return unit == u' ' || unit == u'\t';
}

} // namespace

std::vector<std::string_view> SettingsLines(std::string_view bytes) {
    if (bytes.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
        bytes.remove_prefix(kUtf8ByteOrderMark.size());
    }
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' || bytes[i] == '\r') {
            lines.push_back(bytes.substr(start, i - start));
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < bytes.size()) {
        lines.push_back(bytes.substr(start));
    }
    return lines;
}

std::u16string_view TrimSettingsText(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::u16string SettingsText(std::string_view line) {
    // Windows-1252 text that happens to be valid UTF-8 needs two or more letters from its upper half in a row
    // of the right kinds, which names never hold: the test below tells the two apart in practice.
    const std::u16string text =
        IsValidUtf8(line) ? DecodeUtf8(line, kUtf8Text) : platform::AnsiToUnicode(line);
    return std::u16string(TrimSettingsText(text));
}
