#include "cli/messages.h"

#include "base/exceptions.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "platform/command_line.h"

namespace {

// What the fixed texts of the streams mean when they are the reason an entry failed (the core already says
// what a zlib failure is: "zlib data damaged: Erreur").
struct TFixedTextMeaning {
    std::u16string_view text;
    std::u16string_view meaning;
};
constexpr TFixedTextMeaning kEntryMeanings[] = {
    {kReadErrorText, u"its stored bytes do not fit in the archive"},
    {kWriteErrorText, u"a write took fewer bytes than it was given"},
    {kRangeErrorText, u"a size or position is out of range"},
};
// The start of the texts of the streams' internal checks ("Echec de l'assertion (utils_Streams, ligne 559)").
constexpr std::u16string_view kAssertionText = u"Echec de l'assertion";

// What reason means, or nothing when it says so itself.
std::u16string_view MeaningOf(std::u16string_view reason) {
    for (const TFixedTextMeaning& fixed : kEntryMeanings) {
        if (reason == fixed.text) {
            return fixed.meaning;
        }
    }
    if (reason.starts_with(kAssertionText)) {
        return u"an internal check failed";
    }
    return {};
}

} // namespace

void PrintMessage(FILE* errors, std::u16string_view text) {
    std::string line = TerminalText(kMessagePrefix);
    AppendTerminalText(line, text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), errors);
}

int PrintUsageError(FILE* errors, std::u16string_view message) {
    PrintMessage(errors, message);
    std::fprintf(errors, "\n%s", kUsage);
    return 2;
}

std::u16string OpenFailure(const std::u16string& archivePath, const std::u16string& reason) {
    if (reason.find(archivePath) != std::u16string::npos) {
        return reason;
    }
    // While the index is read, a read that falls short means the file ends before the index does.
    std::u16string_view meaning =
        reason == kReadErrorText ? u"the file ends before its index" : MeaningOf(reason);
    if (meaning.empty()) {
        meaning = u"cannot read its index";
    }
    return archivePath + u": " + std::u16string(meaning) + u": " + reason;
}

std::u16string EntryFailure(const std::u16string& entry, const std::u16string& reason) {
    const std::u16string_view meaning = MeaningOf(reason);
    return entry + u": " + (meaning.empty() ? reason : std::u16string(meaning) + u": " + reason);
}

std::u16string StandardOutputWriteError(int error) {
    return std::u16string(kStandardOutputName) + u": write error: " + platform::CLibraryErrorText(error);
}
