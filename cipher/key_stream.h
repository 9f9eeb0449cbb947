#pragma once

// The key digit that serves each pad position, as windows of contiguous digits.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "cipher/digit_ops.h"

namespace vlt {

// The key index is a signed 16-bit number in the original program: it wraps
// at K, but once it holds 32767 it can no longer be incremented, so keys of
// 32767 digits or more key every later pad digit with key digit 32767. Stored
// files rely on that.
class KeyStream {
  public:
    static constexpr std::size_t kIndexLimit = 32767;

    explicit KeyStream(std::vector<Digit> keyDigits, std::uint64_t position = 0);
    // To a position, 0 for the next file under the same key.
    void Seek(std::uint64_t position) { position_ = position; }

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

}  // namespace vlt
