#pragma once

#include <cstdint>

namespace vlt {

// The never-seeded generator of the classic Windows runtime, bit for bit.
// Every .vlt file ever written depends on this exact sequence: a 24-bit linear
// congruential generator that starts at 0x50000 in every process.
class ClassicRnd {
  public:
    static constexpr std::uint32_t kStartState = 0x50000;
    static constexpr std::uint32_t kMultiplier = 0x43FD43FD;
    static constexpr std::uint32_t kIncrement = 0xC39EC3;
    static constexpr std::uint32_t kMask = 0xFFFFFF;

    // The state after `draws` draws from the start, in O(log draws).
    static std::uint32_t StateAfter(std::uint64_t draws);

    static constexpr std::uint32_t Step(std::uint32_t state) {
        return (state * kMultiplier + kIncrement) & kMask;
    }

    // floor(256 * r) for r = state / 2^24 is exact in single precision: the top byte.
    static constexpr std::uint8_t PadValue(std::uint32_t state) {
        return static_cast<std::uint8_t>(state >> 16);
    }

    // What the runtime's Rnd returns for this state.
    static float Single(std::uint32_t state) { return static_cast<float>(state) / 16777216.0f; }

    ClassicRnd() = default;
    explicit ClassicRnd(std::uint64_t skipDraws) : state_(StateAfter(skipDraws)) {}

    std::uint32_t NextState() { return state_ = Step(state_); }
    std::uint32_t state() const { return state_; }

  private:
    std::uint32_t state_ = kStartState;
};

}  // namespace vlt
