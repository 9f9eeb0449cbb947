#pragma once

// The keyed pad from any position on, a chunk at a time: the generator's pad
// stream and the key stream side by side, as the engine uses them. Tests hold
// it to the whole-text MakeKeyedPad, and the soak test reads it far past 4 GiB.

#include <cstdint>
#include <utility>
#include <vector>

#include "keyed_pad.h"

namespace vlt {

class KeyedPad {
  public:
    explicit KeyedPad(std::vector<Digit> keyDigits, std::uint64_t position = 0)
        : pad_(position), key_(std::move(keyDigits)) {
        key_.Seek(position);
    }
    void Seek(std::uint64_t position) {
        pad_.Seek(position);
        key_.Seek(position);
    }
    void Next(Digit* out, std::size_t n) {
        pad_.Next(out, n);
        key_.AddTo(out, n);
    }

  private:
    PadStream pad_;
    KeyStream key_;
};

}  // namespace vlt
