// Closing the window while the run waits on a named pipe, which only POSIX systems have.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/form/form1_fixture.h"

namespace {

// Whether a writer holds the pipe open without writing, or none ever opens it.
class NamedPipeTest : public Form1Test, public ::testing::WithParamInterface<bool> {};

TEST_P(NamedPipeTest, ClosingDuringARunLeavesNoFile) {
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    const int writer = GetParam() ? ::open(Path("fifo").c_str(), O_RDWR | O_NONBLOCK) : -1;
    ExpectClosingCancelsTheRun("fifo");
    if (writer >= 0) {
        ::close(writer);
    }
}

INSTANTIATE_TEST_SUITE_P(Writers, NamedPipeTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WriterStalls" : "NoWriter";
                         });

}  // namespace
