// veltrimax: the window that encrypts and decrypts one file with a primary key.

#include <QApplication>

#include "app/file_dialog.h"
#include "app/form1.h"
#include "app/message_box.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Ties the window to its menu entry and icon on Wayland too.
    QGuiApplication::setDesktopFileName(QStringLiteral("veltrimax"));
    // The program ends when Form1 says so, not when some dialog happens to close last.
    QApplication::setQuitOnLastWindowClosed(false);

    vlt::QtFileDialog commonDialog;
    vlt::QtMessageBox messages;
    Form1 form(commonDialog, messages);
    QObject::connect(&form, &Form1::ProgramEnded, &app, &QApplication::quit, Qt::QueuedConnection);
    form.show();
    return QApplication::exec();
}
