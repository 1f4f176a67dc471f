// Parlivex: browse and extract the BSA archives of Skyrim and Skyrim Special Edition.
#include <QApplication>
#include <QString>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "platform/directories.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The application title is the caption of the message and error boxes.
    QApplication::setApplicationName(QString::fromStdU16String(kApplicationTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("parlivex"));

    TQtDialogs dialogs;
    TForm1 Form1(dialogs, platform::ExecutablePath());
    Form1.show();
    // A file manager's "Open with" passes the archive as the first argument.
    Form1.OpenCommandLineArgument(QApplication::arguments());
    return QApplication::exec();
}
