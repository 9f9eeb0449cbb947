#pragma once

// The keyed pad from any position on, a chunk at a time: pad digits straight
// from the generator plus the engine's key stream. Tests hold it to the
// whole-text MakeKeyedPad, and the soak test reads it far past 4 GiB.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "cipher/digit_ops.h"
#include "cipher/key_stream.h"
#include "platform/classic_rnd.h"
#include "tests/support/digit_text.h"

namespace vlt {

// Pad digits from any digit position: digit p is digit p % 3 of the
// three-digit form of the generator's draw p / 3 + 1.
class PadDigits {
  public:
    explicit PadDigits(std::uint64_t position = 0) { Seek(position); }
    void Seek(std::uint64_t position) {
        position_ = position;
        state_ = ClassicRnd::StateAfter(position / 3 + 1);
    }
    void Next(Digit* out, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned value = ClassicRnd::PadValue(state_);
            const unsigned phase = static_cast<unsigned>(position_ % 3);
            out[i] = static_cast<Digit>(phase == 0   ? value / 100
                                        : phase == 1 ? value / 10 % 10
                                                     : value % 10);
            if (++position_ % 3 == 0) {
                state_ = ClassicRnd::Step(state_);
            }
        }
    }

  private:
    std::uint64_t position_ = 0;
    std::uint32_t state_ = 0;  // the draw that serves the current triple
};

// Adds the key digits of the stream's next n positions to `digits`, modulo 10.
inline void AddKeyDigits(KeyStream& key, Digit* digits, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const std::size_t m = std::min(n - i, KeyStream::kWindow);
        AddDigitBlocks(digits + i, key.Window(m), digits + i, m);
        i += m;
    }
}

class KeyedPad {
  public:
    explicit KeyedPad(std::vector<Digit> keyDigits, std::uint64_t position = 0)
        : keyDigits_(std::move(keyDigits)), pad_(position), key_(keyDigits_, position) {}
    void Seek(std::uint64_t position) {
        pad_.Seek(position);
        key_ = KeyStream(keyDigits_, position);
    }
    void Next(Digit* out, std::size_t n) {
        pad_.Next(out, n);
        AddKeyDigits(key_, out, n);
    }

  private:
    std::vector<Digit> keyDigits_;
    PadDigits pad_;
    KeyStream key_;
};

}  // namespace vlt
