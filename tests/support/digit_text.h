#pragma once

// The cipher in its readable form: whole digit texts ("0" to "9" characters),
// built exactly as the original program builds them. The streaming engine does
// not use these; they share its kernels and serve as its reference in tests.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "codepage.h"

namespace vlt {

// Called after each pass with the pass's 1-based position.
using ProgressReport = std::function<void(std::int64_t position)>;

// The decimal ANSI codes of the key's characters, one after another
// ("A" gives "65"; a negative double-byte code gives "-" and its digits).
std::string MakeKeyDigits(std::string_view utf8Key, CodePage codePage);

// The pad for a length: ceil(length / 3) draws from the start of the generator.
std::string MakePad(std::uint64_t length, const ProgressReport& report = {});

// Pad plus key digits, digit by digit modulo 10, with the 16-bit key index.
std::string MakeKeyedPad(std::string_view pad, std::string_view keyDigits,
                         const ProgressReport& report = {});

// Data digits plus keyed pad modulo 10; as long as the keyed pad, a missing
// data digit counting 0.
std::string AddDigits(std::string_view dataDigits, std::string_view keyedPad,
                      const ProgressReport& report = {});

// File digits minus keyed pad modulo 10; as long as the keyed pad.
std::string SubtractDigits(std::string_view fileDigits, std::string_view keyedPad,
                           const ProgressReport& report = {});

}  // namespace vlt
