#pragma once

// The .vlt file: no header, one byte per cipher digit (values 0 to 9), then 0x00.
// For N plaintext bytes there are 3N data digits, the three digits of the end
// triple, and the final zero: 3N + 4 bytes in all.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vlt {

inline constexpr std::string_view kVltSuffix = ".vlt";

// The name an encrypted file gets from its source: the whole name and ".vlt", even after a
// ".vlt" of its own ("a.vlt" gives "a.vlt.vlt"), so that dropping the suffix gives it back.
inline std::string EncryptedName(std::string_view name) {
    return std::string(name) + std::string(kVltSuffix);
}

// Whether `name` ends in ".vlt", in any case ("A.VLT" does): the name of an encrypted file.
constexpr bool HasVltEnding(std::string_view name) {
    if (name.size() < kVltSuffix.size()) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - kVltSuffix.size());
    for (std::size_t i = 0; i < tail.size(); ++i) {
        const char lower =
            tail[i] >= 'A' && tail[i] <= 'Z' ? static_cast<char>(tail[i] + 32) : tail[i];
        if (lower != kVltSuffix[i]) {
            return false;
        }
    }
    return true;
}

// The value that stands after the last plaintext byte. The original program
// left whatever its read past the end produced there; this one writes 0.
inline constexpr std::uint8_t kEndTripleValue = 0;
inline constexpr std::uint8_t kFinalByte = 0;
inline constexpr std::uint64_t kFormatOverhead = 4;  // end triple and final byte

constexpr std::uint64_t EncryptedSize(std::uint64_t plainBytes) {
    return 3 * plainBytes + kFormatOverhead;
}

// N for a file of `encryptedBytes`, or nothing when no N gives that length.
constexpr std::optional<std::uint64_t> PlainSize(std::uint64_t encryptedBytes) {
    if (encryptedBytes < kFormatOverhead || (encryptedBytes - kFormatOverhead) % 3 != 0) {
        return std::nullopt;
    }
    return (encryptedBytes - kFormatOverhead) / 3;
}

}  // namespace vlt
