#include "app/extraction_report.h"

#include "app/qt_text.h"

std::u16string StripTrailingChar(const std::u16string& text, char16_t c) {
    const size_t keep = text.find_last_not_of(c);
    return keep == std::u16string::npos ? std::u16string() : text.substr(0, keep + 1);
}

void TNotExtractedEntries::Add(const std::u16string& entry, const std::u16string& reason) {
    if (named.size() < kNotWrittenEntriesNamed) {
        named.emplace_back(entry, reason);
    }
    ++count;
}

namespace {

// "1 entry was", "3 entries were", or with where they are: "3 entries after it were".
QString EntriesWere(size_t count, const QString& where = {}) {
    return count == 1 ? QStringLiteral("1 entry%1 was").arg(where)
                      : QStringLiteral("%1 entries%2 were").arg(count).arg(where);
}

// The first few entries not written, one a line with its reason, and how many more there are.
QString NamedEntries(const TNotExtractedEntries& notExtracted) {
    QString text;
    for (const auto& [entry, reason] : notExtracted.named) {
        text += QStringLiteral("\n%1 (%2)").arg(ToQString(entry), ToQString(reason));
    }
    if (notExtracted.count > notExtracted.named.size()) {
        text += QStringLiteral("\nand %1 more.").arg(notExtracted.count - notExtracted.named.size());
    }
    return text;
}

// text as a sentence of its own: a "." appended unless it already ends in punctuation.
QString Sentence(const std::u16string& text) {
    QString sentence = ToQString(text);
    if (!sentence.isEmpty() && sentence.back() > u'.') {
        sentence += u'.';
    }
    return sentence;
}

} // namespace

QString NotWrittenEntriesMessage(const TNotExtractedEntries& notExtracted) {
    return EntriesWere(notExtracted.count) + QStringLiteral(" not extracted:") + NamedEntries(notExtracted);
}

QString OverriddenEntriesMessage(const TNotExtractedEntries& overridden, int written) {
    return QStringLiteral("%1 file%2 written. ").arg(written).arg(written == 1 ? " was" : "s were") +
           EntriesWere(overridden.count) +
           QStringLiteral(
               " overridden by the same path later in the load order, whose file was written instead:") +
           NamedEntries(overridden);
}

QString StoppedExtractionMessage(const TExtractionStop& stop, const TNotExtractedEntries& notExtracted) {
    const bool atEntry = !stop.entry.empty();
    QString text;
    if (atEntry) {
        text = QStringLiteral("The extraction stopped at entry %1 of %2, %3:\n")
                   .arg(stop.position)
                   .arg(stop.total)
                   .arg(ToQString(stop.entry));
    }
    text += Sentence(stop.reason);
    if (notExtracted.count > 0) {
        text += QStringLiteral("\n") + EntriesWere(notExtracted.count, atEntry ? " before it" : "") +
                QStringLiteral(" not extracted:") + NamedEntries(notExtracted);
    }
    if (stop.notAttempted > 0) {
        text += QStringLiteral("\n") +
                EntriesWere(static_cast<size_t>(stop.notAttempted), atEntry ? " after it" : "") +
                QStringLiteral(" not attempted.");
    }
    return text;
}
