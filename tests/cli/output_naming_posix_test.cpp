// Outputs that only POSIX systems let any user make: symbolic links, devices by name.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/output_naming.h"
#include "tests/support/temp_folder.h"

namespace vlt::cli {
namespace {

namespace fs = std::filesystem;

TEST(OutputRefusalPosix, LinksAreReplacedOnlyWithForce) {
    const testing_support::TempFolder folder;
    testing_support::WriteAll(folder / "file", "x");
    fs::create_symlink("file", folder / "link");
    fs::create_symlink("missing", folder / "dangling");  // writing would create the link's target
    for (const char* name : {"link", "dangling"}) {
        for (const bool named : {false, true}) {
            EXPECT_TRUE(OutputRefusal((folder / name).string(), false, named).has_value()) << name;
            EXPECT_FALSE(OutputRefusal((folder / name).string(), true, named).has_value()) << name;
        }
    }
}

TEST(OutputRefusalPosix, WritesToDevicesThatAreNoTerminal) {
    EXPECT_FALSE(OutputRefusal("/dev/null", false, true).has_value());
}

}  // namespace
}  // namespace vlt::cli
