#include "tests/support/digit_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/text_oracle.h"

namespace vlt {
namespace {

using oracle::EncryptAsText;

std::vector<std::uint8_t> FromHex(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

TEST(DigitText, KnownEncryptions) {
    EXPECT_EQ(EncryptAsText("A", "A"), FromHex("07090106090100"));
    EXPECT_EQ(EncryptAsText("Hello, world!", "secret"),
              FromHex("020607030308010307020103010909020903010806020102020200060005020200080106"
                      "07060303090100"));
    EXPECT_EQ(EncryptAsText("", "k"), FromHex("02080700"));
}

TEST(DigitText, PadIsTheThreeDigitFormOfTheFirstDraws) {
    EXPECT_EQ(MakePad(0), "");
    EXPECT_EQ(MakePad(1), "180");
    EXPECT_EQ(MakePad(3), "180");
    EXPECT_EQ(MakePad(4), "180136");
    EXPECT_EQ(MakePad(12), "180136148074");
    // A longer pad begins with the shorter one.
    EXPECT_EQ(MakePad(3000).substr(0, 1500), MakePad(1500));
}

TEST(DigitText, DigitArithmeticIsModuloTenWithStrictComparison) {
    const struct {
        const char *a, *b, *sum, *difference;
    } cases[] = {
        {"4", "5", "9", "9"}, {"4", "6", "0", "8"}, {"9", "9", "8", "0"},
        {"0", "0", "0", "0"}, {"0", "9", "9", "1"}, {"1234", "9876", "0000", "2468"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AddDigits(c.a, c.b), c.sum) << c.a << "+" << c.b;
        EXPECT_EQ(SubtractDigits(c.a, c.b), c.difference) << c.a << "-" << c.b;
        EXPECT_EQ(SubtractDigits(AddDigits(c.a, c.b), c.b), c.a);
    }
    // The result is as long as the keyed pad; missing data digits count 0.
    EXPECT_EQ(AddDigits("12", "1111"), "2311");
    EXPECT_EQ(SubtractDigits("", "123"), "987");
}

TEST(DigitText, KeyedPadShiftsByTheKeyDigits) {
    EXPECT_EQ(MakeKeyedPad("000000", ""), "000000");
    EXPECT_EQ(MakeKeyedPad("000000", "5"), "555555");
    EXPECT_EQ(MakeKeyedPad("000000", "65"), "656565");
    EXPECT_EQ(MakeKeyedPad("999999", "-3"), "929292");  // the minus counts 0
    EXPECT_EQ(MakeKeyedPad("180136", "233"), "313369");
}

TEST(DigitText, ProgressReportsEveryPass) {
    std::vector<std::int64_t> pad, keyed, added;
    MakePad(7, [&](std::int64_t j) { pad.push_back(j); });
    MakeKeyedPad("123456", "1", [&](std::int64_t j) { keyed.push_back(j); });
    AddDigits("12", "345", [&](std::int64_t j) { added.push_back(j); });
    EXPECT_EQ(pad, (std::vector<std::int64_t>{1, 4, 7}));
    EXPECT_EQ(keyed, (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(added, (std::vector<std::int64_t>{1, 2, 3}));
}

}  // namespace
}  // namespace vlt
