#pragma once

// The primary key as digits: the decimal codes of its characters in the key's
// code page, one after another, and those digits as values for the kernels.

#include <string>
#include <string_view>
#include <vector>

#include "cipher/digit_ops.h"
#include "platform/codepage.h"

namespace vlt {

// The decimal ANSI codes of the key's characters, one after another
// ("A" gives "65"; a negative double-byte code gives "-" and its digits).
std::string MakeKeyDigits(std::string_view utf8Key, CodePage codePage);

// Key digit text (digits and "-") to digit values; "-" counts 0.
std::vector<Digit> KeyDigitValues(std::string_view keyDigits);

}  // namespace vlt
