#include "cipher/key_digits.h"

#include <cstdint>

namespace vlt {

std::string MakeKeyDigits(std::string_view utf8Key, CodePage codePage) {
    std::string digits;
    for (const std::int16_t code : AnsiCodes(utf8Key, codePage)) {
        digits += std::to_string(code);
    }
    return digits;
}

std::vector<Digit> KeyDigitValues(std::string_view keyDigits) {
    std::vector<Digit> values;
    values.reserve(keyDigits.size());
    for (const char c : keyDigits) {
        values.push_back(c >= '0' && c <= '9' ? static_cast<Digit>(c - '0') : 0);
    }
    return values;
}

}  // namespace vlt
