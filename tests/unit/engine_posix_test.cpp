// What only POSIX systems have: devices by name, permission bits and the
// umask, symbolic links that anyone may make.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "tests/unit/engine_test.h"

namespace vlt {
namespace {

using testing_support::RandomBytes;
using testing_support::ReadAll;
using testing_support::WriteAll;

TEST_F(EngineTest, DiskFullIsAnError) {
    WriteAll(plain, RandomBytes(100000, 1));
    const RunResult result = EncryptFile(plain, {"/dev/full"}, Key("k"));
    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_NE(result.message.find("/dev/full: cannot write: No space left on device"),
              std::string::npos)
        << result.message;
}

TEST_F(EngineTest, DevicesAreWrittenDirectlyAndSurvive) {
    WriteAll(plain, "abc");
    EXPECT_EQ(EncryptFile(plain, {"/dev/null"}, Key("k")).status, RunStatus::Finished);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

// An output is never readable by more people than its input: it gets the
// input's read and write bits less the umask, whatever the file it replaces had.
TEST_F(EngineTest, OutputsTakeTheInputsPermissionsLessTheUmask) {
    const mode_t umask = ::umask(022);
    const struct {
        mode_t input;
        std::optional<mode_t> existing;
        mode_t expected;
    } cases[] = {
        {0600, std::nullopt, 0600}, {0666, std::nullopt, 0644}, {0755, std::nullopt, 0644},
        {0640, 0666, 0640},         {0644, 0600, 0644},
    };
    for (const auto& c : cases) {
        WriteAll(plain, "short");
        ::chmod(plain.c_str(), c.input);
        std::filesystem::remove(encrypted);
        std::filesystem::remove(decrypted);
        if (c.existing) {
            WriteAll(encrypted, std::string(10000, 'x'));
            ::chmod(encrypted.c_str(), *c.existing);
        }
        ASSERT_EQ(EncryptFile(plain, Replacing(encrypted), Key("k")).status, RunStatus::Finished);
        EXPECT_EQ(ReadAll(encrypted).size(), 3 * 5 + 4u);
        ASSERT_EQ(DecryptFile(encrypted, {decrypted}, Key("k")).status, RunStatus::Finished);
        for (const auto& output : {encrypted, decrypted}) {
            struct stat st {};
            ASSERT_EQ(::stat(output.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, c.expected) << output << " from " << std::oct << c.input;
        }
    }
    ::umask(umask);
    EXPECT_EQ(folder.Names(),
              (std::vector<std::string>{"plain.bin", "plain.bin.vlt", "plain.out"}));
}

TEST_F(EngineTest, OutputLinkIsWrittenThroughToItsTarget) {
    WriteAll(plain, "through the link");
    const std::filesystem::path target = folder / "target.vlt", link = folder / "link.vlt";
    WriteAll(target, "old");
    std::filesystem::create_symlink("target.vlt", link);
    ASSERT_EQ(EncryptFile(plain, Replacing(link), Key("k")).status, RunStatus::Finished);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadAll(target), AsString(oracle::EncryptAsText("through the link", "k")));
}

}  // namespace
}  // namespace vlt
