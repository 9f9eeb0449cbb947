#include "app/form/naming.h"

#include <cstddef>
#include <vector>

#include "cipher/vlt_format.h"
#include "platform/utf8.h"

namespace vlt {

namespace {

// What is left of a character cut in half: the window's text to UTF-8 turns a lone
// surrogate into "?".
constexpr std::string_view kHalfCharacter = "?";

}  // namespace

std::optional<std::string> WithoutLastFourCharacters(std::string_view name) {
    struct Character {
        std::size_t start;
        std::size_t units;
    };
    std::vector<Character> characters;
    std::size_t units = 0;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t start = i;
        const std::optional<char32_t> code = DecodeUtf8(name, i);
        const std::size_t width = code && *code > 0xFFFF ? 2 : 1;
        characters.push_back({start, width});
        units += width;
    }
    if (units < kVltSuffix.size()) {
        return std::nullopt;
    }
    std::size_t dropped = 0;
    std::size_t end = name.size();
    while (dropped < kVltSuffix.size()) {
        dropped += characters.back().units;
        end = characters.back().start;
        characters.pop_back();
    }
    std::string result(name.substr(0, end));
    // Four units that end inside a pair keep its first half.
    if (dropped > kVltSuffix.size()) {
        result += kHalfCharacter;
    }
    return result;
}

}  // namespace vlt
