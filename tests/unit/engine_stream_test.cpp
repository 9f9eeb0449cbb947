#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cipher/engine.h"
#include "tests/support/memory_files.h"
#include "tests/support/random_bytes.h"
#include "tests/support/text_oracle.h"

namespace vlt {
namespace {

using testing_support::MemorySink;
using testing_support::MemorySource;
using testing_support::ReadShape;

PrimaryKey Key(std::string text) {
    return PrimaryKey{std::move(text), 1252};
}

// Every read returns a few bytes at most, so the blocks end anywhere inside a
// triple and inside the held-back file end.
TEST(EngineStreams, ShortReadsGiveTheSameBytesBothWays) {
    for (const std::size_t size : {0u, 1u, 2u, 1000u, 300000u}) {
        const std::string plain = testing_support::RandomBytes(size, static_cast<unsigned>(size));
        const std::vector<std::uint8_t> expected = oracle::EncryptAsText(plain, "key");
        for (const std::size_t most : {1u, 2u, 5u, 70000u}) {
            MemorySource source(plain, ReadShape::Pipe(most));
            MemorySink encrypted;
            ASSERT_EQ(Encrypt(source, encrypted, Key("key")).status, RunStatus::Finished);
            ASSERT_TRUE(encrypted.Committed());
            ASSERT_EQ(encrypted.bytes, expected) << size << " bytes, reads of at most " << most;

            MemorySource cipher(encrypted.bytes, ReadShape::Pipe(most));
            MemorySink decrypted;
            const RunResult result = Decrypt(cipher, decrypted, Key("key"));
            ASSERT_EQ(result.status, RunStatus::Finished) << result.message;
            ASSERT_TRUE(decrypted.Committed());
            EXPECT_EQ(result.plainBytes, size);
            ASSERT_EQ(decrypted.Text(), plain) << size << " bytes, reads of at most " << most;
        }
    }
}

TEST(EngineStreams, ShortReadsStillFindBadFilesAndWrongKeys) {
    const std::string plain = testing_support::RandomBytes(5000, 3);
    const std::vector<std::uint8_t> file = oracle::EncryptAsText(plain, "key");
    std::string bad(file.begin(), file.end());
    bad[4321] = 10;
    const struct {
        std::string content, key;
        RunStatus status;
        std::string says;
    } cases[] = {
        {bad, "key", RunStatus::Failed, "byte 4,321 is not a digit but 10"},
        {std::string(file.begin(), file.end() - 1), "key", RunStatus::Failed,
         "cut short: 15,003 bytes"},
        {std::string(file.begin(), file.end() - 1) + "\x01", "key", RunStatus::Failed,
         "last byte is 1"},
        {std::string(file.begin(), file.end()), "other", RunStatus::WrongKey, "primary key"},
    };
    for (const auto& c : cases) {
        MemorySource source(c.content, ReadShape::Pipe(3));
        MemorySink sink;
        const RunResult result = Decrypt(source, sink, Key(c.key));
        EXPECT_EQ(result.status, c.status) << c.says;
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_FALSE(sink.Committed()) << c.says;
        EXPECT_FALSE(sink.Misused()) << c.says;
    }
}

}  // namespace
}  // namespace vlt
