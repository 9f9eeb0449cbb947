#include "cipher/key_stream.h"

#include <algorithm>

namespace vlt {

KeyStream::KeyStream(std::vector<Digit> keyDigits, std::uint64_t position)
    : digits_(std::move(keyDigits)), position_(position) {
    const std::size_t k = digits_.size();
    if (k == 0) {
        digits_.assign(kWindow, 0);
    } else if (k < kIndexLimit) {
        // Periodic: append a run of the key so that any window of kWindow digits
        // starting inside the first period is contiguous.
        period_ = k;
        prefix_ = k;
        // Copies that double the run each time: every copy starts at a multiple
        // of k, so it continues the period (one digit at a time costs a division
        // per digit, the whole fixed cost of a small run).
        digits_.resize(k + kWindow);
        for (std::size_t filled = k; filled < digits_.size();) {
            const std::size_t n = std::min(filled, digits_.size() - filled);
            std::copy_n(digits_.begin(), n, digits_.begin() + static_cast<std::ptrdiff_t>(filled));
            filled += n;
        }
    } else {
        // The index stops at 32767: the first 32767 digits, then digit 32767 forever.
        prefix_ = kIndexLimit;
        const Digit last = digits_[kIndexLimit - 1];
        digits_.resize(kIndexLimit);
        digits_.insert(digits_.end(), kWindow, last);
    }
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

}  // namespace vlt
