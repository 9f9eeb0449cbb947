#pragma once

// The cipher in its readable form: whole digit texts ("0" to "9" characters),
// built exactly as the original program builds them, with the digit rules of
// cipher/digit_ops.h, and the plain digit loops they use. The reference the
// engine and its kernels are tested against.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "cipher/digit_ops.h"
#include "cipher/key_digits.h"

namespace vlt {

// Called after each pass with the pass's 1-based position.
using ProgressReport = std::function<void(std::int64_t position)>;

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

// The digit rules over blocks of digit values: out[i] = AddMod10(a[i], b[i])
// and out[i] = SubMod10(c[i], k[i]); out may be one of the operands.
void AddDigitBlocks(const Digit* a, const Digit* b, Digit* out, std::size_t n);
void SubDigitBlocks(const Digit* c, const Digit* k, Digit* out, std::size_t n);

// Each byte as its three-digit form ("065" for 65): writes 3 * n digits.
void BytesToDigits(const std::uint8_t* bytes, std::size_t n, Digit* digits);

}  // namespace vlt
