// "Help" → "About": the menu after "Files", and a box with the project's version, the libraries' versions as
// they report themselves at run time, and the licences.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <lz4.h>
#include <zlib.h>
#ifndef _WIN32
#include <unicode/uversion.h>
#endif

#include "parlivex_version.h"
#include "tests/app/app_test_support.h"

namespace apptest {
namespace {

class AboutTest : public WindowTest {};

TEST_F(AboutTest, HelpMenuShowsTheVersionsAndTheLicences) {
    CreateWindow();
    const QList<QAction*> menus = Control<QMenuBar>("MainMenu1")->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->menu(), Control<QMenu>("Files1"));
    EXPECT_EQ(menus[1]->menu(), Control<QMenu>("View1"));
    EXPECT_EQ(menus[2]->menu(), Control<QMenu>("Help1"));
    EXPECT_EQ(menus[2]->text(), "&Help") << "Alt+H opens it";
    QAction* about = Action("About1");
    EXPECT_EQ(about->text(), "About");
    EXPECT_TRUE(about->isEnabled());

    about->trigger();
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].caption, "About Parlivex");
    const QString text = dialogs_.messages[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("Parlivex %1\n").arg(kParlivexVersion))) << Utf8(text);
    QStringList libraries = {QStringLiteral("Qt ") + qVersion(), QStringLiteral("zlib ") + zlibVersion(),
                             QStringLiteral("liblz4 ") + LZ4_versionString()};
#ifndef _WIN32
    UVersionInfo icu;
    u_getVersion(icu);
    char icuText[U_MAX_VERSION_STRING_LENGTH];
    u_versionToString(icu, icuText);
    libraries.append(QStringLiteral("ICU ") + icuText);
#endif
    EXPECT_TRUE(text.contains(libraries.join(QStringLiteral(", ")))) << Utf8(text);
    EXPECT_TRUE(text.contains(QStringLiteral("licence"))) << Utf8(text);
    EXPECT_TRUE(dialogs_.errors.empty());
}

} // namespace
} // namespace apptest
