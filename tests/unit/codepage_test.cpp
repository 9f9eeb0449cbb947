#include "platform/codepage.h"

#include <gtest/gtest.h>

#include "cipher/key_digits.h"
#include "platform/system.h"
#include "platform/system_code_page.h"
#include "tests/support/environment.h"

namespace vlt {
namespace {

TEST(KeyDigits, KnownAnswersPerCodePage) {
    const struct {
        const char* key;
        CodePage codePage;
        const char* digits;
        std::size_t unwritable = 0;  // characters coded as "?" that are not "?"
    } cases[] = {
        {"A", 1252, "65"},
        {"a b", 1252, "973298"},
        {"\xC3\xA9", 1252, "233"},  // é
        {"Z\xC3\xBCrich \xE2\x82\xAC"
         "5",
         1252, "90252114105991043212853"},  // Zürich €5
        {"\xC4\x8D", 1250, "232"},          // č
        {"\xE3\x81\x82", 932, "-32096"},    // あ: 0x82A0 as signed
        {"\xD0\x96", 1251, "198"},          // Ж
        {"\xCE\xA9", 1253, "217"},          // Ω
        {"\xE4\xB8\xAD", 936, "-10544"},    // 中: 0xD6D0
        {"\xEA\xB0\x80", 949, "-20319"},    // 가: 0xB0A1
        {"\xE4\xB8\xAD", 950, "-23388"},    // 中: 0xA4A4
        {"\xE0\xB8\x81", 874, "161"},       // ก
        {"\xC4\x8D", 1252, "99"},           // č: best fit c
        {"\xC5\x82", 1252, "108"},          // ł: best fit l
        {"\xC2\x81", 1252, "129"},          // a C1 control as itself
        {"\xC2\xA5", 932, "92"},            // ¥: 0x5C
        {"\xC2\xA5", 950, "-23996"},        // ¥: 0xA244
        {"\xE1\xBA\xA5", 1258, "63", 1},    // ấ: not in 1258, never two bytes
        {"\xEF\xAC\xAA", 1255, "63", 1},    // שׁ: not in 1255, never two bytes
        {"\xE3\x81\x82", 1251, "63", 1},
        {"\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87", 1252, "63636363", 4},  // ключ
        {"a?b", 1252, "976398"},
        {"\xF0\x9F\x98\x80", 1252, "6363", 1},  // outside the BMP: two halves
        {"a\xFF"
         "b",
         1252, "976398", 1},  // invalid UTF-8
        {"  ", 1252, "3232"},
        {"", 1252, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MakeKeyDigits(c.key, c.codePage), c.digits) << c.key << " in " << c.codePage;
        EXPECT_EQ(UnwritableCharacters(c.key, c.codePage), c.unwritable)
            << c.key << " in " << c.codePage;
    }
    EXPECT_EQ(KeyCodingNote("\xD0\xBA\xD0\xBB\xD1\x8Ex", 1252),
              "3 characters of the key cannot be written in code page 1252 and count as '?'");
    EXPECT_EQ(KeyCodingNote("\xD0\xBA", 1250),
              "1 character of the key cannot be written in code page 1250 and counts as '?'");
    EXPECT_EQ(KeyCodingNote("\xC5\x82?", 1252), std::nullopt);
}

TEST(CodePage, ParsesTheThreeSpellings) {
    for (const char* text : {"1250", "cp1250", "CP1250", "windows-1250", "Windows-1250"}) {
        EXPECT_EQ(ParseCodePage(text), 1250) << text;
    }
    EXPECT_EQ(ParseCodePage("932"), 932);
    EXPECT_EQ(ParseCodePage("cp874"), 874);
    for (const char* text : {"", "1259", "utf-8", "cp", "latin1", "windows-12500", "437"}) {
        EXPECT_THROW(ParseCodePage(text), CodePageError) << text;
    }
}

TEST(CodePage, FollowsTheLocaleAsWindowsDoes) {
    const struct {
        const char* locale;
        CodePage codePage;
    } cases[] = {
        {"C", 1252},           {"POSIX", 1252}, {"en_US.UTF-8", 1252}, {"de_DE", 1252},
        {"cs_CZ.UTF-8", 1250}, {"pl_PL", 1250}, {"sr_RS@latin", 1250}, {"sr_RS.UTF-8", 1251},
        {"ru_RU.UTF-8", 1251}, {"uk_UA", 1251}, {"el_GR.UTF-8", 1253}, {"tr_TR", 1254},
        {"az_AZ", 1254},       {"he_IL", 1255}, {"ar_EG.UTF-8", 1256}, {"fa_IR", 1256},
        {"lt_LT", 1257},       {"vi_VN", 1258}, {"th_TH.UTF-8", 874},  {"ja_JP.UTF-8", 932},
        {"zh_CN.UTF-8", 936},  {"zh_SG", 936},  {"zh_TW.UTF-8", 950},  {"zh_HK", 950},
        {"ko_KR.EUC-KR", 949},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CodePageForLocale(c.locale), c.codePage) << c.locale;
    }
}

TEST(CodePage, VltCodepageOverridesTheUsersAndABadOneIsAnError) {
    const struct {
        const char* forced;
        CodePage expected;  // 0: expect an error
    } cases[] = {
        {"cp1257", 1257}, {"932", 932}, {"windows-1250", 1250}, {"", UserCodePage()}, {"koi8-r", 0},
    };
    for (const auto& c : cases) {
        const testing_support::ScopedVariable forced("VLT_CODEPAGE", c.forced);
        if (c.expected == 0) {
            EXPECT_THROW(SystemCodePage(), CodePageError) << c.forced;
        } else {
            EXPECT_EQ(SystemCodePage(), c.expected) << c.forced;
        }
    }
}

}  // namespace
}  // namespace vlt
