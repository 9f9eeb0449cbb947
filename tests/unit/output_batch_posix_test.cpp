// Symbolic links, which on Windows only some users may make.

#include <gtest/gtest.h>

#include "platform/output_batch.h"
#include "tests/support/temp_folder.h"

namespace vlt {
namespace {

using testing_support::ReadAll;
using testing_support::TempFolder;
using testing_support::WriteAll;

void WriteOutput(const std::filesystem::path& path, OutputBatch& batch, bool replace) {
    OutputSink file(path, {.mayReplace = replace}, &batch);
    file.Write({reinterpret_cast<const std::uint8_t*>("new"), 3});
    file.Commit();
}

// Without leave to replace, even a link that leads nowhere is kept.
TEST(OutputBatchLinks, WithoutReplaceALinkThatAppearedIsKept) {
    TempFolder folder;
    OutputBatch batch;
    WriteOutput(folder / "a", batch, false);
    std::filesystem::create_symlink("missing", folder / "a");
    const auto failures = batch.Complete();
    ASSERT_EQ(failures.size(), 1u);
    ASSERT_TRUE(failures[0]);
    EXPECT_TRUE(failures[0]->AlreadyExists()) << failures[0]->what();
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "a"));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"a"});
}

TEST(OutputBatchLinks, HoldsAnOutputThroughLinksToIt) {
    TempFolder folder;
    WriteAll(folder / "a", "old");
    OutputBatch batch;
    WriteOutput(folder / "a", batch, true);
    WriteOutput(folder / "new", batch, false);  // nothing is at its name until it is in place
    std::filesystem::create_symlink("a", folder / "link");
    std::filesystem::create_symlink("link", folder / "link-to-link");
    std::filesystem::create_symlink("new", folder / "link-to-new");
    std::filesystem::create_directories(folder / "sub");
    std::filesystem::create_symlink("../new", folder / "sub" / "up-to-new");
    std::filesystem::create_symlink("missing", folder / "link-to-missing");
    for (const char* name : {"link", "link-to-link", "link-to-new", "sub/up-to-new"}) {
        EXPECT_TRUE(batch.Holds(folder / name)) << name;
    }
    EXPECT_FALSE(batch.Holds(folder / "link-to-missing"));
    batch.Complete();
    EXPECT_EQ(ReadAll(folder / "link-to-link"), "new");
    EXPECT_EQ(ReadAll(folder / "sub" / "up-to-new"), "new");
}

}  // namespace
}  // namespace vlt
