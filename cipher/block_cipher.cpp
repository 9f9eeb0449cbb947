#include "cipher/block_cipher.h"

#include <algorithm>

namespace vlt {

void BlockCipher::Encrypt(const std::uint8_t* plain, std::size_t n, Digit* digits) {
    for (std::size_t i = 0; i < n; i += kChunk) {
        const std::size_t m = std::min(kChunk, n - i);
        pad_.NextValues(padValues_, m);
        EncryptTriples(plain + i, padValues_, key_.Window(3 * m), m, digits + 3 * i);
    }
}

TripleCheck BlockCipher::Decrypt(const Digit* digits, std::size_t n, std::uint8_t* plain) {
    TripleCheck check;
    for (std::size_t i = 0; i < n; i += kChunk) {
        const std::size_t m = std::min(kChunk, n - i);
        pad_.NextValues(padValues_, m);
        const TripleCheck part =
            DecryptTriples(digits + 3 * i, padValues_, key_.Window(3 * m), m, plain + i);
        check.aboveRange += part.aboveRange;
        check.allDigits = check.allDigits && part.allDigits;
    }
    return check;
}

}  // namespace vlt
