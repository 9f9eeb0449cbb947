#include "keyed_pad.h"

#include <algorithm>
#include <cstring>

#include "classic_rnd.h"

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
VLT_DISPATCHED std::uint32_t DrawPadValues(std::uint32_t state, std::uint8_t* values,
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

}  // namespace

void PadStream::Seek(std::uint64_t position) {
    position_ = position;
    drawn_ = ClassicRnd::StateAfter(position / 3);
}

void PadStream::NextValues(std::uint8_t* values, std::size_t triples) {
    drawn_ = DrawPadValues(drawn_, values, triples);
    position_ += 3 * triples;
}

void PadStream::Next(Digit* out, std::size_t n) {
    std::size_t i = 0;
    if (const unsigned phase = position_ % 3; phase != 0) {
        // The rest of a triple begun by the previous call.
        const std::uint32_t current = ClassicRnd::Step(drawn_);
        const std::uint8_t value = ClassicRnd::PadValue(current);
        Digit triple[3];
        BytesToDigits(&value, 1, triple);
        i = std::min<std::size_t>(3 - phase, n);
        std::copy_n(triple + phase, i, out);
        position_ += i;
        if ((position_ % 3) == 0) {
            drawn_ = current;
        }
    }
    std::uint8_t values[1024];
    while (n - i >= 3) {
        const std::size_t triples = std::min(sizeof values, (n - i) / 3);
        NextValues(values, triples);
        BytesToDigits(values, triples, out + i);
        i += 3 * triples;
    }
    if (i < n) {
        // The start of a triple that the next call finishes.
        Digit triple[3];
        const std::uint8_t value = ClassicRnd::PadValue(ClassicRnd::Step(drawn_));
        BytesToDigits(&value, 1, triple);
        std::copy_n(triple, n - i, out + i);
        position_ += n - i;
    }
}

KeyStream::KeyStream(std::vector<Digit> keyDigits) : digits_(std::move(keyDigits)) {
    const std::size_t k = digits_.size();
    if (k == 0) {
        digits_.assign(kWindow, 0);
    } else if (k < kIndexLimit) {
        // Periodic: append a run of the key so that any window of kWindow digits
        // starting inside the first period is contiguous.
        period_ = k;
        prefix_ = k;
        digits_.reserve(k + kWindow);
        for (std::size_t i = 0; i < kWindow; ++i) {
            digits_.push_back(digits_[i % k]);
        }
    } else {
        // The index stops at 32767: the first 32767 digits, then digit 32767 forever.
        prefix_ = kIndexLimit;
        const Digit last = digits_[kIndexLimit - 1];
        digits_.resize(kIndexLimit);
        digits_.insert(digits_.end(), kWindow, last);
    }
}

void KeyStream::Seek(std::uint64_t position) {
    position_ = position;
}

std::span<const Digit> KeyStream::Take(std::size_t max) {
    std::size_t offset;
    if (period_ != 0) {
        offset = static_cast<std::size_t>(position_ % period_);
    } else if (position_ < prefix_) {
        offset = static_cast<std::size_t>(position_);
    } else {
        offset = prefix_;
    }
    const std::size_t n = std::min(max, digits_.size() - offset);
    position_ += n;
    return {digits_.data() + offset, n};
}

const Digit* KeyStream::Window(std::size_t n) {
    // Take serves at least kWindow digits from any position, thanks to the run
    // of digits stored after the key.
    return Take(n).data();
}

void KeyStream::AddTo(Digit* digits, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const std::span<const Digit> key = Take(n - i);
        AddDigitBlocks(digits + i, key.data(), digits + i, key.size());
        i += key.size();
    }
}

std::vector<Digit> KeyDigitValues(std::string_view keyDigits) {
    std::vector<Digit> values;
    values.reserve(keyDigits.size());
    for (const char c : keyDigits) {
        values.push_back(c >= '0' && c <= '9' ? static_cast<Digit>(c - '0') : 0);
    }
    return values;
}

}  // namespace vlt
