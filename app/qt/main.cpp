// veltrimax: the window that encrypts and decrypts one file with a primary key.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/qt/form1_window.h"
#include "app/qt/message_box.h"
#include "app/qt/open_dialog.h"
#include "platform/error_text.h"

namespace {

std::string Value(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr ? value : "";
}

constexpr const char* kUseVlt = "use vlt on a machine without one\n";

// The sentence for a window that cannot open, naming the display the window
// system was pointed at and the variable that points there.
std::string CannotOpenWindow() {
    const std::string platform = Value("QT_QPA_PLATFORM");
    const std::string x = Value("DISPLAY");
    const std::string wayland = Value("WAYLAND_DISPLAY");
    std::string where;
    std::string variable;
    if (platform.starts_with("wayland") || (platform.empty() && x.empty() && !wayland.empty())) {
        // A Wayland client without WAYLAND_DISPLAY looks for wayland-0.
        where = "Wayland display " + (wayland.empty() ? std::string("wayland-0") : wayland);
        variable = "WAYLAND_DISPLAY";
    } else if (!platform.empty() && !platform.starts_with("xcb")) {
        where = "platform " + platform;
        variable = "QT_QPA_PLATFORM";
    } else if (!x.empty()) {
        where = "display " + x;
        variable = "DISPLAY";
    } else {
        return std::string("veltrimax: cannot open a window (no display); ") + kUseVlt;
    }
    return "veltrimax: cannot open a window on " + where + "; check " + variable + ", or " +
           kUseVlt;
}

// Qt's messages while QApplication starts the window system, held back: when it
// cannot start (no display, none answering, a refused one, a missing plugin) Qt
// ends with a fatal message and an abort, and the program's own sentence has to
// come first. QT_DEBUG_PLUGINS shows Qt's own account after it; with
// QT_FATAL_WARNINGS or QT_FATAL_CRITICALS any message may be Qt's last, so
// none is held.
struct HeldMessage {
    QtMsgType type;
    const char* file;
    int line;
    const char* function;
    const char* category;
    QString text;
};
std::vector<HeldMessage> heldMessages;
QtMessageHandler qtMessageHandler = nullptr;

void PassOnHeldMessages() {
    for (const HeldMessage& message : heldMessages) {
        const QMessageLogContext context(message.file, message.line, message.function,
                                         message.category);
        qtMessageHandler(message.type, context, message.text);
    }
    heldMessages.clear();
}

void HoldWhileStarting(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg &&
        !(Value("QT_FATAL_WARNINGS").empty() && Value("QT_FATAL_CRITICALS").empty())) {
        qtMessageHandler(type, context, text);
        return;
    }
    heldMessages.push_back(
        {type, context.file, context.line, context.function, context.category, text});
    if (type != QtFatalMsg) {
        return;
    }
    std::fputs(CannotOpenWindow().c_str(), stderr);
    if (!Value("QT_DEBUG_PLUGINS").empty()) {
        PassOnHeldMessages();
    }
    std::fflush(stderr);
    // Qt would abort after this message, with a core dump; nothing was started
    // that needs more than an exit.
    std::_Exit(1);
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
            std::fprintf(stderr, "veltrimax: %s\n", vlt::ErrorText(error));
            return false;
        }
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    qtMessageHandler = qInstallMessageHandler(HoldWhileStarting);
    Application app(argc, argv);
    qInstallMessageHandler(qtMessageHandler);
    PassOnHeldMessages();
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
