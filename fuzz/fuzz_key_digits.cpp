// The key-digit conversion of arbitrary text (any bytes, not only UTF-8) in
// any code page: no crash, one signed 16-bit code per UTF-16 unit, and key
// digits made of digits and minus signs only.

#include <cstdint>
#include <string>
#include <vector>

#include "cipher/key_digits.h"
#include "fuzz/fuzz_support.h"
#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vlt;
    using namespace vlt::fuzzing;
    FuzzedDataProvider in(data, size);
    const CodePage codePage = ConsumeCodePage(in);
    const std::string text = in.ConsumeRemainingBytesAsString();

    std::vector<std::int16_t> codes;
    std::string digits;
    try {
        codes = AnsiCodes(text, codePage);
        digits = MakeKeyDigits(text, codePage);
    } catch (const CodePageError&) {
        Require(!IsOffered(codePage), "an offered code page is always available");
        return 0;
    }
    Require(IsOffered(codePage), "an unknown code page is refused");

    // A UTF-8 sequence is 1 to 4 bytes and gives 1 or 2 UTF-16 units; a bad
    // byte gives one replacement character.
    Require(codes.size() <= text.size() && 4 * codes.size() >= text.size(),
            "one code per character");
    Require(digits.size() >= codes.size() && digits.size() <= 6 * codes.size(),
            "1 to 6 key digits per code");
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const char c = digits[i];
        Require((c >= '0' && c <= '9') || c == '-', "only digits and minus signs");
        if (c == '-') {
            Require(i + 1 < digits.size() && digits[i + 1] >= '1' && digits[i + 1] <= '9',
                    "a minus sign stands before a number");
        }
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            return 0;
        }
    }
    // Plain ASCII: one code per byte, never negative.
    Require(codes.size() == text.size(), "one code per ASCII byte");
    for (const std::int16_t code : codes) {
        Require(code >= 0 && code < 128, "an ASCII code in every code page");
    }
    return 0;
}
