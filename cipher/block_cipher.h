#pragma once

// The cipher over the blocks of a file: plaintext bytes to cipher digits and
// back, continuing the keyed pad from one block to the next. The engine's inner
// loop, made of the digit kernels and the keyed pad's generator and key streams.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cipher/digit_ops.h"
#include "cipher/key_stream.h"
#include "cipher/pad_stream.h"

namespace vlt {

class BlockCipher {
  public:
    explicit BlockCipher(std::vector<Digit> keyDigits) : key_(std::move(keyDigits)) {}

    // Back to the start of a file, for the next input under the same key.
    void Restart() { Seek(0); }

    // To the start of triple `triple` of the file, to look at a few triples again.
    void Seek(std::uint64_t triple) {
        pad_.Seek(3 * triple);
        key_.Seek(3 * triple);
    }

    // Encrypts n bytes into their 3 * n cipher digits.
    void Encrypt(const std::uint8_t* plain, std::size_t n, Digit* digits);

    // Decrypts 3 * n cipher digits into n bytes, each triple taken modulo 256.
    // Tells how many triples were above 255 (wrong key or damaged file) and
    // whether every digit was 0 to 9 (if not, the bytes mean nothing).
    TripleCheck Decrypt(const Digit* digits, std::size_t n, std::uint8_t* plain);

  private:
    // Triples per pass: each pass's data stays in the processor's cache.
    static constexpr std::size_t kChunk = KeyStream::kWindow / 3;

    PadStream pad_;
    KeyStream key_;
    std::uint8_t padValues_[kChunk];
};

}  // namespace vlt
