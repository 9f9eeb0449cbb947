#pragma once

// The .vlt file: no header, one byte per cipher digit (values 0 to 9), then 0x00.
// For N plaintext bytes there are 3N data digits, the three digits of the end
// triple, and the final zero: 3N + 4 bytes in all.

#include <cstdint>
#include <optional>
#include <string_view>

namespace vlt {

inline constexpr std::string_view kVltSuffix = ".vlt";

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
