#pragma once

// The whole encryption and decryption in the original's readable form, built
// from the whole-text digit functions: the reference the engine must match.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/vlt_format.h"
#include "tests/support/digit_text.h"

namespace vlt::oracle {

inline std::vector<std::uint8_t> EncryptAsText(std::string_view plain, std::string_view key,
                                               CodePage codePage = 1252) {
    std::string data;
    for (const unsigned char byte : plain) {
        data += std::to_string(1000 + byte).substr(1);
    }
    data += std::to_string(1000 + kEndTripleValue).substr(1);
    const std::string keyed = MakeKeyedPad(MakePad(data.size()), MakeKeyDigits(key, codePage));
    std::vector<std::uint8_t> file;
    file.reserve(data.size() + 1);
    for (const char digit : AddDigits(data, keyed)) {
        file.push_back(static_cast<std::uint8_t>(digit - '0'));
    }
    file.push_back(kFinalByte);
    return file;
}

// The plaintext of an encrypted file, triples taken modulo 256.
inline std::string DecryptAsText(const std::vector<std::uint8_t>& file, std::string_view key,
                                 CodePage codePage = 1252) {
    std::string digits;
    for (std::size_t i = 0; i + 1 < file.size(); ++i) {
        digits += static_cast<char>('0' + file[i]);
    }
    const std::string keyed = MakeKeyedPad(MakePad(digits.size()), MakeKeyDigits(key, codePage));
    const std::string plainDigits = SubtractDigits(digits, keyed);
    std::string plain;
    for (std::size_t i = 0; i + 6 <= plainDigits.size(); i += 3) {
        plain += static_cast<char>(std::stoi(plainDigits.substr(i, 3)) % 256);
    }
    return plain;
}

}  // namespace vlt::oracle
