// The application object for the whole run, on the offscreen platform, and a watch on the model checker.
#include <QApplication>
#include <gtest/gtest.h>

#include "tests/app/app_test_support.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    apptest::InstallModelTesterWatch();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
