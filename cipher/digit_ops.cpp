#include "digit_ops.h"

namespace vlt {

namespace {

constexpr std::array<Triple, 256> MakeThreeDigitForms() {
    std::array<Triple, 256> forms{};
    for (unsigned v = 0; v < 256; ++v) {
        forms[v] = {static_cast<Digit>(v / 100), static_cast<Digit>(v / 10 % 10),
                    static_cast<Digit>(v % 10)};
    }
    return forms;
}

}  // namespace

const std::array<Triple, 256> kThreeDigitForm = MakeThreeDigitForms();

void AddDigitBlocks(const Digit* a, const Digit* b, Digit* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = AddMod10(a[i], b[i]);
    }
}

void SubDigitBlocks(const Digit* c, const Digit* k, Digit* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = SubMod10(c[i], k[i]);
    }
}

void BytesToDigits(const std::uint8_t* bytes, std::size_t n, Digit* digits) {
    for (std::size_t i = 0; i < n; ++i) {
        const Triple& t = kThreeDigitForm[bytes[i]];
        digits[3 * i] = t[0];
        digits[3 * i + 1] = t[1];
        digits[3 * i + 2] = t[2];
    }
}

std::size_t DigitsToBytes(const Digit* digits, std::size_t triples, std::uint8_t* bytes) {
    std::size_t above = 0;
    for (std::size_t i = 0; i < triples; ++i) {
        const unsigned v = digits[3 * i] * 100u + digits[3 * i + 1] * 10u + digits[3 * i + 2];
        above += v > 255;
        bytes[i] = static_cast<std::uint8_t>(v);
    }
    return above;
}

std::size_t FirstNonDigit(const std::uint8_t* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (bytes[i] > 9) {
            return i;
        }
    }
    return n;
}

}  // namespace vlt
