// A request makes an eventfd readable, and every wait polls it beside its file.

#include "platform/cancellation.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/posix/stalling_io.h"

namespace vlt {

struct CancelSignal::Wake {
    int fd = -1;  // readable from the first request until Reset; -1 when there is none
};

namespace {

// Without a wake-up descriptor (none to spare), waits look at the flag this often.
constexpr int kWithoutWakeMs = 20;

}  // namespace

CancelSignal::CancelSignal()
    : wake_(std::make_unique<Wake>(Wake{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)})) {}

CancelSignal::~CancelSignal() {
    if (wake_->fd >= 0) {
        ::close(wake_->fd);
    }
}

void CancelSignal::Request() noexcept {
    const int saved = errno;  // a signal handler must leave errno as it found it
    requested_.store(true, std::memory_order_relaxed);
    const std::uint64_t one = 1;
    if (wake_->fd >= 0) {
        [[maybe_unused]] const ssize_t ignored = ::write(wake_->fd, &one, sizeof one);
    }
    errno = saved;
}

void CancelSignal::Reset() noexcept {
    std::uint64_t count = 0;
    if (wake_->fd >= 0) {
        [[maybe_unused]] const ssize_t ignored = ::read(wake_->fd, &count, sizeof count);
    }
    requested_.store(false, std::memory_order_relaxed);
}

void CancelSignal::Pause(std::chrono::milliseconds time) const {
    posix::WaitReady(-1, 0, this, static_cast<int>(time.count()));
    ThrowIfRequested();
}

namespace posix {

bool WaitReady(int fd, short events, const CancelSignal* cancel, int timeoutMs) {
    const int wake = cancel ? cancel->wake()->fd : -1;
    pollfd wanted[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    // A signal without its descriptor is looked at between short waits.
    const bool slices = cancel != nullptr && wake < 0;
    for (;;) {
        if (cancel != nullptr) {
            cancel->ThrowIfRequested();
        }
        const int slice =
            slices && (timeoutMs < 0 || timeoutMs > kWithoutWakeMs) ? kWithoutWakeMs : timeoutMs;
        const int ready = ::poll(wanted, 2, slice);
        // Also when the file became ready as well: a request that comes with
        // the data (Ctrl-C and the line it ends) wins.
        if (cancel != nullptr) {
            cancel->ThrowIfRequested();
        }
        if (ready < 0 && errno != EINTR) {
            // Out of kernel memory for the wait: plain blocking is all that is left.
            return true;
        }
        if (ready == 0) {
            if (slice == timeoutMs) {
                return false;
            }
            if (timeoutMs > 0) {
                timeoutMs -= slice;
            }
            continue;
        }
        if (ready > 0 && wanted[0].revents != 0) {
            return true;
        }
    }
}

}  // namespace posix
}  // namespace vlt
