#include "cli/interrupt.h"

#include <csignal>

namespace vlt::cli {
namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnSignal(int) {
    interrupted.store(true);
}

}  // namespace

const std::atomic<bool>& InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a key prompt blocked in read() must wake up to notice.
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    return interrupted;
}

}  // namespace vlt::cli
