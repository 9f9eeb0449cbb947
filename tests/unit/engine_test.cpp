#include "cipher/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "platform/output_batch.h"
#include "platform/utf8.h"
#include "tests/support/memory_files.h"
#include "tests/unit/engine_test.h"

namespace vlt {
namespace {

using testing_support::MemorySource;
using testing_support::RandomBytes;
using testing_support::ReadAll;
using testing_support::WriteAll;

TEST_F(EngineTest, EncryptionMatchesTheWholeTextFormForAllSizesAndKeys) {
    std::string longKey;  // 11000 x "233": past the 16-bit key index
    for (int i = 0; i < 11000; ++i) {
        longKey += "\xC3\xA9";
    }
    const struct {
        std::size_t size;
        std::string key;
    } cases[] = {
        {0, "k"},
        {1, "A"},
        {2, "secret"},
        {3, " "},
        {kBlock - 1, "a"},
        {kBlock, "0123"},
        {kBlock + 1, "\xC3\xA9t\xC3\xA9"},
        {1000, std::string(10922, 'x')},
        {200000, std::string(10923, 'x')},
        {3 * kBlock + 17, longKey},
        {5, longKey},  // after a larger input under the same key
        {4 * kBlock, "a"},
        {4 * kBlock + 1, "a"},
        {kBlock + 2, "a"},
    };
    // Each case runs in memory of its own, then in memory shared with the
    // cases before it, as vlt shares it among its inputs: bytes of an earlier
    // input must never reach a later output.
    RunMemory shared;
    for (const auto& c : cases) {
        for (RunMemory* memory : {static_cast<RunMemory*>(nullptr), &shared}) {
            RunControl control;
            control.memory = memory;
            const std::string& key = c.key;
            const std::string data = RandomBytes(c.size, static_cast<unsigned>(c.size));
            WriteAll(plain, data);
            ASSERT_EQ(EncryptFile(plain, Replacing(encrypted), Key(key), control).status,
                      RunStatus::Finished);
            EXPECT_EQ(ReadAll(encrypted), AsString(oracle::EncryptAsText(data, key)))
                << c.size << " bytes, key of " << key.size() << (memory ? ", shared" : "");
            ASSERT_EQ(DecryptFile(encrypted, Replacing(decrypted), Key(key), control).status,
                      RunStatus::Finished);
            EXPECT_EQ(ReadAll(decrypted), data) << c.size << " bytes";
            const PrimaryKey checked = Key(key);
            EXPECT_EQ(CheckFile(encrypted, &checked, control).plainBytes, c.size);
        }
    }
}

TEST_F(EngineTest, RoundTripsAcrossKeysAndCodePages) {
    const struct {
        std::string key;
        CodePage codePage;
    } keys[] = {{"   ", 1252},
                {"\xC4\x8D\xC5\xA1", 1250},
                {"\xE3\x81\x82\xE3\x81\x84", 932},
                {"\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87", 1251},
                {std::string(40000, 'k'), 1252}};
    const std::string data = RandomBytes(3 * kBlock / 2, 99);
    WriteAll(plain, data);
    for (const auto& k : keys) {
        const PrimaryKey key{k.key, k.codePage};
        ASSERT_EQ(EncryptFile(plain, Replacing(encrypted), key).status, RunStatus::Finished);
        ASSERT_EQ(DecryptFile(encrypted, Replacing(decrypted), key).status, RunStatus::Finished);
        EXPECT_EQ(ReadAll(decrypted), data) << k.codePage;
        // The original's decryption of the same file, for byte compatibility both ways.
        const std::string file = ReadAll(encrypted);
        EXPECT_EQ(oracle::DecryptAsText({file.begin(), file.end()}, k.key, k.codePage)
                      .substr(0, data.size()),
                  data);
    }
}

TEST_F(EngineTest, EveryRunStartsTheGeneratorAfresh) {
    WriteAll(plain, "same input");
    std::string first;
    for (int run = 0; run < 3; ++run) {
        ASSERT_EQ(EncryptFile(plain, Replacing(encrypted), Key("k")).status, RunStatus::Finished);
        if (run == 0) {
            first = ReadAll(encrypted);
        }
        EXPECT_EQ(ReadAll(encrypted), first);
    }
}

TEST_F(EngineTest, EmptyInputGivesTheFourByteFileAndBack) {
    WriteAll(plain, "");
    ASSERT_EQ(EncryptFile(plain, Replacing(encrypted), Key("k")).status, RunStatus::Finished);
    EXPECT_EQ(ReadAll(encrypted), std::string("\x02\x08\x07\x00", 4));
    ASSERT_EQ(DecryptFile(encrypted, Replacing(decrypted), Key("k")).status, RunStatus::Finished);
    EXPECT_TRUE(std::filesystem::exists(decrypted));
    EXPECT_EQ(ReadAll(decrypted), "");
}

// Outputs of several writeback windows (8 MiB) are written back while they
// are written; the file must still come out whole.
TEST_F(EngineTest, LargeFilesRoundTripWhileWrittenBack) {
    const std::string data = RandomBytes(7 << 20, 7);
    WriteAll(plain, data);
    ASSERT_EQ(EncryptFile(plain, Replacing(encrypted), Key("key")).status, RunStatus::Finished);
    EXPECT_EQ(std::filesystem::file_size(encrypted), 3 * data.size() + 4);
    ASSERT_EQ(DecryptFile(encrypted, Replacing(decrypted), Key("key")).status, RunStatus::Finished);
    EXPECT_TRUE(ReadAll(decrypted) == data);
}

TEST_F(EngineTest, FailuresNameTheFileAndLeaveNothingBehind) {
    WriteAll(plain, "data");
    std::filesystem::create_directory(folder / "dir");
    const struct {
        std::filesystem::path input, output;
        std::string says;
    } cases[] = {
        {folder / "missing", folder / "out", "missing: cannot open for reading: "},
        {plain, folder / "no" / "out", "cannot create the output in folder"},
        {plain, folder / "dir", "dir: is a folder"},
        {folder / "dir", folder / "out", "dir: is a folder, not a file"},
        {plain, "", "no output file name given"},
        {"", folder / "out", "no input file name given"},
    };
    for (const auto& c : cases) {
        for (const bool encrypt : {true, false}) {
            const RunResult result = encrypt ? EncryptFile(c.input, {c.output}, Key("k"))
                                             : DecryptFile(c.input, {c.output}, Key("k"));
            EXPECT_EQ(result.status, RunStatus::Failed) << c.says;
            EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
            EXPECT_EQ(folder.Names(), (std::vector<std::string>{"dir", "plain.bin"}));
        }
    }
}

TEST_F(EngineTest, OutputEqualToInputWorksBothWays) {
    const std::string data = RandomBytes(kBlock + 5, 4);
    WriteAll(plain, data);
    const RunResult encrypted = EncryptFile(plain, Replacing(plain), Key("k"));
    ASSERT_EQ(encrypted.status, RunStatus::Finished) << encrypted.message;
    EXPECT_EQ(ReadAll(plain), AsString(oracle::EncryptAsText(data, "k")));
    const RunResult decrypted = DecryptFile(plain, Replacing(plain), Key("k"));
    ASSERT_EQ(decrypted.status, RunStatus::Finished) << decrypted.message;
    EXPECT_EQ(ReadAll(plain), data);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"plain.bin"}));
}

// The temporary file beside an output whose name is near the longest a folder
// takes (255 bytes on Linux, 255 UTF-16 units on NTFS) still fits, whatever
// the characters' sizes.
TEST_F(EngineTest, OutputsWithTheLongestNamesAreWritten) {
    const auto repeated = [](const std::string& piece, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) {
            text += piece;
        }
        return text;
    };
    const std::string names[] = {
        repeated("a", 243),                // one byte, one unit
        repeated("\xC3\xBC", 121),         // ü: two bytes, one unit
        repeated("\xE6\x97\xA5", 81),      // 日: three bytes, one unit
        repeated("\xF0\x9F\x98\x80", 60),  // 😀: four bytes, two units
    };
    WriteAll(plain, "data");
    for (const std::string& name : names) {
        const std::filesystem::path output = folder.path() / PathFromUtf8(name + ".bin.vlt");
        const RunResult result = EncryptFile(plain, {output}, Key("k"));
        EXPECT_EQ(result.status, RunStatus::Finished) << result.message;
        EXPECT_EQ(ReadAll(output), AsString(oracle::EncryptAsText("data", "k"))) << name;
        std::vector<std::string> expected = {name + ".bin.vlt", "plain.bin"};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(folder.Names(), expected);
        std::filesystem::remove(output);
    }
}

// A read-only file in the way is still a file in the way: replaced with leave
// (a rename asks only the folder's), kept without it.
TEST_F(EngineTest, AReadOnlyOutputIsReplacedOnlyWithLeave) {
    namespace fs = std::filesystem;
    WriteAll(plain, "data");
    for (const bool replace : {false, true}) {
        WriteAll(encrypted, "previous content");
        fs::permissions(encrypted,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        const RunResult result =
            EncryptFile(plain, {.path = encrypted, .mayReplace = replace}, Key("k"));
        EXPECT_EQ(result.status, replace ? RunStatus::Finished : RunStatus::OutputExists)
            << result.message;
        EXPECT_EQ(ReadAll(encrypted),
                  replace ? AsString(oracle::EncryptAsText("data", "k")) : "previous content");
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"plain.bin", "plain.bin.vlt"}));
        fs::permissions(encrypted, fs::perms::owner_write, fs::perm_options::add);
    }
}

TEST_F(EngineTest, CancelMidwayLeavesNoOutputAndKeepsAnOldOne) {
    WriteAll(plain, RandomBytes(64 * kBlock, 5));
    WriteAll(encrypted, "previous content");
    CancelSignal cancel;
    RunControl control;
    control.cancel = &cancel;
    control.progress = [&](const Progress& p) {
        if (p.done > 0) {
            cancel.Request();
        }
    };
    const RunResult result = EncryptFile(plain, Replacing(encrypted), Key("k"), control);
    EXPECT_EQ(result.status, RunStatus::Cancelled);
    EXPECT_EQ(ReadAll(encrypted), "previous content");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"plain.bin", "plain.bin.vlt"}));
}

// A regular file that another program shortens or lengthens while it is read
// fails the run: its output would match neither version.
TEST_F(EngineTest, AnInputThatChangesWhileReadFailsAndWritesNothing) {
    const std::string data = RandomBytes(32 * kBlock, 12);
    const std::string encryptedData = AsString(oracle::EncryptAsText(data, "k"));
    for (const bool encrypt : {true, false}) {
        for (const std::uintmax_t change : {std::uintmax_t{200000}, std::uintmax_t{2000000}}) {
            WriteAll(plain, encrypt ? data : encryptedData);
            const std::uintmax_t size = encrypt ? change : 3 * change + 4;
            int calls = 0;
            RunControl control;
            // The second report comes once some of the input has been read.
            control.progress = [&](const Progress&) {
                if (++calls == 2) {
                    std::filesystem::resize_file(plain, size);
                }
            };
            const RunResult result = encrypt ? EncryptFile(plain, {decrypted}, Key("k"), control)
                                             : DecryptFile(plain, {decrypted}, Key("k"), control);
            EXPECT_EQ(result.status, RunStatus::Failed) << encrypt << " " << change;
            EXPECT_EQ(result.message, plain.string() + ": changed while it was read");
            EXPECT_EQ(folder.Names(), std::vector<std::string>{"plain.bin"});
        }
    }
}

TEST_F(EngineTest, RefusesFilesThatAreNotEncrypted) {
    const struct {
        std::string content;
        std::string says;
    } cases[] = {
        {"", "it is empty"},
        {std::string("\x01\x02\x03\x04\x05", 5), "cut short: 5 bytes"},
        {std::string("\x01\x02\x0A\x00", 4), "byte 2 is not a digit but 10"},
        {std::string("\x01\x02\x03\x04", 4), "last byte is 4"},
        {"plain text!!!!!!", "byte 0 is not a digit but 112"},
    };
    for (const auto& c : cases) {
        WriteAll(encrypted, c.content);
        const RunResult result = DecryptFile(encrypted, Replacing(decrypted), Key("k"));
        EXPECT_EQ(result.status, RunStatus::Failed) << c.says;
        EXPECT_NE(result.message.find("not a Veltrimax encrypted file"), std::string::npos);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_FALSE(std::filesystem::exists(decrypted));
        EXPECT_EQ(CheckFile(encrypted, nullptr).status, RunStatus::Failed);
    }
}

TEST_F(EngineTest, WrongKeyIsRefusedUnlessAskedToWriteAnyway) {
    const std::string data = RandomBytes(5000, 6);
    WriteAll(plain, data);
    ASSERT_EQ(EncryptFile(plain, {encrypted}, Key("right")).status, RunStatus::Finished);

    RunResult refused = DecryptFile(encrypted, {decrypted}, Key("wrong"));
    EXPECT_EQ(refused.status, RunStatus::WrongKey);
    EXPECT_NE(refused.message.find("primary key is wrong or the file is damaged"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(decrypted));

    const RunResult forced =
        DecryptFile(encrypted, {decrypted}, Key("wrong"), {}, {.writeOnWrongKey = true});
    EXPECT_EQ(forced.status, RunStatus::Finished);
    EXPECT_GT(forced.file.triplesAboveRange, 0u);
    const std::string file = ReadAll(encrypted);
    EXPECT_EQ(ReadAll(decrypted),
              oracle::DecryptAsText({file.begin(), file.end()}, "wrong").substr(0, data.size()));

    const PrimaryKey right = Key("right"), wrong = Key("wrong");
    EXPECT_EQ(CheckFile(encrypted, &right).status, RunStatus::Finished);
    EXPECT_EQ(CheckFile(encrypted, &right).plainBytes, data.size());
    EXPECT_EQ(CheckFile(encrypted, &wrong).status, RunStatus::WrongKey);
    EXPECT_EQ(CheckFile(encrypted, nullptr).status, RunStatus::Finished);
}

TEST_F(EngineTest, ReadErrorMidwayFailsAndLeavesNoOutput) {
    WriteAll(encrypted, "old");
    for (const bool encrypt : {true, false}) {
        const std::string data = encrypt
                                     ? RandomBytes(3 * kBlock, 7)
                                     : AsString(oracle::EncryptAsText(RandomBytes(kBlock, 7), "k"));
        MemorySource source(data, testing_support::ReadShape::FailingAt(data.size() / 2),
                            "bad-disk.bin");
        RunResult result;
        {
            OutputSink sink(encrypted, {});
            result = encrypt ? Encrypt(source, sink, Key("k")) : Decrypt(source, sink, Key("k"));
        }
        EXPECT_EQ(result.status, RunStatus::Failed);
        EXPECT_EQ(result.message, "bad-disk.bin: cannot read: Input/output error");
        EXPECT_EQ(ReadAll(encrypted), "old");
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"plain.bin.vlt"}));
    }
}

TEST_F(EngineTest, ProgressClimbsOnceFromZeroToAll) {
    WriteAll(plain, RandomBytes(40 * kBlock + 3, 8));
    std::vector<Progress> seen;
    RunControl control;
    control.progress = [&](const Progress& p) { seen.push_back(p); };
    ASSERT_EQ(EncryptFile(plain, {encrypted}, Key("k"), control).status, RunStatus::Finished);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front().done, 0u);
    EXPECT_EQ(seen.back().done, seen.back().total);
    EXPECT_EQ(seen.back().total, 40 * kBlock + 3);
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i].done, seen[i - 1].done);
        EXPECT_LE(seen[i].Percent(), 100);
    }
    EXPECT_LE(seen.size(), 2u + 41u);  // bounded: not per byte
}

TEST_F(EngineTest, TwoRunsInTwoThreadsDoNotDisturbEachOther) {
    const std::string a = RandomBytes(2 * kBlock + 1, 10), b = RandomBytes(kBlock + 7, 11);
    WriteAll(folder / "a", a);
    WriteAll(folder / "b", b);
    for (int round = 0; round < 3; ++round) {
        std::thread first([&] { EncryptFile(folder / "a", {folder / "a.vlt"}, Key("one")); });
        std::thread second([&] { EncryptFile(folder / "b", {folder / "b.vlt"}, Key("two")); });
        first.join();
        second.join();
        EXPECT_EQ(ReadAll(folder / "a.vlt"), AsString(oracle::EncryptAsText(a, "one")));
        EXPECT_EQ(ReadAll(folder / "b.vlt"), AsString(oracle::EncryptAsText(b, "two")));
    }
}

}  // namespace
}  // namespace vlt
