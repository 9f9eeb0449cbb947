#include "platform/classic_rnd.h"

namespace vlt {

std::uint32_t ClassicRnd::StateAfter(std::uint64_t draws) {
    // Compose the affine step x -> a*x + c with itself by repeated squaring.
    std::uint32_t a = kMultiplier & kMask, c = kIncrement;
    std::uint32_t accA = 1, accC = 0;
    for (; draws != 0; draws >>= 1) {
        if (draws & 1) {
            accA = (accA * a) & kMask;
            accC = (accC * a + c) & kMask;
        }
        c = (c * a + c) & kMask;
        a = (a * a) & kMask;
    }
    return (accA * kStartState + accC) & kMask;
}

}  // namespace vlt
