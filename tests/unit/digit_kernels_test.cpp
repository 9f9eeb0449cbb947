#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/digit_ops.h"
#include "cipher/triple_kernels.h"
#include "tests/support/digit_text.h"
#include "tests/support/random_bytes.h"

namespace vlt {

// Failure messages name the version of the kernels.
void PrintTo(const TripleKernels* kernels, std::ostream* os) {
    *os << kernels->name;
}

namespace {

constexpr std::uint8_t kCanary = 0xEE;

using testing_support::RandomValues;

// Sizes around the kernels' groups of 8 and 32 and their staged tails.
const std::size_t kSizes[] = {0,  1,  2,  7,  8,  9,  10, 11, 15, 16, 17,   18,  19,
                              31, 32, 33, 34, 63, 64, 65, 95, 96, 97, 4095, 4097};

TEST(DigitKernels, ModuloTenRulesForEveryPairOfDigits) {
    for (unsigned a = 0; a < 10; ++a) {
        for (unsigned b = 0; b < 10; ++b) {
            EXPECT_EQ(AddMod10<Digit>(a, b), (a + b) % 10) << a << "+" << b;
            EXPECT_EQ(SubMod10<Digit>(a, b), (a + 10 - b) % 10) << a << "-" << b;
        }
    }
}

TEST(DigitKernels, EveryByteBecomesItsThreeDigitForm) {
    std::vector<std::uint8_t> bytes(256);
    for (unsigned v = 0; v < 256; ++v) {
        bytes[v] = static_cast<std::uint8_t>(v);
    }
    std::vector<Digit> digits(3 * 256);
    BytesToDigits(bytes.data(), bytes.size(), digits.data());
    for (unsigned v = 0; v < 256; ++v) {
        const std::string form = std::to_string(1000 + v).substr(1);
        for (unsigned d = 0; d < 3; ++d) {
            ASSERT_EQ(digits[3 * v + d], form[d] - '0') << v;
        }
    }
}

// The run with VLT_KERNELS=baseline (the CTest test baseline_kernels) must
// really run the baseline versions, which a variable lost on its way to the
// program (as through an emulator) would quietly undo.
TEST(DigitKernels, BaselineAskedRunsNoAvx2Version) {
    const char* asked = std::getenv("VLT_KERNELS");
    if (asked == nullptr || std::string_view(asked) != "baseline") {
        GTEST_SKIP() << "only in the run with VLT_KERNELS=baseline";
    }
    EXPECT_FALSE(UseAvx2Kernels());
    const std::vector<const TripleKernels*> runnable = RunnableTripleKernels();
    EXPECT_EQ(std::string(runnable.front()->name), "portable");
    for (const TripleKernels* kernels : runnable) {
        EXPECT_NE(std::string(kernels->name), "avx2");
    }
}

// Each version of the triple kernels the processor can run goes through the
// same cases.
class TripleKernelsTest : public testing::TestWithParam<const TripleKernels*> {
  protected:
    void Encrypt(const std::uint8_t* data, const std::uint8_t* pad, const Digit* key, std::size_t n,
                 Digit* digits) const {
        GetParam()->encrypt(data, pad, key, n, digits);
    }
    TripleCheck Decrypt(const Digit* digits, const std::uint8_t* pad, const Digit* key,
                        std::size_t n, std::uint8_t* bytes) const {
        return GetParam()->decrypt(digits, pad, key, n, bytes);
    }
};

INSTANTIATE_TEST_SUITE_P(EachRunnableVersion, TripleKernelsTest,
                         testing::ValuesIn(RunnableTripleKernels()),
                         [](const testing::TestParamInfo<const TripleKernels*>& info) {
                             return std::string(info.param->name);
                         });

// The fused kernels against the digit-by-digit composition of the simple ones,
// writing nothing past their output.
TEST_P(TripleKernelsTest, FusedKernelsEqualTheSimpleOnesAtEverySize) {
    for (const std::size_t n : kSizes) {
        const std::vector<std::uint8_t> data = RandomValues(n, 1), pad = RandomValues(n, 2);
        const std::vector<Digit> key = RandomValues(3 * n, 3, 10);
        std::vector<Digit> dataDigits(3 * n), padDigits(3 * n), expected(3 * n);
        BytesToDigits(data.data(), n, dataDigits.data());
        BytesToDigits(pad.data(), n, padDigits.data());
        AddDigitBlocks(dataDigits.data(), padDigits.data(), expected.data(), 3 * n);
        AddDigitBlocks(expected.data(), key.data(), expected.data(), 3 * n);

        std::vector<Digit> cipher(3 * n + 32, kCanary);
        Encrypt(data.data(), pad.data(), key.data(), n, cipher.data());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), cipher.begin())) << n;
        EXPECT_EQ(std::count(cipher.begin() + 3 * n, cipher.end(), kCanary), 32) << n;

        std::vector<std::uint8_t> back(n + 32, kCanary);
        const TripleCheck check = Decrypt(cipher.data(), pad.data(), key.data(), n, back.data());
        EXPECT_EQ(check.aboveRange, 0u) << n;
        EXPECT_TRUE(check.allDigits) << n;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin())) << n;
        EXPECT_EQ(std::count(back.begin() + n, back.end(), kCanary), 32) << n;
    }
}

TEST_P(TripleKernelsTest, TriplesAboveRangeAreCountedAndKeptModulo256) {
    for (const std::size_t n : kSizes) {
        const std::vector<Digit> digits = RandomValues(3 * n, 3, 10),
                                 key = RandomValues(3 * n, 4, 10);
        const std::vector<std::uint8_t> pad = RandomValues(n, 5);
        std::vector<Digit> padDigits(3 * n), plainDigits(3 * n);
        BytesToDigits(pad.data(), n, padDigits.data());
        SubDigitBlocks(digits.data(), key.data(), plainDigits.data(), 3 * n);
        SubDigitBlocks(plainDigits.data(), padDigits.data(), plainDigits.data(), 3 * n);
        std::size_t above = 0;
        std::vector<std::uint8_t> expected(n);
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned v =
                plainDigits[3 * i] * 100u + plainDigits[3 * i + 1] * 10u + plainDigits[3 * i + 2];
            above += v > 255;
            expected[i] = static_cast<std::uint8_t>(v % 256);
        }
        std::vector<std::uint8_t> bytes(n);
        const TripleCheck check = Decrypt(digits.data(), pad.data(), key.data(), n, bytes.data());
        EXPECT_EQ(check.aboveRange, above) << n;
        EXPECT_TRUE(check.allDigits) << n;
        EXPECT_EQ(bytes, expected) << n;
    }
}

// Long runs of one triple value under random pads and keys: every triple is
// counted (far more than a byte holds) and written modulo 256, on both sides
// of 255 and for every hundreds digit.
TEST_P(TripleKernelsTest, RunsOfOneTripleValueAreCountedWhole) {
    constexpr std::size_t n = 20000;
    const std::vector<std::uint8_t> pad = RandomValues(n, 8);
    const std::vector<Digit> key = RandomValues(3 * n, 9, 10);
    std::vector<Digit> padDigits(3 * n);
    BytesToDigits(pad.data(), n, padDigits.data());
    for (const unsigned value : {0u, 9u, 10u, 99u, 100u, 199u, 200u, 255u, 256u, 299u, 300u, 487u,
                                 555u, 613u, 742u, 868u, 999u}) {
        const std::string form = std::to_string(1000 + value).substr(1);
        std::vector<Digit> digits(3 * n);
        for (std::size_t p = 0; p < 3 * n; ++p) {
            digits[p] = static_cast<Digit>(form[p % 3] - '0');
        }
        AddDigitBlocks(digits.data(), padDigits.data(), digits.data(), 3 * n);
        AddDigitBlocks(digits.data(), key.data(), digits.data(), 3 * n);
        std::vector<std::uint8_t> bytes(n);
        const TripleCheck check = Decrypt(digits.data(), pad.data(), key.data(), n, bytes.data());
        EXPECT_EQ(check.aboveRange, value > 255 ? n : 0) << value;
        EXPECT_TRUE(check.allDigits) << value;
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), value % 256), n) << value;
    }
}

TEST_P(TripleKernelsTest, DecryptionNoticesAnyByteAboveNine) {
    for (const std::size_t n :
         {std::size_t{1}, std::size_t{9}, std::size_t{10}, std::size_t{64}, std::size_t{100}}) {
        const std::vector<std::uint8_t> pad = RandomValues(n, 6);
        const std::vector<Digit> key(3 * n, 9);
        for (std::size_t at = 0; at < 3 * n; ++at) {
            std::vector<Digit> digits = RandomValues(3 * n, 7, 10);
            digits[at] = at % 2 == 0 ? 10 : 0xFF;
            std::vector<std::uint8_t> bytes(n);
            EXPECT_FALSE(Decrypt(digits.data(), pad.data(), key.data(), n, bytes.data()).allDigits)
                << n << " triples, bad byte at " << at;
        }
    }
}

TEST(DigitKernels, FirstNonDigitFindsTheFirstBadByteAnywhere) {
    const std::vector<std::uint8_t> clean = RandomValues(300, 5, 10);
    EXPECT_EQ(FirstNonDigit(clean.data(), clean.size()), clean.size());
    EXPECT_EQ(FirstNonDigit(clean.data(), 0), 0u);
    for (std::size_t at = 0; at < clean.size(); at += 7) {
        for (const std::uint8_t bad : {10, 0x80, 0xFF}) {
            std::vector<std::uint8_t> bytes = clean;
            bytes[at] = bad;
            bytes.back() = 0xFF;  // a later bad byte does not hide the first
            EXPECT_EQ(FirstNonDigit(bytes.data(), bytes.size()), at) << at;
        }
    }
}

}  // namespace
}  // namespace vlt
