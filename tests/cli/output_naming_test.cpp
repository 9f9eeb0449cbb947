#include "cli/output_naming.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "cipher/vlt_format.h"
#include "tests/support/temp_folder.h"

namespace vlt::cli {
namespace {

namespace fs = std::filesystem;

TEST(OutputNaming, EncryptionAppendsToTheWholeName) {
    EXPECT_EQ(EncryptedName("report.doc"), "report.doc.vlt");
    EXPECT_EQ(EncryptedName("dir/a.vlt"), "dir/a.vlt.vlt");
    EXPECT_EQ(EncryptedName("noext"), "noext.vlt");
}

TEST(OutputNaming, DecryptionDropsTheVltEndingOnly) {
    const struct {
        std::string input;
        std::optional<std::string> output;
    } cases[] = {
        {"report.doc.vlt", "report.doc"},
        {"dir/a.bin.vlt", "dir/a.bin"},
        {"A.VLT", "A"},  // names from Windows keep their capitals
        {"x.Vlt", "x"},
        {"a.vlt.vlt", "a.vlt"},
        {"notes.txt", std::nullopt},
        {"archive.vltx", std::nullopt},
        {"vlt", std::nullopt},
        {".vlt", std::nullopt},  // nothing would be left
        {"dir/.vlt", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithoutVltEnding(c.input), c.output) << c.input;
    }
}

class OutputRefusalTest : public testing::Test {
  protected:
    void SetUp() override {
        testing_support::WriteAll(folder_ / "file", "x");
        fs::create_directory(folder_ / "folder");
    }
    std::string At(const char* name) const { return (folder_ / name).string(); }

    testing_support::TempFolder folder_;
};

TEST_F(OutputRefusalTest, ReplacesFilesOnlyWithForce) {
    const struct {
        const char* name;
        bool refusedWithoutForce;
        bool refusedWithForce;
    } cases[] = {
        {"new", false, false},
        {"file", true, false},
        {"folder", true, true},
    };
    for (const auto& c : cases) {
        for (const bool named : {false, true}) {
            EXPECT_EQ(OutputRefusal(At(c.name), false, named).has_value(), c.refusedWithoutForce)
                << c.name;
            EXPECT_EQ(OutputRefusal(At(c.name), true, named).has_value(), c.refusedWithForce)
                << c.name;
        }
    }
}

TEST_F(OutputRefusalTest, AFolderIsRefusedWithWhatToNameInstead) {
    const struct {
        bool named;
        const char* refusal;
    } cases[] = {
        {true, "is a folder; -o takes a file name"},
        {false, "is a folder; name the output file with -o"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OutputRefusal(At("folder"), true, c.named), c.refusal) << c.named;
    }
}

}  // namespace
}  // namespace vlt::cli
