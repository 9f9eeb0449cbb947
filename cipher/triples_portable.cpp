// The portable triple kernels, plain C++ for any processor: the version for
// processors without AVX2.

#include <algorithm>
#include <array>

#include "cipher/triple_kernels.h"

namespace vlt {

namespace {

struct ThreeDigits {
    Digit hundreds, tens, ones;
};

// The three-digit forms of all bytes, worked out once by multiplication:
// (x * 205) >> 11 is x / 10 for x below 1029.
constexpr std::array<ThreeDigits, 256> kDigitsOf = [] {
    std::array<ThreeDigits, 256> table{};
    for (unsigned byte = 0; byte < table.size(); ++byte) {
        const unsigned q = (byte * 205) >> 11;
        const unsigned h = (q * 205) >> 11;
        table[byte] = {static_cast<Digit>(h), static_cast<Digit>(q - 10 * h),
                       static_cast<Digit>(byte - 10 * q)};
    }
    return table;
}();

ThreeDigits DigitsOf(std::uint8_t byte) {
    return kDigitsOf[byte];
}

void EncryptPortable(const std::uint8_t* data, const std::uint8_t* pad, const Digit* key,
                     std::size_t n, Digit* digits) {
    for (std::size_t i = 0; i < n; ++i, key += 3, digits += 3) {
        const ThreeDigits plain = DigitsOf(data[i]), padDigits = DigitsOf(pad[i]);
        digits[0] = AddMod10<Digit>(AddMod10<Digit>(plain.hundreds, padDigits.hundreds), key[0]);
        digits[1] = AddMod10<Digit>(AddMod10<Digit>(plain.tens, padDigits.tens), key[1]);
        digits[2] = AddMod10<Digit>(AddMod10<Digit>(plain.ones, padDigits.ones), key[2]);
    }
}

TripleCheck DecryptPortable(const Digit* digits, const std::uint8_t* pad, const Digit* key,
                            std::size_t n, std::uint8_t* bytes) {
    std::size_t above = 0;
    Digit top = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Digit* c = digits + 3 * i;
        const Digit* k = key + 3 * i;
        const ThreeDigits padDigits = DigitsOf(pad[i]);
        top = std::max(top, std::max(c[0], std::max(c[1], c[2])));
        const std::uint16_t value = static_cast<std::uint16_t>(
            100u * SubMod10<Digit>(SubMod10<Digit>(c[0], k[0]), padDigits.hundreds) +
            10u * SubMod10<Digit>(SubMod10<Digit>(c[1], k[1]), padDigits.tens) +
            SubMod10<Digit>(SubMod10<Digit>(c[2], k[2]), padDigits.ones));
        above += value > 255;
        bytes[i] = static_cast<std::uint8_t>(value);
    }
    return {above, top <= 9};
}

}  // namespace

const TripleKernels kPortableTripleKernels = {"portable", EncryptPortable, DecryptPortable};

}  // namespace vlt
