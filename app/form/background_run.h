#pragma once

// One encryption or decryption on a thread of its own, so that the window stays
// responsive while it runs. Its reports are called on that thread; the window's
// rules pass them on to the window's thread.

#include <functional>
#include <thread>

#include "cipher/engine.h"
#include "platform/cancellation.h"

namespace vlt {

class BackgroundRun {
  public:
    using Job = std::function<RunResult(const RunControl&)>;
    struct Reports {
        // Percent of the run done: climbs from 0 to 100, at most 25 times a second.
        std::function<void(int percent)> progressed;
        // The run has ended; take its result.
        std::function<void()> done;
    };

    BackgroundRun() = default;
    // Cancels a run still going and waits for it.
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // True from Start until TakeResult.
    bool Active() const { return worker_.joinable(); }

    // Starts `job` on a new thread; only when no run is active.
    void Start(Job job, Reports reports);

    // Asks the run to stop, waits until it has (the engine stops within 100 ms
    // whatever its files are doing, leaving no output and no temporary file)
    // and gives its result; an empty one when idle.
    RunResult CancelAndWait();

    // After done: ends the run and gives its result.
    RunResult TakeResult();

  private:
    std::thread worker_;
    CancelSignal cancel_;
    RunResult result_;
};

}  // namespace vlt
