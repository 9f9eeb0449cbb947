// veltrimax: the window that encrypts and decrypts one file with a primary key.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include "app/qt/form1_window.h"
#include "app/qt/message_box.h"
#include "app/qt/open_dialog.h"

namespace {

bool Set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Every handler of the window runs inside an event. Memory that runs out in
// one (a run's result, a message being built) drops that event with a note
// instead of ending the program: no exception may leave through Qt.
class Application final : public QApplication {
  public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "veltrimax: %s\n",
                         dynamic_cast<const std::bad_alloc*>(&error) != nullptr
                             ? "not enough memory"
                             : error.what());
            return false;
        }
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    // Without a display Qt aborts with advice to reinstall; say what is wrong instead.
    if (!Set("QT_QPA_PLATFORM") && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
        std::fputs(
            "veltrimax: cannot open a window (no display); use vlt on a machine without one\n",
            stderr);
        return 1;
    }
    Application app(argc, argv);
    // Ties the window to its menu entry and icon on Wayland too.
    QGuiApplication::setDesktopFileName(QStringLiteral("veltrimax"));
    // The program ends when Form1 says so, not when some dialog happens to close last.
    QApplication::setQuitOnLastWindowClosed(false);

    vlt::QtOpenDialog commonDialog;
    vlt::QtMessageBox messages;
    vlt::Form1Window form(commonDialog, messages);
    QObject::connect(&form, &vlt::Form1Window::ProgramEnded, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    form.show();
    // What Qt left of the command line: the program's name, then its own arguments.
    form.CommandLine(QCoreApplication::arguments().mid(1));
    return QApplication::exec();
}
