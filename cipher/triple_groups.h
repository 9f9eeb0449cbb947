#pragma once

// How the triple kernels walk their buffers: whole groups of triples straight
// from the caller's buffers, the last ones through a staging area.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "digit_ops.h"

namespace vlt {

// Runs `body` over groups of kGroup triples: kGroup bytes of `in` (or 3 * kGroup
// digits when its stride is 3), kGroup pad bytes and 3 * kGroup key digits (the
// same ones each time when the key's stride is 0). A body may load and store up
// to kSpare triples past its group; the groups that would leave the caller's
// buffers that way go through a staging area, zero-filled past the data.
template <std::size_t kGroup, std::size_t kSpare, typename Body>
[[gnu::always_inline]] inline void ForEachGroup(std::size_t n, const std::uint8_t* in,
                                                std::size_t inStride, const std::uint8_t* pad,
                                                const Digit* key, std::size_t keyStride,
                                                std::uint8_t* out, std::size_t outStride,
                                                Body body) {
    std::size_t i = 0;
    for (; i + kGroup + kSpare <= n; i += kGroup) {
        body(in + inStride * i, pad + i, key + keyStride * i, out + outStride * i);
    }
    constexpr std::size_t kStaged = 3 * (kGroup + kSpare);
    for (; i < n; i += kGroup) {
        const std::size_t m = std::min(kGroup, n - i);
        std::uint8_t stagedIn[kStaged] = {}, stagedPad[kGroup + kSpare] = {};
        Digit stagedKey[kStaged] = {};
        std::uint8_t stagedOut[kStaged];
        std::memcpy(stagedIn, in + inStride * i, inStride * m);
        std::memcpy(stagedPad, pad + i, m);
        std::memcpy(stagedKey, key + keyStride * i, keyStride * m);
        body(stagedIn, stagedPad, stagedKey, stagedOut);
        std::memcpy(out + outStride * i, stagedOut, outStride * m);
    }
}

}  // namespace vlt
