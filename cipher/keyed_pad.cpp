#include "keyed_pad.h"

#include <algorithm>

#include "classic_rnd.h"

namespace vlt {

void PadStream::Seek(std::uint64_t position) {
    position_ = position;
    drawn_ = ClassicRnd::StateAfter(position / 3);
}

void PadStream::Next(Digit* out, std::size_t n) {
    std::size_t i = 0;
    std::uint32_t x = drawn_;
    unsigned phase = position_ % 3;
    if (phase != 0) {
        const std::uint32_t current = ClassicRnd::Step(x);
        const Triple& t = kThreeDigitForm[ClassicRnd::PadValue(current)];
        while (phase < 3 && i < n) {
            out[i++] = t[phase++];
        }
        if (phase == 3) {
            x = current;
        }
    }
    for (; n - i >= 3; i += 3) {
        x = ClassicRnd::Step(x);
        const Triple& t = kThreeDigitForm[ClassicRnd::PadValue(x)];
        out[i] = t[0];
        out[i + 1] = t[1];
        out[i + 2] = t[2];
    }
    if (i < n) {
        const Triple& t = kThreeDigitForm[ClassicRnd::PadValue(ClassicRnd::Step(x))];
        for (unsigned d = 0; i < n; ++d) {
            out[i++] = t[d];
        }
    }
    position_ += n;
    drawn_ = x;
}

KeyStream::KeyStream(std::vector<Digit> keyDigits) : digits_(std::move(keyDigits)) {
    const std::size_t k = digits_.size();
    if (k == 0) {
        digits_.assign(kSpan, 0);
    } else if (k < kIndexLimit) {
        // Periodic: append a run of the key so that any window of kSpan digits
        // starting inside the first period is contiguous.
        period_ = k;
        prefix_ = k;
        digits_.reserve(k + kSpan);
        for (std::size_t i = 0; i < kSpan; ++i) {
            digits_.push_back(digits_[i % k]);
        }
    } else {
        // The index stops at 32767: the first 32767 digits, then digit 32767 forever.
        prefix_ = kIndexLimit;
        const Digit last = digits_[kIndexLimit - 1];
        digits_.resize(kIndexLimit);
        digits_.insert(digits_.end(), kSpan, last);
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

void KeyStream::AddTo(Digit* digits, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const std::span<const Digit> key = Take(n - i);
        AddDigitBlocks(digits + i, key.data(), digits + i, key.size());
        i += key.size();
    }
}

void KeyedPad::Next(Digit* out, std::size_t n) {
    pad_.Next(out, n);
    key_.AddTo(out, n);
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
