#include "app/form/background_run.h"

#include <chrono>
#include <exception>
#include <utility>

#include "platform/error_text.h"

namespace vlt {

namespace {

// The bar moves at most 25 times a second: each move repaints it on the
// window's thread, which a run of a few seconds would otherwise pay for a
// hundred times while the engine keeps both cores busy.
constexpr std::chrono::milliseconds kMovePace{40};

}  // namespace

BackgroundRun::~BackgroundRun() {
    CancelAndWait();
}

void BackgroundRun::Start(Job job, Reports reports) {
    if (Active()) {
        return;
    }
    cancel_.Reset();
    worker_ = std::thread([this, job = std::move(job), reports = std::move(reports)] {
        int shown = -1;
        RunControl control;
        control.cancel = &cancel_;
        control.progressPace = kMovePace;
        control.progress = [&reports, &shown](const Progress& progress) {
            if (const int percent = progress.Percent(); percent != shown) {
                shown = percent;
                reports.progressed(percent);
            }
        };
        // The result is read by TakeResult only after joining this thread. The
        // job reports its own failures; what escapes it (memory running out
        // outside the run) fails the run too instead of ending the program.
        try {
            result_ = job(control);
        } catch (const std::exception& error) {
            result_.status = RunStatus::Failed;
            result_.message = ErrorText(error);
        }
        reports.done();
    });
}

RunResult BackgroundRun::CancelAndWait() {
    if (!Active()) {
        return {};
    }
    cancel_.Request();
    return TakeResult();
}

RunResult BackgroundRun::TakeResult() {
    if (worker_.joinable()) {
        worker_.join();
    }
    return std::exchange(result_, {});
}

}  // namespace vlt
