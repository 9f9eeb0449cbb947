// A request ends a wait at once, and a signal once reset lets the next run wait.

#include "platform/cancellation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vlt {
namespace {

TEST(CancellationTest, ResetTakesTheRequestBack) {
    CancelSignal cancel;
    cancel.Request();
    EXPECT_THROW(cancel.Pause(std::chrono::milliseconds(0)), Cancelled);
    cancel.Reset();
    EXPECT_FALSE(cancel.Requested());
    EXPECT_NO_THROW(cancel.Pause(std::chrono::milliseconds(10)));
}

// A pause that ran its course would not throw: only the request from the
// other thread, seen while waiting, ends it with Cancelled.
TEST(CancellationTest, RequestFromAnotherThreadEndsAPause) {
    CancelSignal cancel;
    std::thread requester([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        cancel.Request();
    });
    EXPECT_THROW(cancel.Pause(std::chrono::seconds(60)), Cancelled);
    requester.join();
}

}  // namespace
}  // namespace vlt
