// Parlivex: browse and extract the BSA archives of Skyrim and Skyrim Special Edition.
#include <QApplication>
#include <QString>
#include <QStringList>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/qt_text.h"
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
    // A file manager's "Open with" passes the archive as the first argument. On Linux taken from argv (Qt's
    // own options are out of it by now) rather than arguments(), which would replace the bytes of a name that
    // is not UTF-8. On Windows argv holds the ANSI code page, which has no room for most names: arguments()
    // comes from the UTF-16 command line.
#ifdef _WIN32
    const QStringList arguments = QCoreApplication::arguments();
#else
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(ToQString(platform::PathFromNative(argv[i])));
    }
#endif
    Form1.OpenCommandLineArgument(arguments);
    return QApplication::exec();
}
