#pragma once

// The walk the vector versions of the triple kernels share over their groups
// of triples.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cipher/digit_ops.h"

namespace vlt {

// Runs `body` over the groups of `kGroup` triples: kGroup bytes of `in` (or
// 3 * kGroup digits when its stride is 3), kGroup pad bytes and 3 * kGroup key
// digits. The last, partial group goes through a staging area, zero-filled
// past the data, so that the body's loads and stores never leave the caller's
// buffers. Always inlined: it runs with the processor features of the kernel
// that calls it, whose body is then inlined too.
template <std::size_t kGroup, typename Body>
[[gnu::always_inline]] inline void ForEachGroup(std::size_t n, const std::uint8_t* in,
                                                std::size_t inStride, const std::uint8_t* pad,
                                                const Digit* key, std::uint8_t* out,
                                                std::size_t outStride, Body body) {
    std::size_t i = 0;
    for (; i + kGroup <= n; i += kGroup) {
        body(in + inStride * i, pad + i, key + 3 * i, out + outStride * i);
    }
    if (i < n) {
        const std::size_t m = n - i;
        std::uint8_t stagedIn[3 * kGroup] = {}, stagedPad[kGroup] = {};
        Digit stagedKey[3 * kGroup] = {};
        std::uint8_t stagedOut[3 * kGroup];
        std::memcpy(stagedIn, in + inStride * i, inStride * m);
        std::memcpy(stagedPad, pad + i, m);
        std::memcpy(stagedKey, key + 3 * i, 3 * m);
        body(stagedIn, stagedPad, stagedKey, stagedOut);
        std::memcpy(out + outStride * i, stagedOut, outStride * m);
    }
}

}  // namespace vlt
