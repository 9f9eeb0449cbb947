#pragma once

// Stopping a run that may be asleep in the system: waiting for a pipe, a
// terminal or a writer thread. A request sets a flag and makes a descriptor
// readable, and every wait on a file polls that descriptor too, so the
// request ends the wait at once whatever the file is doing.

#include <atomic>
#include <exception>

namespace vlt {

// Thrown where a run sees that it was asked to stop.
class Cancelled : public std::exception {
  public:
    const char* what() const noexcept override { return "cancelled"; }
};

class CancelSignal {
  public:
    // When the system has no descriptor to spare, waits still see a request,
    // within 20 ms instead of at once.
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    // Asks every run using this signal to stop. Safe from any thread and from
    // a signal handler (an atomic store and one write()).
    void Request() noexcept;
    bool Requested() const noexcept { return requested_.load(std::memory_order_relaxed); }
    // Throws Cancelled once requested.
    void ThrowIfRequested() const;
    // Takes a request back before the next run; only while no run uses it.
    void Reset() noexcept;

    // Readable from the first request until Reset; -1 when there is none.
    int WakeDescriptor() const { return wake_; }

  private:
    static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
    std::atomic<bool> requested_{false};
    int wake_ = -1;
};

// Waits until `fd` is ready for `events` (POLLIN or POLLOUT), or until
// `timeoutMs` has passed (-1: no limit; a negative fd just sleeps). Returns
// false on timeout. Throws Cancelled as soon as `cancel` (may be null) is requested.
bool WaitReady(int fd, short events, const CancelSignal* cancel, int timeoutMs = -1);

}  // namespace vlt
