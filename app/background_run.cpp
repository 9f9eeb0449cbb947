#include "app/background_run.h"

#include <chrono>
#include <utility>

namespace {

// The bar moves at most 25 times a second: each move repaints it on the
// window's thread, which a run of a few seconds would otherwise pay for a
// hundred times while the engine keeps both cores busy.
constexpr std::chrono::milliseconds kMoveInterval{40};

}  // namespace

BackgroundRun::~BackgroundRun() {
    CancelAndWait();
}

void BackgroundRun::Start(Job job) {
    if (Active()) {
        return;
    }
    cancel_.Reset();
    worker_ = std::thread([this, job = std::move(job)] {
        int shown = -1;
        std::chrono::steady_clock::time_point shownAt;
        vlt::RunControl control;
        control.cancel = &cancel_;
        control.progress = [this, &shown, &shownAt](const vlt::Progress& progress) {
            const int percent = progress.Percent();
            const auto now = std::chrono::steady_clock::now();
            if (percent != shown &&
                (shown < 0 || percent == 100 || now - shownAt >= kMoveInterval)) {
                shown = percent;
                shownAt = now;
                emit Progressed(percent);
            }
        };
        // The result is read by TakeResult only after joining this thread.
        result_ = job(control);
        emit Done();
    });
}

vlt::RunResult BackgroundRun::CancelAndWait() {
    if (!Active()) {
        return {};
    }
    cancel_.Request();
    return TakeResult();
}

vlt::RunResult BackgroundRun::TakeResult() {
    if (worker_.joinable()) {
        worker_.join();
    }
    return std::exchange(result_, {});
}
