// The two sides' output names, from the name chosen or dropped.

#include "app/form/naming.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "cipher/vlt_format.h"

namespace {

struct Naming {
    std::string name;
    std::string encrypted;
    std::optional<std::string> decrypted;  // nothing: the output box is left alone
};

// Failures name the row, not its bytes.
void PrintTo(const Naming& row, std::ostream* out) {
    *out << '"' << row.name << '"';
}

class NamingTest : public ::testing::TestWithParam<Naming> {};

TEST_P(NamingTest, AppendsTheSuffixAndDropsFourCharacters) {
    const Naming& naming = GetParam();
    EXPECT_EQ(vlt::EncryptedName(naming.name), naming.encrypted);
    EXPECT_EQ(vlt::WithoutLastFourCharacters(naming.name), naming.decrypted);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NamingTest,
    ::testing::Values(Naming{"/in/a.bin", "/in/a.bin.vlt", "/in/a"},
                      Naming{"/in/a.bin.vlt", "/in/a.bin.vlt.vlt", "/in/a.bin"},
                      Naming{"/data/notes.txt", "/data/notes.txt.vlt", "/data/notes"},
                      Naming{"", ".vlt", std::nullopt}, Naming{"/ab", "/ab.vlt", std::nullopt},
                      Naming{"/abc", "/abc.vlt", ""},
                      // Characters, not bytes: each of these takes two bytes.
                      Naming{"/in/čšž.txt", "/in/čšž.txt.vlt", "/in/čšž"},
                      Naming{"čšžđ", "čšžđ.vlt", ""}, Naming{"/čš", "/čš.vlt", std::nullopt},
                      // Counted as Windows counts: a character beyond the BMP is two.
                      Naming{"a\U0001F600", "a\U0001F600.vlt", std::nullopt},
                      Naming{"ab\U0001F600.x", "ab\U0001F600.x.vlt", "ab"},
                      // Cut inside the pair: its first half is left, which UTF-8 writes as "?".
                      Naming{"ab\U0001F600xyz", "ab\U0001F600xyz.vlt", "ab?"}));

}  // namespace
