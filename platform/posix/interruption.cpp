#include "platform/interruption.h"

#include <atomic>
#include <csignal>

namespace vlt {
namespace {

std::atomic<int> firstSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");
CancelSignal* requests = nullptr;  // set before any handler is installed

void OnSignal(int number) {
    int none = 0;
    firstSignal.compare_exchange_strong(none, number);
    requests->Request();
}

}  // namespace

void interruption::InstallHandlers(CancelSignal& cancel) {
    requests = &cancel;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Every wait of a run polls the signal's descriptor, so interrupted system
    // calls have nothing to report: they resume.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, signal);
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

int InterruptedExitStatus() {
    const int number = firstSignal.load();
    return 128 + (number != 0 ? number : SIGINT);
}

}  // namespace vlt
