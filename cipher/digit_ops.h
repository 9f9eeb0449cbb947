#pragma once

// The digit kernels. Every digit operation of the cipher exists once, here:
// the streaming engine runs them over large blocks and the whole-text functions
// run them over a whole text. A digit is a byte holding its value 0 to 9.
// The loops are branch-free so that the compiler can vectorise them.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vlt {

using Digit = std::uint8_t;

// (a + b) mod 10 for two digits; the sum of exactly 9 stays 9.
constexpr Digit AddMod10(Digit a, Digit b) {
    const unsigned s = unsigned{a} + b;
    return static_cast<Digit>(s >= 10 ? s - 10 : s);
}

// (c - k) mod 10 for two digits.
constexpr Digit SubMod10(Digit c, Digit k) {
    const unsigned d = unsigned{c} + 10 - k;
    return static_cast<Digit>(d >= 10 ? d - 10 : d);
}

// out[i] = AddMod10(a[i], b[i]); out may alias a or b.
void AddDigitBlocks(const Digit* a, const Digit* b, Digit* out, std::size_t n);

// out[i] = SubMod10(c[i], k[i]); out may alias c or k.
void SubDigitBlocks(const Digit* c, const Digit* k, Digit* out, std::size_t n);

// The three-digit form ("000") of every value 0 to 255, as digit values.
using Triple = std::array<Digit, 3>;
extern const std::array<Triple, 256> kThreeDigitForm;

// Each byte as its three-digit form: writes 3 * n digits.
void BytesToDigits(const std::uint8_t* bytes, std::size_t n, Digit* digits);

// Each triple of digits read as a decimal number 0 to 999, written modulo 256.
// Returns the number of triples above 255 (wrong key or damaged data).
std::size_t DigitsToBytes(const Digit* digits, std::size_t triples, std::uint8_t* bytes);

// The first offset in [0, n) whose byte is not a digit value, or n.
std::size_t FirstNonDigit(const std::uint8_t* bytes, std::size_t n);

}  // namespace vlt
