#pragma once
// Text between the core and Qt. Both hold UTF-16 code units, and these conversions copy them as they are, so
// that every name and path comes back unit for unit: QString::fromUtf16 (and fromStdU16String) would drop a
// leading U+FEFF and take a leading U+FFFE as a sign to swap the bytes of every unit.
#include <QString>
#include <string>
#include <string_view>

inline QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::u16string FromQString(const QString& text) {
    return text.toStdU16String();
}
