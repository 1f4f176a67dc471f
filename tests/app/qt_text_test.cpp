// Text crosses between the core and Qt unit for unit, whatever the units are.
#include <gtest/gtest.h>

#include <string>

#include "app/qt_text.h"

namespace {

TEST(QtText, EveryUnitCrossesBothWaysUnchanged) {
    // Byte-order marks at the start (which QString::fromUtf16 drops, or takes as a sign to swap every unit),
    // unpaired surrogates, a zero unit, and nothing.
    const std::u16string texts[] = {
        u"\uFEFFarchive.bsa", u"\uFFFEarchive.bsa", std::u16string(u"a\0b", 3), u"\xD800x\xDC00", u"",
    };
    for (const std::u16string& text : texts) {
        SCOPED_TRACE(testing::PrintToString(text));
        const QString converted = ToQString(text);
        ASSERT_EQ(converted.size(), static_cast<qsizetype>(text.size()));
        for (size_t i = 0; i < text.size(); ++i) {
            EXPECT_EQ(converted[static_cast<qsizetype>(i)].unicode(), text[i]);
        }
        EXPECT_EQ(FromQString(converted), text);
    }
}

} // namespace
