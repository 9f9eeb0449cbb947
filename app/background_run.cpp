#include "background_run.h"

#include <utility>

BackgroundRun::~BackgroundRun() {
    CancelAndWait();
}

void BackgroundRun::Start(Job job) {
    if (Active()) {
        return;
    }
    cancel_ = false;
    worker_ = std::thread([this, job = std::move(job)] {
        int shown = -1;
        vlt::RunControl control;
        control.cancel = &cancel_;
        control.progress = [this, &shown](const vlt::Progress& progress) {
            const int percent = progress.Percent();
            if (percent != shown) {
                shown = percent;
                emit Progressed(percent);
            }
        };
        // The result is read by TakeResult only after joining this thread.
        result_ = job(control);
        emit Done();
    });
}

void BackgroundRun::CancelAndWait() {
    if (!Active()) {
        return;
    }
    cancel_ = true;
    worker_.join();
}

vlt::RunResult BackgroundRun::TakeResult() {
    if (worker_.joinable()) {
        worker_.join();
    }
    return std::exchange(result_, {});
}
