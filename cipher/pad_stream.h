#pragma once

// The pad as a stream of values from the classic generator. Any position can be
// reached directly (the generator jumps ahead), so a file can be processed in
// blocks.

#include <cstddef>
#include <cstdint>

namespace vlt {

// Pad value t (0-based) is the generator's draw number t + 1 counted from the
// start, scaled to 0 to 255; its three-digit form gives pad digits 3t to 3t + 2.
class PadStream {
  public:
    // `position` counts pad digits and is the start of a triple.
    explicit PadStream(std::uint64_t position = 0) { Seek(position); }
    void Seek(std::uint64_t position);
    // The pad values 0 to 255 of the next `triples` triples, one byte each:
    // the pad before it is written as digits.
    void NextValues(std::uint8_t* values, std::size_t triples);

  private:
    std::uint32_t drawn_ = 0;  // generator state after the draws before the position's triple
};

}  // namespace vlt
