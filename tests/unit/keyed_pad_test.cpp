
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/support/digit_text.h"
#include "tests/support/keyed_pad_stream.h"

namespace vlt {
namespace {

std::string RandomKeyDigits(std::size_t length, unsigned seed) {
    std::mt19937 rng(seed);
    std::string digits(length, '0');
    for (char& c : digits) {
        c = static_cast<char>('0' + rng() % 10);
    }
    return digits;
}

// The original's loop, one digit at a time, with its 16-bit key index.
std::string NaiveKeyedPad(const std::string& pad, const std::string& keyDigits) {
    std::string keyed;
    std::int32_t index = 1;
    const std::int32_t k = static_cast<std::int32_t>(keyDigits.size());
    for (const char p : pad) {
        const int key = k == 0 || keyDigits[index - 1] == '-' ? 0 : keyDigits[index - 1] - '0';
        keyed += static_cast<char>('0' + (p - '0' + key) % 10);
        if (index < 32767) {
            ++index;
            if (index > k) {
                index = 1;
            }
        }
    }
    return keyed;
}

std::string Digits(KeyedPad& stream, std::size_t n) {
    std::vector<Digit> values(n);
    stream.Next(values.data(), n);
    std::string text;
    for (const Digit d : values) {
        text += static_cast<char>('0' + d);
    }
    return text;
}

TEST(KeyedPad, WholeTextMatchesTheOriginalLoopAtTheIndexLimits) {
    const std::string pad = MakePad(120000);
    for (const std::size_t k : {0u, 1u, 2u, 3u, 7u, 32766u, 32767u, 32768u, 40000u}) {
        const std::string key = RandomKeyDigits(k, static_cast<unsigned>(k));
        EXPECT_EQ(MakeKeyedPad(pad, key), NaiveKeyedPad(pad, key)) << "K = " << k;
    }
}

TEST(KeyedPad, KeyOf32767DigitsKeysEveryLaterDigitWithTheLastOne) {
    std::string key = RandomKeyDigits(32767, 1);
    key.back() = '7';
    const std::string zeros(40000, '0');
    const std::string keyed = MakeKeyedPad(zeros, key);
    EXPECT_EQ(keyed.substr(0, 32767), key);
    EXPECT_EQ(keyed.substr(32767), std::string(40000 - 32767, '7'));
}

TEST(KeyedPad, StreamInChunksEqualsWholeText) {
    const std::size_t total = 3 * 70000 + 5;
    const std::string pad = MakePad(total);
    for (const std::size_t k : {1u, 6u, 4097u, 32767u, 50000u}) {
        const std::string key = RandomKeyDigits(k, 7);
        const std::string expected = MakeKeyedPad(pad, key);
        for (const std::size_t chunk : {1u, 2u, 4u, 5u, 4096u, 4097u, 65537u}) {
            KeyedPad stream(KeyDigitValues(key));
            std::string got;
            while (got.size() < total) {
                got += Digits(stream, std::min(chunk, total - got.size()));
            }
            ASSERT_EQ(got, expected.substr(0, total)) << "K = " << k << ", chunk " << chunk;
        }
    }
}

TEST(KeyedPad, SeekReachesAnyPositionDirectly) {
    const std::string key = RandomKeyDigits(13, 3);
    const std::string expected = MakeKeyedPad(MakePad(30000), key);
    KeyedPad stream(KeyDigitValues(key));
    for (const std::uint64_t at : {29999ull, 0ull, 1ull, 2ull, 3ull, 1000ull, 12345ull, 29000ull}) {
        stream.Seek(at);
        const std::size_t n = std::min<std::size_t>(1000, 30000 - at);
        EXPECT_EQ(Digits(stream, n), expected.substr(at, n)) << at;
    }
}

TEST(KeyedPad, PadWrapsAfterTheGeneratorsPeriod) {
    const std::uint64_t period = 3ull << 24;
    PadDigits start(0), wrapped(period), far(1000 * period + 7);
    std::vector<Digit> a(64), b(64), c(64);
    start.Next(a.data(), a.size());
    wrapped.Next(b.data(), b.size());
    far.Next(c.data(), c.size());
    EXPECT_EQ(a, b);
    EXPECT_TRUE(std::equal(a.begin() + 7, a.end(), c.begin()));
}

}  // namespace
}  // namespace vlt
