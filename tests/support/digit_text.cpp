#include "tests/support/digit_text.h"

#include <algorithm>
#include <vector>

#include "tests/support/keyed_pad_stream.h"

namespace vlt {

namespace {

// Digit values of a text padded with zeros to `length`: a position past the
// end of a text counts 0.
std::vector<Digit> ValuesOf(std::string_view text, std::size_t length) {
    std::vector<Digit> values = KeyDigitValues(text.substr(0, std::min(text.size(), length)));
    values.resize(length, 0);
    return values;
}

std::string TextOf(const std::vector<Digit>& values) {
    std::string text(values.size(), '0');
    std::transform(values.begin(), values.end(), text.begin(),
                   [](Digit d) { return static_cast<char>('0' + d); });
    return text;
}

void ReportEach(const ProgressReport& report, std::size_t length, std::size_t stride = 1) {
    if (report) {
        for (std::size_t j = 1; j <= length; j += stride) {
            report(static_cast<std::int64_t>(j));
        }
    }
}

// A digit text combined with the keyed pad digit by digit by a block kernel;
// the result is as long as the keyed pad.
template <typename Kernel>
std::string CombineWithKeyedPad(std::string_view digits, std::string_view keyedPad,
                                const ProgressReport& report, Kernel kernel) {
    std::vector<Digit> result = ValuesOf(digits, keyedPad.size());
    const std::vector<Digit> keyed = ValuesOf(keyedPad, keyedPad.size());
    kernel(result.data(), keyed.data(), result.data(), result.size());
    ReportEach(report, result.size());
    return TextOf(result);
}

}  // namespace

void AddDigitBlocks(const Digit* a, const Digit* b, Digit* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = AddMod10<Digit>(a[i], b[i]);
    }
}

void SubDigitBlocks(const Digit* c, const Digit* k, Digit* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = SubMod10<Digit>(c[i], k[i]);
    }
}

void BytesToDigits(const std::uint8_t* bytes, std::size_t n, Digit* digits) {
    for (std::size_t i = 0; i < n; ++i, digits += 3) {
        digits[0] = static_cast<Digit>(bytes[i] / 100);
        digits[1] = static_cast<Digit>(bytes[i] / 10 % 10);
        digits[2] = static_cast<Digit>(bytes[i] % 10);
    }
}

std::string MakePad(std::uint64_t length, const ProgressReport& report) {
    std::vector<Digit> pad(static_cast<std::size_t>((length + 2) / 3 * 3));
    PadDigits().Next(pad.data(), pad.size());
    ReportEach(report, length, 3);
    return TextOf(pad);
}

std::string MakeKeyedPad(std::string_view pad, std::string_view keyDigits,
                         const ProgressReport& report) {
    std::vector<Digit> keyed = ValuesOf(pad, pad.size());
    KeyStream key(KeyDigitValues(keyDigits));
    AddKeyDigits(key, keyed.data(), keyed.size());
    ReportEach(report, keyed.size());
    return TextOf(keyed);
}

std::string AddDigits(std::string_view dataDigits, std::string_view keyedPad,
                      const ProgressReport& report) {
    return CombineWithKeyedPad(dataDigits, keyedPad, report, AddDigitBlocks);
}

std::string SubtractDigits(std::string_view fileDigits, std::string_view keyedPad,
                           const ProgressReport& report) {
    return CombineWithKeyedPad(fileDigits, keyedPad, report, SubDigitBlocks);
}

}  // namespace vlt
