#pragma once

// The digit kernels. Every digit rule of the cipher exists once, here: the
// streaming engine runs it over large blocks, and the whole-text reference
// forms in the tests run it over a whole text. A digit is a byte holding its
// value 0 to 9.
//
// The block functions have no per-digit branches or calls. The triple kernels
// come in a version for AVX2 and a portable one (triple_kernels.h); the other
// kernels have their loop written once and compiled twice, for AVX2 and for
// plain x86-64. Which versions run is chosen once, at the first call (PickKernel),
// not by the loader: Windows has no ifunc for target_clones. The rules below
// are written once for single digits and for whole vectors of them alike.

#include <cstddef>
#include <cstdint>

namespace vlt {

using Digit = std::uint8_t;

// Whether the AVX2 versions of the kernels run: the processor has AVX2 (and
// POPCNT, which comes with it) and VLT_KERNELS is not "baseline", which the
// tests set to run the baseline versions on any machine. Worked out once.
bool UseAvx2Kernels();

// A hot loop's AVX2 version or its baseline one, whichever runs here. Callers
// keep the choice in a static: `static const auto run = PickKernel(A, B);`.
// The AVX2 version is the loop, always inlined, in a [[gnu::target("avx2")]]
// function, so the vectoriser gets the wider registers.
template <typename Function>
Function* PickKernel(Function* avx2, Function* baseline) {
    return UseAvx2Kernels() ? avx2 : baseline;
}

// (a + b) mod 10 for digits, or for vectors of digits lane by lane; a sum of
// exactly 9 stays 9. No division: a sum of 10 to 18 loses 10, and below 10 the
// byte s - 10 wraps around above s, so the smaller of the two is the result.
template <typename Digits>
[[gnu::always_inline]] constexpr Digits AddMod10(Digits a, Digits b) {
    const Digits s = a + b;
    const Digits lessTen = s - 10;
    return lessTen < s ? lessTen : s;
}

// (c - k) mod 10 for digits or vectors of digits, the same way round: for
// c >= k the byte d = c - k is the result, below it wraps around above d + 10.
template <typename Digits>
[[gnu::always_inline]] constexpr Digits SubMod10(Digits c, Digits k) {
    const Digits d = c - k;
    const Digits plusTen = d + 10;
    return plusTen < d ? plusTen : d;
}

// Encryption of n bytes: the three-digit forms of the data bytes plus those
// of the pad bytes plus the 3 * n key digits, digit by digit modulo 10.
void EncryptTriples(const std::uint8_t* data, const std::uint8_t* pad, const Digit* key,
                    std::size_t n, Digit* digits);

struct TripleCheck {
    std::size_t aboveRange = 0;  // triples above 255: wrong key or damaged data
    bool allDigits = true;       // false when some input byte was above 9
};

// Decryption, the inverse: the 3 * n digits minus the key digits minus the
// three-digit forms of the pad bytes, each triple read as a decimal number 0
// to 999 and written modulo 256. The result only counts when allDigits.
TripleCheck DecryptTriples(const Digit* digits, const std::uint8_t* pad, const Digit* key,
                           std::size_t n, std::uint8_t* bytes);

// The first offset in [0, n) whose byte is not a digit value, or n.
std::size_t FirstNonDigit(const std::uint8_t* bytes, std::size_t n);

}  // namespace vlt
