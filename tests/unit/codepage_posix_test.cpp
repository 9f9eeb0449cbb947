// Off Windows the user's code page is the one Windows would give the locale
// of LC_ALL, LC_CTYPE or LANG, the first set.

#include <gtest/gtest.h>

#include "platform/system_code_page.h"
#include "tests/support/environment.h"

namespace vlt {
namespace {

using testing_support::ScopedVariable;

TEST(CodePage, TheLocaleVariablesDecideInTheirOrder) {
    const struct {
        const char* lcAll;
        const char* lcCtype;
        const char* lang;
        const char* forced;
        CodePage expected;
    } cases[] = {
        {"", "", "", "", 1252},
        {"", "", "ru_RU.UTF-8", "", 1251},
        {"", "ja_JP.UTF-8", "ru_RU.UTF-8", "", 932},
        {"el_GR", "ja_JP.UTF-8", "ru_RU.UTF-8", "", 1253},
        {"el_GR", "", "", "cp1257", 1257},
    };
    for (const auto& c : cases) {
        const ScopedVariable lcAll("LC_ALL", c.lcAll), lcCtype("LC_CTYPE", c.lcCtype),
            lang("LANG", c.lang), forced("VLT_CODEPAGE", c.forced);
        EXPECT_EQ(SystemCodePage(), c.expected) << c.lcAll << "|" << c.lcCtype << "|" << c.lang;
    }
}

}  // namespace
}  // namespace vlt
