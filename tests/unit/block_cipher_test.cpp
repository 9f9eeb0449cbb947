#include "cipher/block_cipher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/digit_text.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_oracle.h"

namespace vlt {
namespace {

std::vector<Digit> KeyDigitsOf(const std::string& key) {
    return KeyDigitValues(MakeKeyDigits(key, 1252));
}

// Blocks of any size, one after another, give the whole-text cipher digits;
// decryption in other block sizes gives the bytes back.
TEST(BlockCipher, BlocksOfAnySizeEqualTheWholeText) {
    const std::string plain = testing_support::RandomBytes(20000, 1);
    for (const std::string& key :
         {std::string("k"), std::string("secret"), std::string(11000, 'x')}) {
        const std::vector<std::uint8_t> whole = oracle::EncryptAsText(plain, key);
        for (const std::size_t block : {1u, 5u, 8u, 9u, 4096u, 4097u, 20000u}) {
            BlockCipher cipher(KeyDigitsOf(key));
            std::vector<Digit> digits(3 * plain.size());
            for (std::size_t at = 0; at < plain.size(); at += block) {
                const std::size_t n = std::min(block, plain.size() - at);
                cipher.Encrypt(reinterpret_cast<const std::uint8_t*>(plain.data()) + at, n,
                               digits.data() + 3 * at);
            }
            ASSERT_TRUE(std::equal(digits.begin(), digits.end(), whole.begin()))
                << "key of " << key.size() << ", blocks of " << block;

            BlockCipher decipher(KeyDigitsOf(key));
            std::string back(plain.size(), '\0');
            std::size_t above = 0;
            for (std::size_t at = 0; at < plain.size(); at += block + 3) {
                const std::size_t n = std::min(block + 3, plain.size() - at);
                const TripleCheck check = decipher.Decrypt(
                    digits.data() + 3 * at, n, reinterpret_cast<std::uint8_t*>(back.data()) + at);
                above += check.aboveRange;
                ASSERT_TRUE(check.allDigits);
            }
            EXPECT_EQ(above, 0u);
            ASSERT_EQ(back, plain) << "blocks of " << block;
        }
    }
}

TEST(BlockCipher, WrongKeyCountsTriplesAboveRangeAsTheWholeTextDoes) {
    const std::string plain = testing_support::RandomBytes(5000, 2);
    const std::vector<std::uint8_t> file = oracle::EncryptAsText(plain, "right");
    std::string fileDigits;
    for (std::size_t i = 0; i < 3 * plain.size(); ++i) {
        fileDigits += static_cast<char>('0' + file[i]);
    }
    const std::string plainDigits = SubtractDigits(
        fileDigits, MakeKeyedPad(MakePad(fileDigits.size()), MakeKeyDigits("wrong", 1252)));
    std::size_t expectedAbove = 0;
    for (std::size_t i = 0; i < plainDigits.size(); i += 3) {
        expectedAbove += std::stoi(plainDigits.substr(i, 3)) > 255;
    }
    ASSERT_GT(expectedAbove, 0u);

    const std::string expectedPlain = oracle::DecryptAsText(file, "wrong").substr(0, plain.size());

    BlockCipher cipher(KeyDigitsOf("wrong"));
    std::string got(plain.size(), '\0');
    const TripleCheck check =
        cipher.Decrypt(file.data(), plain.size(), reinterpret_cast<std::uint8_t*>(got.data()));
    EXPECT_EQ(check.aboveRange, expectedAbove);
    EXPECT_TRUE(check.allDigits);
    EXPECT_EQ(got, expectedPlain);
}

}  // namespace
}  // namespace vlt
