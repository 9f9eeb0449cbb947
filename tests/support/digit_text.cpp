#include "digit_text.h"

#include <algorithm>
#include <vector>

#include "digit_ops.h"
#include "keyed_pad.h"

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

std::string MakeKeyDigits(std::string_view utf8Key, CodePage codePage) {
    std::string digits;
    for (const std::int16_t code : AnsiCodes(utf8Key, codePage)) {
        digits += std::to_string(code);
    }
    return digits;
}

std::string MakePad(std::uint64_t length, const ProgressReport& report) {
    std::vector<Digit> pad(static_cast<std::size_t>((length + 2) / 3 * 3));
    PadStream(0).Next(pad.data(), pad.size());
    ReportEach(report, length, 3);
    return TextOf(pad);
}

std::string MakeKeyedPad(std::string_view pad, std::string_view keyDigits,
                         const ProgressReport& report) {
    std::vector<Digit> keyed = ValuesOf(pad, pad.size());
    KeyStream(KeyDigitValues(keyDigits)).AddTo(keyed.data(), keyed.size());
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
