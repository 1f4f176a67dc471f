// Parlivex: browse and extract the BSA archives of Skyrim and Skyrim Special Edition.
#include <QApplication>
#include <QString>
#include <QStringList>
#include <string>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "platform/command_line.h"
#include "platform/directories.h"
#include "platform/native_path.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The application title is the caption of the message and error boxes.
    QApplication::setApplicationName(ToQString(kApplicationTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("parlivex"));

    TQtDialogs dialogs;
    TForm1 Form1(dialogs, platform::ExecutablePath());
    Form1.show();
    // A file manager's "Open with" passes the archive as the first argument: taken exactly as the system gave
    // it (Qt's own options are out of it by now); arguments() would replace the bytes of a Linux name that is
    // not UTF-8.
    QStringList arguments;
    for (const std::string& argument : platform::CommandLineArguments(argc, argv)) {
        arguments.append(ToQString(platform::PathFromNative(argument)));
    }
    Form1.OpenCommandLineArgument(arguments);
    return QApplication::exec();
}
