#include "platform/utf8.h"

#include <string>

#include <gtest/gtest.h>

namespace vlt {
namespace {

TEST(IsValidUtf8, AcceptsWellFormedAndRefusesTheRest) {
    const struct {
        std::string text;
        bool valid;
    } cases[] = {
        {"", true},
        {"secret", true},
        {"\xC5\xA1"
         "ifra",
         true},                      // "šifra"
        {"\xE2\x82\xAC", true},      // euro sign
        {"\xF0\x9F\x94\x91", true},  // a key emoji, outside the BMP
        {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF, the last code point
        {std::string("a\0b", 3), true},
        {"\xFF", false},  // never a UTF-8 byte
        {"\x80", false},  // continuation without a lead
        {"\xC5", false},  // cut short
        {"\xE2\x82", false},
        {"\xC0\xAF", false},          // overlong "/"
        {"\xE0\x80\xAF", false},      // overlong "/"
        {"\xED\xA0\x80", false},      // a UTF-16 surrogate
        {"\xF4\x90\x80\x80", false},  // past U+10FFFF
        {"\xE9t\xE9", false},         // Latin-1 "été"
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.text), c.valid) << testing::PrintToString(c.text);
    }
}

}  // namespace
}  // namespace vlt
