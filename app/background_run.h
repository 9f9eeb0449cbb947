#pragma once

// One encryption or decryption on a thread of its own, so that the window
// stays responsive while it runs. Reports reach the window through queued
// signals; the result is taken once the run has signalled that it is done.

#include <QObject>
#include <functional>
#include <thread>

#include "cipher/engine.h"

class BackgroundRun : public QObject {
    Q_OBJECT

  public:
    using Job = std::function<vlt::RunResult(const vlt::RunControl&)>;

    BackgroundRun() = default;
    // Cancels a run still going and waits for it.
    ~BackgroundRun() override;
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // True from Start until TakeResult.
    bool Active() const { return worker_.joinable(); }

    // Starts `job` on a new thread; only when no run is active.
    void Start(Job job);

    // Asks the run to stop, waits until it has (the engine stops within 100 ms
    // whatever its files are doing, leaving no output and no temporary file)
    // and gives its result; an empty one when idle.
    vlt::RunResult CancelAndWait();

    // After Done: ends the run and gives its result.
    vlt::RunResult TakeResult();

  signals:
    // Percent of the run done: climbs from 0 to 100, at most 25 times a second.
    void Progressed(int percent);
    // The run has ended; take its result.
    void Done();

  private:
    std::thread worker_;
    vlt::CancelSignal cancel_;
    vlt::RunResult result_;
};
