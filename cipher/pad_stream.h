#pragma once

// The keyed pad as a stream: pad digits from the classic generator plus the
// key digits, digit by digit modulo 10. Any position can be reached directly
// (the generator jumps ahead), so a file can be processed in blocks, in any
// order, by any number of workers.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "digit_ops.h"

namespace vlt {

// Digits of the pad: pad digit p (0-based) is digit p % 3 of the three-digit
// form of the generator's draw number p / 3 + 1 counted from the start.
class PadStream {
  public:
    explicit PadStream(std::uint64_t position = 0) { Seek(position); }
    void Seek(std::uint64_t position);
    void Next(Digit* out, std::size_t n);
    // The pad values 0 to 255 of the next `triples` triples, one byte each:
    // the pad before it is written as digits. The position must be at the
    // start of a triple.
    void NextValues(std::uint8_t* values, std::size_t triples);
    std::uint64_t position() const { return position_; }

  private:
    std::uint64_t position_ = 0;
    std::uint32_t drawn_ = 0;  // generator state after the draws before position_'s triple
};

// The key digit that serves each pad position. The key index is a signed
// 16-bit number in the original program: it wraps at K, but once it holds
// 32767 it can no longer be incremented, so keys of 32767 digits or more key
// every later pad digit with key digit 32767. Stored files rely on that.
class KeyStream {
  public:
    static constexpr std::size_t kIndexLimit = 32767;

    explicit KeyStream(std::vector<Digit> keyDigits);
    void Seek(std::uint64_t position);
    // Adds the key digits of the next n positions to `digits`, modulo 10.
    void AddTo(Digit* digits, std::size_t n);

    static constexpr std::size_t kWindow = 3 * 16384;
    // The key digits of the next n positions, n at most kWindow, one after
    // another in memory (valid until the next call); advances past them.
    const Digit* Window(std::size_t n);

  private:
    // A view of the key digits for the next positions, at most `max` long and
    // never empty for max > 0; advances the stream past them.
    std::span<const Digit> Take(std::size_t max);

    std::vector<Digit> digits_;  // the key digits, then what Take() serves past them
    std::size_t period_ = 0;     // 0 when the index stops at kIndexLimit or K is 0
    std::size_t prefix_ = 0;     // positions served from the key digits themselves
    std::uint64_t position_ = 0;
};

// Key digit text (digits and "-") to digit values; "-" counts 0.
std::vector<Digit> KeyDigitValues(std::string_view keyDigits);

}  // namespace vlt
