#include "platform/interruption.h"

#include <windows.h>

namespace vlt {
namespace {

CancelSignal* requests = nullptr;  // set before the handler is installed

// How long closing the console, logging off or shutting down waits for the
// run's clean-up. The system ends the process as soon as the handler returns
// (and on its own after 5 s for a closed console), so the handler does not
// return: it sleeps while the run stops, removes its temporary file and
// leaves main, whose exit ends the process and this thread with it.
constexpr DWORD kCleanUpMs = 4500;

// Runs on a thread the system starts for each event.
BOOL WINAPI OnControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            requests->Request();
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            requests->Request();
            ::Sleep(kCleanUpMs);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void interruption::InstallHandlers(CancelSignal& cancel) {
    requests = &cancel;
    ::SetConsoleCtrlHandler(OnControl, TRUE);
}

// 128 + SIGINT, as on POSIX systems: the shells of Windows that read a status
// (MSYS2's, Git's bash) read it as Ctrl-C.
int InterruptedExitStatus() {
    return 130;
}

}  // namespace vlt
