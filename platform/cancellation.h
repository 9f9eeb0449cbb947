#pragma once

// Stopping a run that may be asleep in the system: waiting for a pipe, a
// terminal or a writer thread. A request sets a flag and wakes every wait of
// the system's that a run is in (see the system's file access), so the
// request ends the wait at once whatever the file is doing.

#include <atomic>
#include <chrono>
#include <exception>
#include <memory>

namespace vlt {

// Thrown where a run sees that it was asked to stop.
class Cancelled : public std::exception {
  public:
    const char* what() const noexcept override { return "interrupted"; }
};

class CancelSignal {
  public:
    // When the system has nothing to wake waits with, they still see a
    // request, within 20 ms instead of at once.
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    // Asks every run using this signal to stop. Safe from any thread and from
    // a signal handler.
    void Request() noexcept;
    bool Requested() const noexcept { return requested_.load(std::memory_order_relaxed); }
    // Throws Cancelled once requested.
    void ThrowIfRequested() const;
    // Takes a request back before the next run; only while no run uses it.
    void Reset() noexcept;
    // Waits for `time`; throws Cancelled as soon as a request comes.
    void Pause(std::chrono::milliseconds time) const;

    // How the system wakes the waits; defined by each system's implementation.
    struct Wake;
    Wake* wake() const { return wake_.get(); }

  private:
    static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
    std::atomic<bool> requested_{false};
    std::unique_ptr<Wake> wake_;
};

}  // namespace vlt
