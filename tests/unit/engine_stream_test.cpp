#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "cipher/engine.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_oracle.h"

namespace vlt {
namespace {

// A pipe-like source: every read returns a few bytes at most, so the blocks
// end anywhere inside a triple and inside the held-back file end.
class TricklingSource final : public ByteSource {
  public:
    TricklingSource(std::string data, std::size_t most) : data_(std::move(data)), most_(most) {}
    std::size_t Read(std::span<std::uint8_t> buffer) override {
        const std::size_t n =
            std::min({buffer.size(), data_.size() - position_, 1 + rng_() % most_});
        std::copy_n(data_.data() + position_, n, buffer.data());
        position_ += n;
        return n;
    }
    std::optional<std::uint64_t> Size() const override { return std::nullopt; }
    const std::string& Name() const override { return name_; }

  private:
    std::string data_;
    std::size_t most_;
    std::size_t position_ = 0;
    std::mt19937 rng_{7};
    std::string name_ = "pipe";
};

class CollectingSink final : public ByteSink {
  public:
    void Write(std::span<const std::uint8_t> data) override {
        content.append(data.begin(), data.end());
    }
    void Commit() override { committed = true; }
    const std::string& Name() const override { return name_; }
    std::string content;
    bool committed = false;

  private:
    std::string name_ = "collector";
};

PrimaryKey Key(std::string text) {
    return PrimaryKey{std::move(text), 1252};
}

TEST(EngineStreams, ShortReadsGiveTheSameBytesBothWays) {
    for (const std::size_t size : {0u, 1u, 2u, 1000u, 300000u}) {
        const std::string plain = testing_support::RandomBytes(size, static_cast<unsigned>(size));
        const std::vector<std::uint8_t> expected = oracle::EncryptAsText(plain, "key");
        for (const std::size_t most : {1u, 2u, 5u, 70000u}) {
            TricklingSource source(plain, most);
            CollectingSink encrypted;
            ASSERT_EQ(Encrypt(source, encrypted, Key("key")).status, RunStatus::Finished);
            ASSERT_TRUE(encrypted.committed);
            ASSERT_EQ(encrypted.content, std::string(expected.begin(), expected.end()))
                << size << " bytes, reads of at most " << most;

            TricklingSource cipher(encrypted.content, most);
            CollectingSink decrypted;
            const RunResult result = Decrypt(cipher, decrypted, Key("key"));
            ASSERT_EQ(result.status, RunStatus::Finished) << result.message;
            EXPECT_EQ(result.plainBytes, size);
            ASSERT_EQ(decrypted.content, plain) << size << " bytes, reads of at most " << most;
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
        {bad, "key", RunStatus::Failed, "byte at offset 4321 is 10"},
        {std::string(file.begin(), file.end() - 1), "key", RunStatus::Failed,
         "length of 15003 bytes"},
        {std::string(file.begin(), file.end() - 1) + "\x01", "key", RunStatus::Failed,
         "last byte is 1"},
        {std::string(file.begin(), file.end()), "other", RunStatus::WrongKey, "primary key"},
    };
    for (const auto& c : cases) {
        TricklingSource source(c.content, 3);
        CollectingSink sink;
        const RunResult result = Decrypt(source, sink, Key(c.key));
        EXPECT_EQ(result.status, c.status) << c.says;
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_FALSE(sink.committed) << c.says;
    }
}

}  // namespace
}  // namespace vlt
