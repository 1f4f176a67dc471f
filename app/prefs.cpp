#include "app/prefs.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include "app/qt_text.h"
#include "base/ustring.h"
#include "platform/directories.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// The line without a leading byte-order mark, trimmed.
std::string_view Content(std::string_view line) {
    if (line.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        line.remove_prefix(kUtf8Bom.size());
    }
    return Trimmed(line);
}

// "[name]" gives name; anything else nothing.
bool SectionName(std::string_view line, std::string_view& name) {
    const std::string_view content = Content(line);
    if (content.empty() || content.front() != '[') {
        return false;
    }
    const size_t close = content.find(']');
    if (close == std::string_view::npos) {
        return false;
    }
    name = Trimmed(content.substr(1, close - 1));
    return true;
}

// "key=value" gives both, trimmed; comments and lines without "=" nothing.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view content = Content(line);
    if (content.empty() || content.front() == ';' || content.front() == '#') {
        return false;
    }
    const size_t equals = content.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    key = Trimmed(content.substr(0, equals));
    value = content.substr(equals + 1);
    // A value ends with its line: a lone carriage return inside it ends it too.
    value = Trimmed(value.substr(0, value.find('\r')));
    // "value" reads as value, as the system's INI functions read it.
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return true;
}

// Whether the value would not read back as it was written unless quoted: blanks at its ends are trimmed when
// read, and a value in quotes loses them.
bool NeedsQuotes(std::string_view value) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return !value.empty() && (blank(value.front()) || blank(value.back()) ||
                              (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
}

bool IsBlank(std::string_view line) {
    return Content(line).empty();
}

// Whether the name, followed through links, is a regular file or nothing at all.
bool IsFileOrFree(const std::u16string& fileName) {
    const QFileInfo info(ToQString(fileName));
    return !info.exists() || info.isFile();
}

} // namespace

TIniFile::TIniFile(std::u16string fileName) : fileName_(std::move(fileName)) {
    // Opening a FIFO waits for a writer, and a device such as /dev/zero never ends: neither is read.
    if (!QFileInfo(ToQString(fileName_)).isFile()) {
        return;
    }
    QFile file(ToQString(fileName_));
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray bytes = file.readAll();
    const std::string_view text(bytes.constData(), static_cast<size_t>(bytes.size()));
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines_.emplace_back(text.substr(start));
            break;
        }
        lines_.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    finalLineBreak_ = !text.empty() && text.back() == '\n';
    if (!lines_.empty() && !lines_.front().empty() && lines_.front().back() == '\r') {
        newLineBreak_ = "\r\n";
    }
}

int TIniFile::FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name;
        if (SectionName(lines_[i], name) && SameIgnoringAsciiCase(name, section)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int TIniFile::SectionEnd(int header) const {
    int end = header + 1;
    std::string_view name;
    while (end < static_cast<int>(lines_.size()) && !SectionName(lines_[static_cast<size_t>(end)], name)) {
        ++end;
    }
    return end;
}

std::u16string TIniFile::ReadString(std::u16string_view section, std::u16string_view key,
                                    std::u16string_view defaultValue) const {
    const int header = FindSection(ToUtf8(section));
    if (header >= 0) {
        const std::string wantedKey = ToUtf8(key);
        const int end = SectionEnd(header);
        for (int i = header + 1; i < end; ++i) {
            std::string_view lineKey, value;
            if (KeyValue(lines_[static_cast<size_t>(i)], lineKey, value) &&
                SameIgnoringAsciiCase(lineKey, wantedKey)) {
                std::u16string text = FromUtf8(value);
                if (text.size() > kMaxValueLength) {
                    text.resize(kMaxValueLength);
                }
                return text;
            }
        }
    }
    return std::u16string(defaultValue);
}

bool TIniFile::WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
    // A line break would end the value early and turn the rest into lines of their own, another key's
    // perhaps.
    const auto lineBreak = [](std::u16string_view text) { return text.find_first_of(u"\r\n") != text.npos; };
    if (lineBreak(section) || lineBreak(key) || lineBreak(value)) {
        return false;
    }
    const std::string sectionName = ToUtf8(section);
    const std::string keyName = ToUtf8(key);
    const std::string valueText = ToUtf8(value);
    const std::string entry = keyName + "=" + (NeedsQuotes(valueText) ? '"' + valueText + '"' : valueText);

    const std::string lineEnd = newLineBreak_ == "\r\n" ? "\r" : "";
    const int header = FindSection(sectionName);
    if (header < 0) {
        // A last line without a line break gets one when the lines are joined again.
        lines_.push_back("[" + sectionName + "]" + lineEnd);
        lines_.push_back(entry + lineEnd);
        finalLineBreak_ = true;
        return true;
    }
    const int end = SectionEnd(header);
    int lastEntry = header;
    for (int i = header + 1; i < end; ++i) {
        std::string& line = lines_[static_cast<size_t>(i)];
        std::string_view lineKey, lineValue;
        if (KeyValue(line, lineKey, lineValue) && SameIgnoringAsciiCase(lineKey, keyName)) {
            const bool carriageReturn = !line.empty() && line.back() == '\r';
            line = entry + (carriageReturn ? "\r" : "");
            return true;
        }
        if (!IsBlank(line)) {
            lastEntry = i;
        }
    }
    lines_.insert(lines_.begin() + lastEntry + 1, entry + lineEnd);
    if (lastEntry + 2 == static_cast<int>(lines_.size())) {
        finalLineBreak_ = true; // the new line is the last one
    }
    return true;
}

bool TIniFile::UpdateFile() const {
    std::string text;
    for (size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i];
        if (i + 1 < lines_.size() || finalLineBreak_) {
            text += '\n';
        }
    }
    // QSaveFile writes where a link leads (a prefs.ini kept elsewhere by its user) and renames its new file
    // over whatever is there: a FIFO or a device node (/dev/null, for root) would be replaced.
    if (!IsFileOrFree(fileName_)) {
        return false;
    }
    QSaveFile file(ToQString(fileName_));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::vector<std::u16string> PrefsFileCandidates(const std::u16string& exeDir) {
    std::vector<std::u16string> candidates;
    const QString folder = ToQString(exeDir);
    const bool installed = QFileInfo::exists(folder + QStringLiteral(PARLIVEX_DESKTOP_ENTRY_FROM_BINDIR));
    if (!exeDir.empty() && QFileInfo(folder).isDir() && !installed) {
        candidates.push_back(exeDir + u"prefs.ini");
    }
    if (const std::u16string settingsFolder = platform::UserSettingsFolder(); !settingsFolder.empty()) {
        candidates.push_back(settingsFolder + platform::kPathDelimiter + u"prefs.ini");
    }
    return candidates;
}

std::u16string PrefsFileToRead(const std::vector<std::u16string>& candidates) {
    std::u16string newest;
    QDateTime newestTime;
    for (const std::u16string& candidate : candidates) {
        const QFileInfo info(ToQString(candidate));
        if (info.isFile() && (newest.empty() || info.lastModified() > newestTime)) {
            newest = candidate;
            newestTime = info.lastModified();
        }
    }
    return !newest.empty() || candidates.empty() ? newest : candidates.front();
}

namespace {

constexpr char16_t kDataFoldersSection[] = u"dataFolders";
constexpr char16_t kNotThere[] = u"\n"; // no value reads as a line break

std::u16string NumberedKey(std::u16string_view name, size_t number) {
    return std::u16string(name) + FromUtf8(std::to_string(number));
}

bool ReadsBack(const std::u16string& value) {
    return value.size() <= TIniFile::kMaxValueLength && value.find_first_of(u"\r\n") == std::u16string::npos;
}

} // namespace

TChosenLoadOrderFiles ReadChosenLoadOrderFiles(const TIniFile& prefs) {
    TChosenLoadOrderFiles chosen;
    for (size_t number = 1;; ++number) {
        const std::u16string folder =
            prefs.ReadString(kDataFoldersSection, NumberedKey(u"folder", number), kNotThere);
        if (folder == kNotThere) {
            break;
        }
        TLoadOrderChoice choice{prefs.ReadString(kDataFoldersSection, NumberedKey(u"plugins", number), u""),
                                prefs.ReadString(kDataFoldersSection, NumberedKey(u"ini", number), u"")};
        if (!folder.empty() && choice != TLoadOrderChoice{}) {
            chosen.emplace(folder, std::move(choice)); // the first entry of a folder counts
        }
    }
    return chosen;
}

void WriteChosenLoadOrderFiles(TIniFile& prefs, const TChosenLoadOrderFiles& chosen) {
    size_t number = 1;
    for (const auto& [folder, choice] : chosen) {
        if (folder.empty() || choice == TLoadOrderChoice{} || !ReadsBack(folder) ||
            !ReadsBack(choice.plugins) || !ReadsBack(choice.ini)) {
            continue;
        }
        prefs.WriteString(kDataFoldersSection, NumberedKey(u"folder", number), folder);
        prefs.WriteString(kDataFoldersSection, NumberedKey(u"plugins", number), choice.plugins);
        prefs.WriteString(kDataFoldersSection, NumberedKey(u"ini", number), choice.ini);
        ++number;
    }
    // Entries left from a save with more of them read as nothing now.
    for (; prefs.ReadString(kDataFoldersSection, NumberedKey(u"folder", number), kNotThere) != kNotThere;
         ++number) {
        for (const char16_t* key : {u"folder", u"plugins", u"ini"}) {
            prefs.WriteString(kDataFoldersSection, NumberedKey(key, number), u"");
        }
    }
}
