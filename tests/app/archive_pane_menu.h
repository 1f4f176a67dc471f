#pragma once
// The archive pane's plugins.txt and INI buttons, clicked as a user clicks them: the button, then an item of
// the menu it pops up.
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "app/main_window.h"
#include <gtest/gtest.h>

namespace apptest {

// button: "ArchivePanePlugins" or "ArchivePaneIni"; item: "Automatic", "Chosen" or "Choose". The menu, for
// a look at it before the click, is handed to look.
template <class Look = void (*)(QMenu&)>
void ChooseInPaneMenu(
    TForm1& form, const char* button, const char* item, Look look = [](QMenu&) {}) {
    auto* pushButton = form.findChild<QPushButton*>(QString::fromLatin1(button));
    ASSERT_NE(pushButton, nullptr) << button;
    QTest::mouseClick(pushButton, Qt::LeftButton);
    auto* menu = form.findChild<QMenu*>(QString::fromLatin1(button) + QStringLiteral("Menu"));
    ASSERT_NE(menu, nullptr) << button;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    look(*menu);
    auto* action = menu->findChild<QAction*>(QString::fromLatin1(button) + QString::fromLatin1(item));
    ASSERT_NE(action, nullptr) << item;
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    QApplication::processEvents();
}

} // namespace apptest
