// What the scenarios of stalled runs do not show: a named pipe whose writer
// ends is read to its end.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "platform/cancellation.h"
#include "platform/file_access.h"
#include "tests/support/temp_folder.h"

namespace vlt {
namespace {

TEST(CancellationTest, NamedPipeIsReadToItsEnd) {
    testing_support::TempFolder folder;
    const std::filesystem::path fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        EXPECT_EQ(::write(fd, "abc", 3), 3);
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

}  // namespace
}  // namespace vlt
