#include "block_cipher.h"

#include <algorithm>

namespace vlt {

void BlockCipher::Encrypt(const std::uint8_t* plain, std::size_t n, Digit* digits) {
    for (std::size_t i = 0; i < n; i += kChunk) {
        const std::size_t m = std::min(kChunk, n - i);
        pad_.NextValues(padValues_, m);
        AddBytesAsDigits(plain + i, padValues_, m, digits + 3 * i);
        key_.AddTo(digits + 3 * i, 3 * m);
    }
}

std::size_t BlockCipher::Decrypt(Digit* digits, std::size_t n, std::uint8_t* plain) {
    std::size_t above = 0;
    for (std::size_t i = 0; i < n; i += kChunk) {
        const std::size_t m = std::min(kChunk, n - i);
        key_.SubtractFrom(digits + 3 * i, 3 * m);
        pad_.NextValues(padValues_, m);
        above += SubtractBytesAsDigits(digits + 3 * i, padValues_, m, plain + i);
    }
    return above;
}

}  // namespace vlt
