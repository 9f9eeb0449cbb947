// What only Windows has: files that other programs hold open with a say in
// whether they may be renamed over.

#include <gtest/gtest.h>
#include <windows.h>
// windows.h names its own file encryption so; the engine's is meant here.
#undef EncryptFile

#include <string>

#include "tests/unit/engine_test.h"

namespace vlt {
namespace {

using testing_support::ReadAll;
using testing_support::WriteAll;

// Another program's handle on the output: the output replaces the file when
// that program lets others delete it, and the holder goes on reading the old
// content; otherwise the run fails naming the file and the old one stays.
TEST_F(EngineTest, AnOutputHeldOpenIsReplacedOnlyWhereItsHolderAllows) {
    const std::string previous = "previous content";
    const struct {
        DWORD share;
        RunStatus status;
    } cases[] = {
        {FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, RunStatus::Finished},
        {FILE_SHARE_READ | FILE_SHARE_WRITE, RunStatus::Failed},
    };
    WriteAll(plain, "data");
    for (const auto& c : cases) {
        WriteAll(encrypted, previous);
        const HANDLE held = ::CreateFileW(encrypted.c_str(), GENERIC_READ, c.share, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const RunResult result = EncryptFile(plain, Replacing(encrypted), Key("k"));
        std::string seen(previous.size() + 1, '\0');
        DWORD n = 0;
        EXPECT_TRUE(::ReadFile(held, seen.data(), static_cast<DWORD>(seen.size()), &n, nullptr));
        ::CloseHandle(held);
        EXPECT_EQ(seen.substr(0, n), previous);

        EXPECT_EQ(result.status, c.status) << result.message;
        const bool replaced = c.status == RunStatus::Finished;
        EXPECT_EQ(ReadAll(encrypted),
                  replaced ? AsString(oracle::EncryptAsText("data", "k")) : previous);
        if (!replaced) {
            EXPECT_NE(result.message.find("plain.bin.vlt: cannot put the output in place: "),
                      std::string::npos)
                << result.message;
        }
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"plain.bin", "plain.bin.vlt"}));
    }
}

}  // namespace
}  // namespace vlt
