#include "cipher/pad_stream.h"

#include <algorithm>
#include <cstring>

#include "cipher/digit_ops.h"
#include "platform/classic_rnd.h"

namespace vlt {

namespace {

using Lanes = std::uint32_t __attribute__((vector_size(32)));
using LaneBytes = std::uint8_t __attribute__((vector_size(8)));
using LaneBytes32 = std::uint8_t __attribute__((vector_size(32)));
constexpr std::size_t kLaneWidth = 8;
constexpr std::size_t kVectors = 4;  // independent chains hide the multiplier's latency
constexpr std::size_t kLanes = kLaneWidth * kVectors;

// The generator's step applied `draws` times, itself a step x -> a * x + c.
struct Jump {
    std::uint32_t a = 1, c = 0;
};

constexpr Jump JumpOf(std::size_t draws) {
    Jump jump;
    for (std::size_t i = 0; i < draws; ++i) {
        jump.a = (jump.a * ClassicRnd::kMultiplier) & ClassicRnd::kMask;
        jump.c = (jump.c * ClassicRnd::kMultiplier + ClassicRnd::kIncrement) & ClassicRnd::kMask;
    }
    return jump;
}

// Writes the pad values of the `count` draws after `state`; returns the state
// after them. Lane l draws numbers l + 1, l + 1 + kLanes, ...: each lane jumps
// kLanes draws at a time, so the lanes run side by side. States are masked to
// 24 bits only when read: the low bits of a product do not depend on the high ones.
[[gnu::always_inline]] inline std::uint32_t DrawPadValuesLoop(std::uint32_t state,
                                                              std::uint8_t* values,
                                                              std::size_t count) {
    std::size_t i = 0;
    if (count >= kLanes) {
        Lanes lanes[kVectors];
        for (Lanes& vector : lanes) {
            for (std::size_t l = 0; l < kLaneWidth; ++l) {
                state = ClassicRnd::Step(state);
                vector[l] = state;
            }
        }
        constexpr Jump jump = JumpOf(kLanes);
        for (; i + kLanes <= count; i += kLanes) {
            state = lanes[kVectors - 1][kLaneWidth - 1] & ClassicRnd::kMask;
            for (std::size_t v = 0; v < kVectors; ++v) {
                // Byte 2 of each lane: its pad value (a shuffle, not a conversion,
                // which the compiler would do lane by lane).
                const LaneBytes bytes = __builtin_shufflevector(
                    reinterpret_cast<LaneBytes32>(lanes[v]),
                    reinterpret_cast<LaneBytes32>(lanes[v]), 2, 6, 10, 14, 18, 22, 26, 30);
                std::memcpy(values + i + v * kLaneWidth, &bytes, sizeof bytes);
                lanes[v] = lanes[v] * jump.a + jump.c;
            }
        }
    }
    for (; i < count; ++i) {
        state = ClassicRnd::Step(state);
        values[i] = ClassicRnd::PadValue(state);
    }
    return state;
}

[[gnu::target("avx2")]] std::uint32_t DrawPadValuesAvx2(std::uint32_t state, std::uint8_t* values,
                                                        std::size_t count) {
    return DrawPadValuesLoop(state, values, count);
}

std::uint32_t DrawPadValuesBaseline(std::uint32_t state, std::uint8_t* values, std::size_t count) {
    return DrawPadValuesLoop(state, values, count);
}

std::uint32_t DrawPadValues(std::uint32_t state, std::uint8_t* values, std::size_t count) {
    static const auto run = PickKernel(DrawPadValuesAvx2, DrawPadValuesBaseline);
    return run(state, values, count);
}

}  // namespace

void PadStream::Seek(std::uint64_t position) {
    drawn_ = ClassicRnd::StateAfter(position / 3);
}

void PadStream::NextValues(std::uint8_t* values, std::size_t triples) {
    drawn_ = DrawPadValues(drawn_, values, triples);
}

}  // namespace vlt
