#include "cli/key_input.h"

#include <gtest/gtest.h>

#include "cli/messages.h"

namespace vlt::cli {
namespace {

TEST(KeyFromFileContent, DropsExactlyOneTrailingNewline) {
    const struct {
        std::string content;
        std::string key;
    } cases[] = {
        {"secret", "secret"},           {"secret\n", "secret"},
        {"secret\r\n", "secret"},       {"secret\n\n", "secret\n"},
        {"secret\r", "secret\r"},       {" secret \n", " secret "},  // blanks belong to the key
        {"two\nlines\n", "two\nlines"}, {"\n\n", "\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KeyFromFileContent(c.content), c.key) << testing::PrintToString(c.content);
    }
}

TEST(KeyFromFileContent, RefusesEmptyAndNonUtf8Keys) {
    for (const std::string content : {"", "\n", "\r\n", "caf\xE9\n"}) {
        EXPECT_THROW(KeyFromFileContent(content), KeyError) << testing::PrintToString(content);
    }
    try {
        KeyFromFileContent("\n");
        FAIL();
    } catch (const KeyError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with(kEnterKeyMessage));
    }
}

}  // namespace
}  // namespace vlt::cli
