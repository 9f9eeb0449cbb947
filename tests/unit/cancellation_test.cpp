// Every wait on a file that can stall ends when the run is cancelled: named
// pipes without a writer or reader, pipes that stay empty or full.

#include "platform/cancellation.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>

#include "cipher/engine.h"
#include "platform/file_access.h"
#include "tests/support/temp_folder.h"

namespace vlt {
namespace {

using namespace std::chrono_literals;
using testing_support::TempFolder;

// A pipe whose ends the test holds and never uses: reads from it wait, and
// once full so do writes to it.
struct StalledPipe {
    int ends[2] = {-1, -1};
    StalledPipe() { EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0); }
    ~StalledPipe() {
        ::close(ends[0]);
        ::close(ends[1]);
    }
};

// Holds a named pipe open for reading and writing without ever using it: to
// its other side a writer or reader that stalls.
struct HeldFifo {
    int fd;
    explicit HeldFifo(const std::filesystem::path& path)
        : fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}
    ~HeldFifo() { ::close(fd); }
};

// Runs `operation` on a thread, requests cancellation once it had time to
// start waiting, and returns whether it threw Cancelled within 5 s.
::testing::AssertionResult EndsOnCancel(const char* name,
                                        const std::function<void(const CancelSignal&)>& operation) {
    CancelSignal cancel;
    auto ended = std::async(std::launch::async, [&] {
        try {
            operation(cancel);
        } catch (const Cancelled&) {
            return true;
        }
        return false;
    });
    if (ended.wait_for(50ms) == std::future_status::ready) {
        return ::testing::AssertionFailure() << "ended before it was cancelled";
    }
    cancel.Request();
    if (ended.wait_for(5s) != std::future_status::ready) {
        // The operation stays stuck: its thread cannot be joined.
        std::fprintf(stderr, "%s: still waiting 5 s after the request\n", name);
        std::quick_exit(1);
    }
    return ended.get() ? ::testing::AssertionSuccess()
                       : ::testing::AssertionFailure() << "ended without Cancelled";
}

TEST(CancellationTest, EveryStallingFileOperationEndsOnRequest) {
    TempFolder folder;
    const std::filesystem::path fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::uint8_t> lots(1 << 20);
    std::vector<std::uint8_t> buffer(64);
    const struct {
        const char* name;
        std::function<void(const CancelSignal&)> operation;
    } cases[] = {
        {"named pipe that no one writes to",
         [&](const CancelSignal& cancel) { InputFile(fifo, &cancel).Read(buffer); }},
        {"named pipe whose writer stalls",
         [&](const CancelSignal& cancel) {
             const HeldFifo writer(fifo);
             InputFile(fifo, &cancel).Read(buffer);
         }},
        {"named pipe that no one reads",
         [&](const CancelSignal& cancel) { OutputFile(fifo, &cancel).Write(lots); }},
        {"named pipe whose reader stalls",
         [&](const CancelSignal& cancel) {
             const HeldFifo reader(fifo);
             OutputFile(fifo, &cancel).Write(lots);
         }},
        {"pipe that stays empty",
         [&](const CancelSignal& cancel) {
             const StalledPipe pipe;
             DescriptorSource(pipe.ends[0], "in", &cancel).Read(buffer);
         }},
        {"pipe that stays full",
         [&](const CancelSignal& cancel) {
             const StalledPipe pipe;
             DescriptorSink(pipe.ends[1], "out", &cancel).Write(lots);
         }},
        {"encryption from a named pipe that no one writes to",
         [&](const CancelSignal& cancel) {
             const RunResult result = EncryptFile(fifo, folder / "out.vlt", {"k", 1252},
                                                  {.progress = {}, .cancel = &cancel});
             if (result.status == RunStatus::Cancelled) {
                 throw Cancelled();
             }
         }},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(EndsOnCancel(c.name, c.operation)) << c.name;
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"fifo"});
}

TEST(CancellationTest, NamedPipeIsReadToItsEnd) {
    TempFolder folder;
    const std::filesystem::path fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_EQ(::write(fd, "abc", 3), 3);
        ::close(fd);
    });
    CancelSignal cancel;
    InputFile input(fifo, &cancel);
    std::vector<std::uint8_t> buffer(16);
    const std::size_t got = input.Read(buffer);
    writer.join();
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + got), "abc");
    EXPECT_EQ(input.Read(buffer), 0u);
}

TEST(CancellationTest, ResetTakesTheRequestBack) {
    CancelSignal cancel;
    cancel.Request();
    EXPECT_THROW(WaitReady(-1, 0, &cancel, 0), Cancelled);
    cancel.Reset();
    EXPECT_FALSE(cancel.Requested());
    EXPECT_FALSE(WaitReady(-1, 0, &cancel, 10));
}

}  // namespace
}  // namespace vlt
