#include "platform/output_batch.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace vlt {
namespace {

using testing_support::ReadAll;
using testing_support::TempFolder;
using testing_support::WriteAll;

// Three outputs over old ones, written into one batch.
class OutputBatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"a", "b", "c"}) {
            WriteAll(folder / name, std::string("old ") + name);
        }
    }

    void WriteAllThree(bool replace = true) {
        for (const char* name : {"a", "b", "c"}) {
            OutputSink file(folder / name, {.mayReplace = replace}, &batch);
            const std::string content = std::string("new ") + name;
            file.Write({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()});
            file.Commit();
        }
    }

    TempFolder folder;
    OutputBatch batch;
};

TEST_F(OutputBatchTest, OutputsChangeOnlyWhenTheBatchIsComplete) {
    WriteAllThree();
    EXPECT_EQ(ReadAll(folder / "b"), "old b");
    const auto failures = batch.Complete();
    ASSERT_EQ(failures.size(), 3u);
    for (const auto& failure : failures) {
        EXPECT_FALSE(failure) << failure->what();
    }
    for (const char* name : {"a", "b", "c"}) {
        EXPECT_EQ(ReadAll(folder / name), std::string("new ") + name);
    }
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(batch.size(), 0u);
}

// The middle output cannot be put in place (its name became a folder): the
// others are, and nothing is left of its own.
TEST_F(OutputBatchTest, AFailureMidwayTouchesNoOtherOutput) {
    WriteAllThree();
    std::filesystem::remove(folder / "b");
    std::filesystem::create_directories(folder / "b" / "kept");
    const auto failures = batch.Complete();
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_FALSE(failures[0]);
    ASSERT_TRUE(failures[1]);
    EXPECT_EQ(failures[1]->Problem(), "cannot put the output in place");
    EXPECT_FALSE(failures[1]->Reason().empty());
    EXPECT_EQ(std::string(failures[1]->what()).rfind((folder / "b").string() + ": ", 0), 0u)
        << failures[1]->what();
    EXPECT_FALSE(failures[2]);
    EXPECT_EQ(ReadAll(folder / "a"), "new a");
    EXPECT_EQ(ReadAll(folder / "c"), "new c");
    EXPECT_TRUE(std::filesystem::exists(folder / "b" / "kept"));
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a", "b", "c"}));
}

// Without leave to replace, the rename itself refuses a file that appeared
// while the output waited, whatever it is; the others go where nothing was.
TEST_F(OutputBatchTest, WithoutReplaceWhatAppearedMeanwhileIsKept) {
    for (const char* name : {"a", "b", "c"}) {
        std::filesystem::remove(folder / name);
    }
    WriteAllThree(false);
    WriteAll(folder / "a", "theirs");
    std::filesystem::create_directories(folder / "c" / "kept");
    const auto failures = batch.Complete();
    ASSERT_EQ(failures.size(), 3u);
    for (const std::size_t i : {0, 2}) {
        ASSERT_TRUE(failures[i]);
        EXPECT_TRUE(failures[i]->AlreadyExists()) << failures[i]->what();
    }
    EXPECT_STREQ(failures[0]->what(), ((folder / "a").string() + ": already exists").c_str());
    EXPECT_FALSE(failures[1]);
    EXPECT_EQ(ReadAll(folder / "a"), "theirs");
    EXPECT_EQ(ReadAll(folder / "b"), "new b");
    EXPECT_TRUE(std::filesystem::exists(folder / "c" / "kept"));
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a", "b", "c"}));
}

// An output alone refused its place for a file that appeared at its name:
// kept only when asked for, then put over that file or dropped, and never
// leaving its temporary file behind.
TEST(OutputSink, ARefusedOutputIsKeptOnlyWhenAskedFor) {
    enum class Then { NotKept, Replaced, Discarded, Dropped };
    for (const Then then : {Then::NotKept, Then::Replaced, Then::Discarded, Then::Dropped}) {
        SCOPED_TRACE(static_cast<int>(then));
        TempFolder folder;
        const std::string content = "new";
        OutputSink sink(folder / "out", {}, nullptr, then != Then::NotKept);
        sink.Write({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()});
        WriteAll(folder / "out", "theirs");
        try {
            sink.Commit();
            ADD_FAILURE() << "put in place over a file that appeared";
        } catch (const FileError& error) {
            EXPECT_TRUE(error.AlreadyExists()) << error.what();
        }
        std::optional<RefusedOutput> refused = sink.TakeRefused();
        EXPECT_EQ(sink.Discard(), "");
        ASSERT_EQ(refused.has_value(), then != Then::NotKept);
        EXPECT_EQ(folder.Names().size(), then == Then::NotKept ? 1U : 2U);
        if (then == Then::Replaced) {
            EXPECT_EQ(refused->Replace(), "");
        } else if (then == Then::Discarded) {
            EXPECT_EQ(refused->Discard(), "");
        }
        refused.reset();
        EXPECT_EQ(ReadAll(folder / "out"), then == Then::Replaced ? content : "theirs");
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"out"});
    }
}

// The engine asks before reading an input whether a waiting output will
// replace it: however the input is named, until the batch is complete.
TEST_F(OutputBatchTest, HoldsEveryNameOfAWaitingOutput) {
    WriteAllThree();
    {
        OutputSink file(folder / "new", {}, &batch);  // nothing was at its name
        file.Commit();
    }
    std::filesystem::create_hard_link(folder / "c", folder / "hard-c");
    std::filesystem::create_directories(folder / "sub");
    WriteAll(folder / "d", "not an output");
    const struct {
        std::filesystem::path name;
        bool held;
    } cases[] = {
        {folder / "a", true},
        {folder / "none" / ".." / "b", true},
        {folder / "hard-c", true},
        {folder / "new", true},
        {folder / "." / "new", true},
        {folder / "sub" / ".." / "new", true},
        {folder / "sub" / "new", false},
        {folder / "d", false},
        {folder / "missing", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(batch.Holds(c.name), c.held) << c.name;
    }
    batch.Complete();
    EXPECT_FALSE(batch.Holds(folder / "a"));
}

TEST(OutputBatch, ABatchNeverCompletedLeavesTheOldOutputsAlone) {
    TempFolder folder;
    WriteAll(folder / "a", "old a");
    {
        OutputBatch batch;
        OutputSink file(folder / "a", {.mayReplace = true}, &batch);
        file.Write({reinterpret_cast<const std::uint8_t*>("new"), 3});
        file.Commit();
    }
    EXPECT_EQ(ReadAll(folder / "a"), "old a");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a"}));
}

}  // namespace
}  // namespace vlt
